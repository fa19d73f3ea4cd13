// modrender --check: reads a file through tarnmix's own loader and says what the player will make
// of it: the signature and sizes, the effects it plays and those it ignores (with where), loops
// cut to the sample data, and what lies past the data. The loader itself checks no signature and
// plays any file long enough as 4 channels and 31 samples; this is where a developer finds out.
#include "check.h"

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "mod_format.h"
#include "module.h"

namespace {

enum {
  emptySlotLimit = 2,  // a slot of one word or less holds no data
  noLoopLimit = 2,     // a loop of one word or less is no loop
  offsetUnit = 256,
  maxPlaces = 3,  // places named for each ignored effect
  effectKinds = 32,  // 0-F, then the sixteen E sub-commands
};

const char* const effectNames[effectKinds] = {
    "0 arpeggio", "1 portamento up", "2 portamento down", "3 tone portamento", "4 vibrato",
    "5 tone portamento + volume slide", "6 vibrato + volume slide", "7 tremolo", "8 panning",
    "9 sample offset", "A volume slide", "B position jump", "C set volume", "D pattern break",
    "E extended", "F speed/tempo", "E0 filter", "E1 fine portamento up",
    "E2 fine portamento down", "E3 glissando", "E4 vibrato waveform", "E5 finetune",
    "E6 pattern loop", "E7 tremolo waveform", "E8 panning", "E9 retrigger",
    "EA fine volume up", "EB fine volume down", "EC note cut", "ED note delay",
    "EE pattern delay", "EF invert loop"};

// The effects the sequencer acts on; every other one is read and ignored.
bool played(int kind) {
  return kind == 3 || kind == 9 || kind == 0xA || kind == 0xB || kind == 0xC || kind == 0xD ||
         kind == 0xF;
}

struct Place {
  int position, pattern, row, channel;
};

struct EffectUse {
  long cells = 0;
  Place places[maxPlaces];
};

struct Findings {
  int ignoredKinds = 0;
  long ignoredCells = 0;
  int clampedLoops = 0;
  int pastData = 0;
  int pastSong = 0;
};

const char* cells(long count) {
  return count == 1 ? "cell" : "cells";
}

bool readWhole(const char* path, std::vector<uint8_t>* bytes) {
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
  bool ok = !ferror(file);
  fclose(file);
  return ok;
}

int32_t headerWords(const std::vector<uint8_t>& bytes, int slot, int field) {
  const uint8_t* p = bytes.data() + sampleHeadersOffset + slot * sampleHeaderBytes + field;
  return (p[0] << 8 | p[1]) * 2;
}

std::string shown(const uint8_t* p, size_t n) {
  std::string text;
  char hex[8];
  for (size_t i = 0; i < n; ++i) {
    if (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '\\') {
      text += static_cast<char>(p[i]);
    } else {
      snprintf(hex, sizeof hex, "\\x%02X", p[i]);
      text += hex;
    }
  }
  return text;
}

std::string shownText(const char* text) {
  return shown(reinterpret_cast<const uint8_t*>(text), strlen(text));
}

// The channel count another signature gives, 0 when it names none.
int otherChannels(const char* s) {
  if (!memcmp(s + 1, "CHN", 3) && s[0] >= '1' && s[0] <= '9') return s[0] - '0';
  if (!memcmp(s + 2, "CH", 2) && s[0] >= '1' && s[0] <= '3' && s[1] >= '0' && s[1] <= '9')
    return (s[0] - '0') * 10 + s[1] - '0';
  if (!memcmp(s, "FLT8", 4) || !memcmp(s, "CD81", 4) || !memcmp(s, "OKTA", 4) ||
      !memcmp(s, "OCTA", 4))
    return 8;
  return 0;
}

bool checkSignature(const std::vector<uint8_t>& bytes, FILE* out) {
  if (bytes.size() < headerBytes) {
    fprintf(out, "not a module: %zu bytes, less than the %d-byte header\n", bytes.size(),
            headerBytes);
    return false;
  }
  const char* s = reinterpret_cast<const char*>(bytes.data() + signatureOffset);
  std::string text = shown(bytes.data() + signatureOffset, 4);
  for (const char* known : {"M.K.", "M!K!", "FLT4", "4CHN"}) {
    if (memcmp(s, known, 4) == 0) {
      fprintf(out, "signature \"%s\": 4 channels, 31 samples\n", text.c_str());
      return true;
    }
  }
  if (int channels = otherChannels(s))
    fprintf(out, "not a 4-channel module: signature \"%s\" says %d channels; tarnmix would play "
                 "its rows as 4 channels\n", text.c_str(), channels);
  else
    fprintf(out, "not a 31-sample module: no MOD signature at offset %d (\"%s\"); tarnmix would "
                 "play the file as noise\n", signatureOffset, text.c_str());
  return false;
}

void reportSizes(const Module* module, const std::vector<uint8_t>& bytes, FILE* out,
                 Findings* findings) {
  long declared = 0, kept = 0;
  int withData = 0;
  for (int i = 0; i < sampleSlots; ++i) {
    int32_t length = headerWords(bytes, i, lengthWordsOffset);
    if (length > emptySlotLimit) declared += length, ++withData;
    kept += module->samples[i].length;
  }
  long expected = headerBytes + long{module->patternCount} * patternBytes + declared;
  fprintf(out, "sizes: %d positions, %ld patterns, %d samples with %ld bytes of data; file %zu "
               "bytes, %ld expected\n", module->songLength, long{module->patternCount}, withData,
          declared, bytes.size(), expected);
  if (static_cast<long>(bytes.size()) > expected)
    fprintf(out, "after the data: %ld bytes are never read\n",
            static_cast<long>(bytes.size()) - expected);
  if (kept == declared) return;
  ++findings->pastData;
  fprintf(out, "past the data: the file ends %ld bytes early; played as far as it goes:\n",
          declared - kept);
  for (int i = 0; i < sampleSlots; ++i) {
    int32_t length = headerWords(bytes, i, lengthWordsOffset);
    if (length > emptySlotLimit && module->samples[i].length < length)
      fprintf(out, "  sample %d \"%s\": %ld of %ld bytes\n", i + 1,
              shownText(module->samples[i].name).c_str(),
              long{module->samples[i].length}, long{length});
  }
}

// The loop as the player plays it, as the loader decided: none when it starts past the data,
// cut at the data's end.
bool playedLoop(const Sample* sample, int32_t* start, int32_t* end) {
  if (!sample->looped) return false;
  *start = sample->loopStart;
  *end = sample->end;
  return true;
}

void reportLoops(const Module* module, const std::vector<uint8_t>& bytes, FILE* out,
                 Findings* findings) {
  for (int i = 0; i < sampleSlots; ++i) {
    const Sample* sample = &module->samples[i];
    int32_t start = headerWords(bytes, i, loopStartWordsOffset);
    int32_t length = headerWords(bytes, i, loopLengthWordsOffset);
    if (sample->length == 0 || length <= noLoopLimit) continue;
    int32_t playedStart, playedEnd;
    bool loops = playedLoop(sample, &playedStart, &playedEnd);
    if (loops && playedStart == start && playedEnd == start + length) continue;
    ++findings->clampedLoops;
    fprintf(out, "loop clamped: sample %d \"%s\": loop %ld-%ld of %ld bytes of data", i + 1,
            shownText(sample->name).c_str(), long{start}, long{start} + length, long{sample->length});
    if (loops)
      fprintf(out, ", played as %ld-%ld\n", long{playedStart}, long{playedEnd});
    else
      fprintf(out, ", played without a loop\n");
  }
}

void printPlace(const Place& at, FILE* out) {
  fprintf(out, "position %d (pattern %d) row %d channel %d", at.position, at.pattern, at.row,
          at.channel);
}

// A sample offset past the sample's data, and a jump past the song's last position: the player
// survives both (silence, position 0), but the composer did not mean them.
void reportCellPastEnd(const Module* module, const Note* note, const Place& at, FILE* out,
                       Findings* findings) {
  if (note->effect == 9 && note->param && note->sample >= 1 && note->sample <= sampleSlots) {
    const Sample* sample = &module->samples[note->sample - 1];
    if (sample->length == 0 || note->param * offsetUnit < sample->length) return;
    ++findings->pastData;
    fprintf(out, "past the data: ");
    printPlace(at, out);
    fprintf(out, ": offset %d of sample %d (%ld bytes) silences the channel\n",
            note->param * offsetUnit, note->sample, long{sample->length});
  } else if (note->effect == 0xB && note->param >= module->songLength) {
    ++findings->pastSong;
    fprintf(out, "past the song: ");
    printPlace(at, out);
    fprintf(out, ": a jump to position %d of %d goes to position 0\n", note->param,
            module->songLength);
  }
}

// Every cell of each pattern the song reaches, each pattern once.
void scanPatterns(const Module* module, EffectUse* uses, FILE* out, Findings* findings) {
  std::vector<bool> seen(static_cast<size_t>(module->patternCount), false);
  int positions = module->songLength ? int{module->songLength} : int{orderSlots};
  for (int position = 0; position < positions; ++position) {
    int pattern = module->orders[position];
    if (pattern >= module->patternCount || seen[pattern]) continue;
    seen[pattern] = true;
    for (int row = 0; row < rowsPerPattern; ++row) {
      for (int channel = 0; channel < channelCount; ++channel) {
        const Note* note = &module->patterns[(static_cast<size_t>(pattern) * channelCount +
                                              channel) * rowsPerPattern + row];
        if (note->effect == 0 && note->param == 0) continue;
        int kind = note->effect == 0xE ? 16 + (note->param >> 4) : note->effect;
        Place at = {position, pattern, row, channel};
        if (uses[kind].cells < maxPlaces) uses[kind].places[uses[kind].cells] = at;
        ++uses[kind].cells;
        reportCellPastEnd(module, note, at, out, findings);
      }
    }
  }
}

void reportEffects(const EffectUse* uses, FILE* out, Findings* findings) {
  fprintf(out, "plays:");
  int listed = 0;
  for (int kind = 0; kind < effectKinds; ++kind) {
    if (!played(kind) || uses[kind].cells == 0) continue;
    fprintf(out, "%s %s (%ld %s)", listed++ ? "," : "", effectNames[kind], uses[kind].cells,
            cells(uses[kind].cells));
  }
  fprintf(out, "%s\n", listed ? "" : " no effects");
  for (int kind = 0; kind < effectKinds; ++kind) {
    const EffectUse& use = uses[kind];
    if (played(kind) || use.cells == 0) continue;
    ++findings->ignoredKinds;
    findings->ignoredCells += use.cells;
    fprintf(out, "ignores: %s, %ld %s:", effectNames[kind], use.cells, cells(use.cells));
    for (long i = 0; i < use.cells && i < maxPlaces; ++i) {
      fprintf(out, "%s ", i ? ";" : "");
      printPlace(use.places[i], out);
    }
    fprintf(out, "%s\n", use.cells > maxPlaces ? "; ..." : "");
  }
}

void reportSummary(const Findings& f, FILE* out) {
  if (f.ignoredKinds == 0 && f.clampedLoops == 0 && f.pastData == 0 && f.pastSong == 0) {
    fprintf(out, "summary: tarnmix plays all that this module uses\n");
    return;
  }
  fprintf(out, "summary: %d effects ignored (%ld %s), %d loops clamped, %d reads past the data, "
               "%d jumps past the song\n", f.ignoredKinds, f.ignoredCells, cells(f.ignoredCells),
          f.clampedLoops, f.pastData, f.pastSong);
}

}  // namespace

int checkModule(const char* path, FILE* out) {
  std::vector<uint8_t> bytes;
  if (!readWhole(path, &bytes)) {
    fprintf(out, "%s: cannot be read\n", path);
    return 1;
  }
  fprintf(out, "%s: %zu bytes\n", path, bytes.size());
  if (!checkSignature(bytes, out)) return 1;
  Module* module = loadModuleFromMemory(bytes.data(), bytes.size());
  if (!module) {
    fprintf(out, "not a module: the file ends inside its pattern data\n");
    return 1;
  }
  fprintf(out, "title: \"%s\"\n", shownText(module->title).c_str());
  Findings findings;
  reportSizes(module, bytes, out, &findings);
  EffectUse uses[effectKinds];
  scanPatterns(module, uses, out, &findings);
  reportEffects(uses, out, &findings);
  reportLoops(module, bytes, out, &findings);
  reportSummary(findings, out);
  freeModule(module);
  return 0;
}
