// modrender: renders a MOD file through tarnmix's loader, sequencer and mixer, exactly as the
// DLL's playback thread mixes it, part by part.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "mixer.h"
#include "module.h"
#include "qz_version.h"
#include "sequencer.h"

namespace {

constexpr long defaultLimitSeconds = 600;  // a song that never loops stops after ten minutes
constexpr int partsPerSecond = outputRate / partSamples;
constexpr long maxParts = 1800000;

struct Options {
  std::string song;
  std::string output;
  long parts = -1;  // -1: one pass of the song
  bool trace = false;
};

const char usage[] =
    "usage: modrender SONG.mod -o OUT.wav [--seconds N | --parts N] [--trace]\n"
    "       modrender --check SONG.mod\n"
    "       modrender --version\n"
    "  Renders the song as mono unsigned 8-bit 44100 Hz audio, in parts of 2205 samples.\n"
    "  An output name ending in .raw gets the bare samples, any other a WAV file.\n"
    "  Without --seconds or --parts the song is rendered once through, to the end of the part\n"
    "  in which it goes back to a position it has played (at most ten minutes).\n"
    "  --trace prints each row and pattern callback with the number of samples written before\n"
    "  it, and the four VU levels after each part. -o may then be left out.\n"
    "  --check says what tarnmix makes of the file: its signature and sizes, the effects it\n"
    "  plays and ignores, loops cut to the data, anything past the data; it exits 1 for a file\n"
    "  that is not a 4-channel, 31-sample module.\n";

bool parseCount(const char* text, long* value) {
  char* end;
  long v = std::strtol(text, &end, 10);
  // A WAV file holds at most 4 GB: about 27 hours of this audio.
  if (*text == 0 || *end != 0 || v < 0 || v > maxParts) return false;
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
      if (options->parts > maxParts) return false;
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

// Parts go to the file as they are mixed; a WAV header is written first and completed at the end.
struct Output {
  FILE* file = nullptr;
  bool wav = false;
  bool ok = true;
};

bool openOutput(Output* out, const std::string& path) {
  if (path.empty()) return true;
  out->file = std::fopen(path.c_str(), "wb");
  out->wav = !endsWith(path, ".raw");
  if (!out->file) return false;
  std::vector<uint8_t> header = out->wav ? wavHeader(0) : std::vector<uint8_t>();
  out->ok = std::fwrite(header.data(), 1, header.size(), out->file) == header.size();
  return out->ok;
}

void writePart(Output* out, const uint8_t* part) {
  if (out->file && out->ok) out->ok = std::fwrite(part, 1, partSamples, out->file) == partSamples;
}

bool closeOutput(Output* out, uint32_t dataBytes) {
  if (!out->file) return true;
  if (out->wav && out->ok) {
    std::vector<uint8_t> header = wavHeader(dataBytes);
    out->ok = std::fseek(out->file, 0, SEEK_SET) == 0 &&
              std::fwrite(header.data(), 1, header.size(), out->file) == header.size();
  }
  return std::fclose(out->file) == 0 && out->ok;
}

void render(Module* module, const Options& options, Output* out) {
  static uint8_t part[partSamples];
  wave = part;
  PassWatch watch;
  watch.visited[0] = true;
  long limit = options.parts >= 0 ? options.parts : defaultLimitSeconds * partsPerSecond;
  for (partsDone = 0; partsDone < limit && out->ok; ++partsDone) {
    fillPart(module);
    writePart(out, part);
    if (options.trace)
      std::printf("part %ld vu %d %d %d %d\n", partsDone, channelVU[0].load(), channelVU[1].load(),
                  channelVU[2].load(), channelVU[3].load());
    if (options.parts < 0 && passEnded(&watch, module)) {
      ++partsDone;
      break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("modrender %s\n", QZ_VERSION);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--check") == 0) return checkModule(argv[2], stdout);
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
  Output out;
  if (!openOutput(&out, options.output)) {
    std::fprintf(stderr, "modrender: cannot write %s\n", options.output.c_str());
    freeModule(module);
    return 1;
  }
  buildFreqTable();
  traced = module;
  if (options.trace) newRow = newPattern = traceCallback;
  prepareForPlayback(module);
  render(module, options, &out);
  freeModule(module);
  uint32_t bytes = static_cast<uint32_t>(partsDone * partSamples);
  if (!closeOutput(&out, bytes)) {
    std::fprintf(stderr, "modrender: cannot write %s\n", options.output.c_str());
    std::remove(options.output.c_str());
    return 1;
  }
  std::fprintf(stderr, "modrender: %s: %ld parts, %.2f s%s%s\n", options.song.c_str(), partsDone,
               bytes / double(outputRate), options.output.empty() ? "" : " -> ",
               options.output.c_str());
  return 0;
}
