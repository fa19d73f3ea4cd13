// Whole renders against checksums recorded from the mixer that mixed one output sample at a time
// through the clock: every output byte, the levels after each part, and each callback with the
// output sample at which it came must stay the same.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mixer.h"
#include "mod_builder.h"
#include "sequencer.h"

using namespace modtest;

namespace {

using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

// FNV-1a, 64 bits.
struct Checksum {
  uint64_t value = 14695981039346656037ull;
  void add(int64_t v) {
    for (int i = 0; i < 8; ++i) {
      value ^= static_cast<uint8_t>(v >> (8 * i));
      value *= 1099511628211ull;
    }
  }
};

Checksum* checksum;
const Module* rendering;

void TARNMIX_CALL noteCallback(int code, intptr_t value, int extra) {
  checksum->add(code);
  checksum->add(value);
  checksum->add(extra);
  checksum->add(rendering->partSamplesWritten);
}

uint64_t render(Module* module, int parts) {
  Checksum sum;
  checksum = &sum;
  rendering = module;
  for (auto& level : channelVU) level = 0;
  newRow = noteCallback;
  newPattern = noteCallback;
  prepareForPlayback(module);
  std::vector<uint8_t> part(partSamples);
  wave = part.data();
  for (int p = 0; p < parts; ++p) {
    fillPart(module);
    for (uint8_t b : part) sum.add(b);
    for (auto& level : channelVU) sum.add(level);
  }
  newRow = nullptr;
  newPattern = nullptr;
  return sum.value;
}

// Mixer edges in one song: a 4-byte loop read at a step of about 1.5 (the fraction dropped at
// each wrap), a loop past the data, a loop starting beyond it, a 2-byte loop (none), a sample
// played past byte 32767 at a slot volume of 255, a held first byte (period 0), an offset, a
// glide, and the rows halted at the end.
ModDraft edgesDraft() {
  ModDraft mod;
  Bytes ramp(600);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i * 5);
  mod.setSample(1, {0x10, 0x20, 0x30, 0x40, 0x00, 0x00}, 64, 0, 2);
  mod.setSample(2, ramp, 64, 200, 400);
  mod.setSample(3, ramp, 64, 400, 50);
  mod.setSample(4, ramp, 64, 10, 1);
  Bytes longRamp(131070);
  for (size_t i = 0; i < longRamp.size(); ++i) longRamp[i] = static_cast<uint8_t>(i >> 7);
  mod.setSample(5, longRamp, 255);
  mod.setCell(0, 0, 0, 1, 54);
  mod.setCell(0, 0, 1, 2, 113);
  mod.setCell(0, 0, 2, 3, 214);
  mod.setCell(0, 0, 3, 4, 428);
  mod.setCell(0, 8, 0, 5, 113);
  mod.setCell(0, 8, 1, 5, 0);
  mod.setCell(0, 16, 2, 2, 300, 0x9, 0x01);
  mod.setCell(0, 24, 3, 5, 856, 0x3, 0x10);
  mod.setCell(0, 40, 3, 0, 0, 0xF, 0);
  return mod;
}

struct Song {
  std::string name;
  ModulePtr module;
  int parts;
  uint64_t expected;
};

TEST(RenderChecksum, EveryByteLevelAndCallbackAsRecorded) {
  buildFreqTable();
  std::vector<Song> songs;
  // The example, once through and into its second pass.
  songs.push_back(
      {"tarn-theme.mod", ModulePtr(loadModule(EXAMPLE_MODULE)), 1100, 0x0dd3e39a958a1188});
  songs.push_back({"busiest", ModulePtr(load(busiestDraft().build())), 300, 0x4a50e938af871fb6});
  songs.push_back({"edges", ModulePtr(load(edgesDraft().build())), 200, 0xcd8924d2665e5a59});
  const uint64_t randomSongs[] = {0x8b6a6fa2b63f26ad, 0xc018bce760f2ff10, 0x5787daf7d0c3216a,
                                  0xa33f20e26d49455f, 0x85cab17a5147a74b, 0xf06b8d53c4a35722};
  for (uint32_t seed = 1; seed <= 6; ++seed)
    songs.push_back({"random " + std::to_string(seed), ModulePtr(load(randomDraft(seed).build())),
                     300, randomSongs[seed - 1]});
  for (const Song& song : songs) {
    ASSERT_TRUE(song.module) << song.name;
    EXPECT_EQ(render(song.module.get(), song.parts), song.expected) << song.name;
  }
}

}  // namespace
