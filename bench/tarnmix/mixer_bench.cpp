// Mixer speed: seconds of audio rendered per CPU second, and the slowest single part against the
// 50 ms it lasts. Renders the example module and a module built here to be as busy as the format
// allows: a note on every channel on every row at the fastest tempo, with slides on every tick.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "mixer.h"
#include "mod_builder.h"
#include "module.h"
#include "sequencer.h"

namespace {

constexpr long benchParts = 12000;  // ten minutes of audio
constexpr double budgetMs = 50.0;

double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

void report(const char* name, Module* module) {
  prepareForPlayback(module);
  static uint8_t part[partSamples];
  wave = part;
  std::vector<double> partMs;
  partMs.reserve(benchParts);
  unsigned checksum = 0;
  double cpuStart = cpuSeconds();
  for (long p = 0; p < benchParts; ++p) {
    auto start = std::chrono::steady_clock::now();
    fillPart(module);
    auto end = std::chrono::steady_clock::now();
    partMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    checksum = checksum * 31 + part[p % partSamples];
  }
  double cpu = cpuSeconds() - cpuStart;
  double audio = benchParts * double(partSamples) / outputRate;
  std::sort(partMs.begin(), partMs.end());
  double worst = partMs.back(), median = partMs[partMs.size() / 2];
  double p999 = partMs[partMs.size() * 999 / 1000];
  std::printf("%s: %.0f s of audio in %.3f CPU s: %.0f s of audio per CPU second\n", name, audio,
              cpu, audio / cpu);
  std::printf(
      "  wall time per part: median %.3f ms, 99.9th percentile %.3f ms, worst %.3f ms of"
      " the %.0f ms budget (%.2f %%) [checksum %08x]\n",
      median, p999, worst, budgetMs, 100.0 * worst / budgetMs, checksum);
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : EXAMPLE_MODULE;
  buildFreqTable();
  Module* example = loadModule(path);
  if (!example) {
    std::fprintf(stderr, "tarnmix_mixer_bench: cannot read %s\n", path);
    return 1;
  }
  report(path, example);
  freeModule(example);
  std::vector<uint8_t> bytes = modtest::busiestDraft().build();
  Module* busiest = loadModuleFromMemory(bytes.data(), bytes.size());
  if (!busiest) {
    std::fprintf(stderr, "tarnmix_mixer_bench: the busy module did not load\n");
    return 1;
  }
  report("busiest module (every cell a note, speed 2, tempo 255)", busiest);
  freeModule(busiest);
  return 0;
}
