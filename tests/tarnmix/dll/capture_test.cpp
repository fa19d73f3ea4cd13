// The sound the library hands to DirectSound: the parts equal the renderer's output bit for bit,
// and the device received them. Wine resamples the stream to float stereo at the device's rate
// before it reaches the ALSA capture file, so the capture is compared by its level every 50 ms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dll_host.h"

using namespace dlltest;

namespace {

constexpr int partsCompared = 240;  // 12 s of song
// The device plays a part or two behind the last part filled: levels are compared over 10 s.
constexpr size_t windowsCompared = 200;
constexpr int expectedParts = 400;  // rendered by modrender into expected.raw

// Root-mean-square level of each 50 ms window, from `start`.
std::vector<double> levels(const std::vector<double>& signal, size_t start, size_t window) {
  std::vector<double> out;
  for (size_t i = start; i + window <= signal.size(); i += window) {
    double sum = 0;
    for (size_t j = i; j < i + window; ++j) sum += signal[j] * signal[j];
    out.push_back(std::sqrt(sum / window));
  }
  return out;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b, size_t count) {
  double meanA = 0, meanB = 0;
  for (size_t i = 0; i < count; ++i) meanA += a[i], meanB += b[i];
  meanA /= count;
  meanB /= count;
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < count; ++i) {
    ab += (a[i] - meanA) * (b[i] - meanB);
    aa += (a[i] - meanA) * (a[i] - meanA);
    bb += (b[i] - meanB) * (b[i] - meanB);
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct Alignment {
  double correlation = -1;
  int rate = 0;
  size_t offset = 0;
};

// The capture's left channel against the expected levels, over the device rates Wine may pick
// and start offsets in steps of 5 ms within the first 300 ms.
Alignment align(const std::vector<double>& capture, const std::vector<double>& expected) {
  Alignment best;
  for (int rate : {44100, 48000}) {
    for (size_t offset = 0; offset < static_cast<size_t>(rate) * 3 / 10; offset += rate / 200) {
      std::vector<double> got = levels(capture, offset, rate / 20);
      if (got.size() < windowsCompared) continue;
      double c = correlation(got, expected, windowsCompared);
      if (c > best.correlation) best = {c, rate, offset};
    }
  }
  return best;
}

std::vector<uint8_t> renderedParts() {
  std::vector<uint8_t> rendered = readWholeFile(besideProgram("expected.raw"));
  EXPECT_EQ(rendered.size(), size_t{expectedParts} * 2205) << "expected.raw from modrender";
  return rendered;
}

// Plays the example until partsCompared parts have been handed to the device, then closes it,
// so that the capture file is complete.
void playAndClose() {
  TarnmixApi api;
  ASSERT_TRUE(loadTarnmix(&api));
  api.setModuleCallback(1, recordPart);
  ASSERT_EQ(api.playModule(exampleModule().c_str()), 1);
  ASSERT_TRUE(waitUntil([] { return callLog->parts >= partsCompared; }, 60000));
  api.stopModule();
  api.shutdownTarnmix();
}

TEST(DeviceOutput, PartsEqualTheRenderer) {
  std::vector<uint8_t> rendered = renderedParts();
  ASSERT_EQ(rendered.size(), size_t{expectedParts} * 2205);
  ASSERT_NO_FATAL_FAILURE(playAndClose());
  for (int p = 0; p < partsCompared; ++p)
    ASSERT_EQ(std::memcmp(callLog->partBytes[p], &rendered[p * 2205], 2205), 0) << "part " << p;
}

// Needs the playback thread to keep up with a device that Wine does not pace: it is left out of
// runs under an emulator.
TEST(DeviceOutput, SoundReachesTheDevice) {
  std::vector<uint8_t> rendered = renderedParts();
  ASSERT_EQ(rendered.size(), size_t{expectedParts} * 2205);
  ASSERT_NO_FATAL_FAILURE(playAndClose());
  std::vector<uint8_t> raw = readWholeFile(besideProgram("alsa-capture\\capture.raw"));
  ASSERT_GT(raw.size(), size_t{partsCompared} * 2205 * 8);
  std::vector<double> left(raw.size() / 8);
  for (size_t i = 0; i < left.size(); ++i) {
    float value;
    std::memcpy(&value, &raw[i * 8], 4);
    left[i] = value;
  }
  std::vector<double> signal(rendered.begin(), rendered.begin() + partsCompared * 2205);
  for (double& v : signal) v = (v - 128) / 128;
  std::vector<double> expected = levels(signal, 0, 2205);
  Alignment best = align(left, expected);
  EXPECT_GE(best.correlation, 0.85) << "rate " << best.rate << ", offset " << best.offset;

  // The measure tells sounds apart: the same capture against the song a quarter second later.
  std::vector<double> got = levels(left, best.offset, best.rate / 20);
  std::vector<double> later(expected.begin() + 5, expected.end());
  ASSERT_GE(got.size(), windowsCompared);
  EXPECT_LT(correlation(got, later, windowsCompared), 0.6);
}

}  // namespace
