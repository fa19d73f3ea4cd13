// modrender: renders a MOD file through tarnmix's loader, sequencer and mixer, exactly as the
// DLL's playback thread mixes it, part by part.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mixer.h"
#include "module.h"
#include "sequencer.h"

namespace {

constexpr long defaultLimitSeconds = 600;  // a song that never loops stops after ten minutes
constexpr int partsPerSecond = outputRate / partSamples;

struct Options {
  std::string song;
  std::string output;
  long parts = -1;  // -1: one pass of the song
  bool trace = false;
};

const char usage[] =
    "usage: modrender SONG.mod -o OUT.wav [--seconds N | --parts N] [--trace]\n"
    "  Renders the song as mono unsigned 8-bit 44100 Hz audio, in parts of 2205 samples.\n"
    "  An output name ending in .raw gets the bare samples, any other a WAV file.\n"
    "  Without --seconds or --parts the song is rendered once through, to the end of the part\n"
    "  in which it goes back to a position it has played (at most ten minutes).\n"
    "  --trace prints each row and pattern callback with the number of samples written before\n"
    "  it, and the four VU levels after each part. -o may then be left out.\n";

bool parseCount(const char* text, long* value) {
  char* end;
  long v = std::strtol(text, &end, 10);
  if (*text == 0 || *end != 0 || v < 0 || v > 100000000) return false;
  *value = v;
  return true;
}

bool parseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    long count;
    if (arg == "-o" && hasValue) {
      options->output = argv[++i];
    } else if ((arg == "--seconds" || arg == "--parts") && hasValue) {
      if (!parseCount(argv[++i], &count)) return false;
      options->parts = arg == "--parts" ? count : count * partsPerSecond;
    } else if (arg == "--trace") {
      options->trace = true;
    } else if (arg[0] != '-' && options->song.empty()) {
      options->song = arg;
    } else {
      return false;
    }
  }
  return !options->song.empty() && (!options->output.empty() || options->trace);
}

// Output samples written before a callback: whole parts so far plus the current part's share.
long partsDone;
Module* traced;

void TARNMIX_CALL traceCallback(int code, intptr_t value, int extra) {
  long samples = partsDone * partSamples + traced->partSamplesWritten;
  std::printf("%ld %s %ld %d\n", samples, code == tarnmixNewRow ? "newRow" : "newPattern",
              static_cast<long>(value), extra);
}

// Detects the end of one pass: the song position goes back to one already played, or the row
// goes back within the same position (a one-pattern song, or a jump to itself).
struct PassWatch {
  std::array<bool, orderSlots> visited{};
  int order = 0;
  int row = 0;
};

bool passEnded(PassWatch* watch, const Module* module) {
  int order = module->orderIndex, row = module->row;
  bool ended = order == watch->order ? row < watch->row : watch->visited[order];
  watch->visited[order] = true;
  watch->order = order;
  watch->row = row;
  return ended;
}

void putLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> wavHeader(uint32_t dataBytes) {
  std::vector<uint8_t> h;
  auto text = [&h](const char* s) { h.insert(h.end(), s, s + 4); };
  text("RIFF");
  putLE(h, 36 + dataBytes, 4);
  text("WAVE");
  text("fmt ");
  putLE(h, 16, 4);
  putLE(h, 1, 2);  // PCM
  putLE(h, 1, 2);  // mono
  putLE(h, outputRate, 4);
  putLE(h, outputRate, 4);  // bytes per second
  putLE(h, 1, 2);           // block alignment
  putLE(h, 8, 2);           // bits per sample
  text("data");
  putLE(h, dataBytes, 4);
  return h;
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool writeOutput(const std::string& path, const std::vector<uint8_t>& samples) {
  std::vector<uint8_t> bytes;
  if (!endsWith(path, ".raw")) bytes = wavHeader(static_cast<uint32_t>(samples.size()));
  bytes.insert(bytes.end(), samples.begin(), samples.end());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::vector<uint8_t> render(Module* module, const Options& options) {
  std::vector<uint8_t> samples;
  PassWatch watch;
  watch.visited[0] = true;
  long limit = options.parts >= 0 ? options.parts : defaultLimitSeconds * partsPerSecond;
  for (partsDone = 0; partsDone < limit; ++partsDone) {
    samples.resize(samples.size() + partSamples);
    wave = samples.data() + samples.size() - partSamples;
    fillPart(module);
    if (options.trace)
      std::printf("part %ld vu %d %d %d %d\n", partsDone, channelVU[0].load(), channelVU[1].load(),
                  channelVU[2].load(), channelVU[3].load());
    if (options.parts < 0 && passEnded(&watch, module)) {
      ++partsDone;
      break;
    }
  }
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseArguments(argc, argv, &options)) {
    std::fputs(usage, stderr);
    return 2;
  }
  Module* module = loadModule(options.song.c_str());
  if (!module) {
    std::fprintf(stderr, "modrender: cannot read %s as a module\n", options.song.c_str());
    return 1;
  }
  buildFreqTable();
  traced = module;
  if (options.trace) newRow = newPattern = traceCallback;
  prepareForPlayback(module);
  std::vector<uint8_t> samples = render(module, options);
  freeModule(module);
  if (!options.output.empty() && !writeOutput(options.output, samples)) {
    std::fprintf(stderr, "modrender: cannot write %s\n", options.output.c_str());
    return 1;
  }
  std::fprintf(stderr, "modrender: %s: %ld parts, %.2f s%s%s\n", options.song.c_str(), partsDone,
               samples.size() / double(outputRate), options.output.empty() ? "" : " -> ",
               options.output.c_str());
  return 0;
}
