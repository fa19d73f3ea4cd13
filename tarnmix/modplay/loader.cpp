// MOD file loader: one fixed sequence of fields, front to back, 31 slots and 4 channels always.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mod_format.h"
#include "module.h"

namespace {

enum {
  oneWord = 2,  // bytes: a slot of one word or less holds no data, a loop of one word is none
  storedOffset = 0x80,
};

// The file backend serves loadModule, the memory backend the fuzzer and the tests.
struct ByteSource {
  FILE* file;
  const uint8_t* bytes;
  size_t size;
  size_t offset;
};

size_t readSome(ByteSource* source, void* out, size_t count) {
  if (source->file) return fread(out, 1, count, source->file);
  size_t left = source->size - source->offset;
  if (count > left) count = left;
  if (count) memcpy(out, source->bytes + source->offset, count);
  source->offset += count;
  return count;
}

int32_t bytesOfWordsAt(const uint8_t* p) {
  return (p[0] << 8 | p[1]) * 2;
}

void parseSampleHeader(Sample* sample, const uint8_t* header) {
  memcpy(sample->name, header + sampleNameOffset, sampleNameLength);
  sample->name[sampleNameLength] = 0;
  sample->length = bytesOfWordsAt(header + lengthWordsOffset);
  sample->finetune = header[finetuneOffset];
  sample->volume = header[volumeOffset];
  sample->loopStart = bytesOfWordsAt(header + loopStartWordsOffset);
  sample->loopLength = bytesOfWordsAt(header + loopLengthWordsOffset);
}

void parseHeader(Module* module, const uint8_t* header) {
  memcpy(module->title, header + titleOffset, titleLength);
  module->title[titleLength] = 0;
  for (int i = 0; i < sampleSlots; ++i)
    parseSampleHeader(&module->samples[i], header + sampleHeadersOffset + i * sampleHeaderBytes);
  module->songLength = header[songLengthOffset];
  // Only 128 positions exist; a larger count would run the song past the order table.
  if (module->songLength > orderSlots) module->songLength = orderSlots;
  module->restartPosition = header[restartOffset];
  memcpy(module->orders, header + ordersOffset, orderSlots);
  int highest = 0;
  for (int i = 0; i < module->songLength; ++i)
    if (module->orders[i] > highest) highest = module->orders[i];
  module->patternCount = highest + 1;
}

Note decodeCell(const uint8_t* b) {
  Note note;
  note.sample = static_cast<uint8_t>((b[0] & 0xF0) | (b[2] >> 4));
  note.period = static_cast<uint16_t>((b[0] & 0x0F) << 8 | b[1]);
  note.effect = b[2] & 0x0F;
  note.param = b[3];
  return note;
}

// The file stores rows one after the other; the record groups each pattern's notes by channel.
bool readPatterns(Module* module, ByteSource* source) {
  size_t noteCount = static_cast<size_t>(module->patternCount) * notesPerPattern;
  module->patterns = static_cast<Note*>(malloc(noteCount * sizeof(Note)));
  if (!module->patterns) return false;
  uint8_t cells[patternBytes];
  for (int p = 0; p < module->patternCount; ++p) {
    if (readSome(source, cells, patternBytes) != patternBytes) return false;
    Note* pattern = module->patterns + static_cast<size_t>(p) * notesPerPattern;
    for (int r = 0; r < rowsPerPattern; ++r)
      for (int c = 0; c < channelCount; ++c)
        pattern[c * rowsPerPattern + r] = decodeCell(cells + (r * channelCount + c) * cellBytes);
  }
  return true;
}

// A file that ends inside the sample data keeps what it holds: the cut sample becomes as long as
// its bytes, and the slots after it read nothing and stay empty.
bool readSampleData(Sample* sample, ByteSource* source) {
  if (sample->length <= oneWord) {
    sample->length = 0;
    return true;
  }
  sample->data = static_cast<uint8_t*>(malloc(sample->length));
  if (!sample->data) return false;
  size_t got = readSome(source, sample->data, sample->length);
  if (got <= oneWord) {
    free(sample->data);
    sample->data = nullptr;
    got = 0;
  }
  sample->length = static_cast<int32_t>(got);
  for (size_t i = 0; i < got; ++i)
    sample->data[i] = static_cast<uint8_t>(sample->data[i] + storedOffset);
  return true;
}

// Once the data's length is known: a loop of one word or less, or one starting past the data
// (an empty slot's included), is no loop; a loop reaching past the data ends with it.
void settleLoop(Sample* sample) {
  sample->looped = sample->loopLength > oneWord && sample->loopStart < sample->length;
  sample->end = sample->length;
  if (sample->looped && sample->loopStart + sample->loopLength < sample->length)
    sample->end = sample->loopStart + sample->loopLength;
}

Module* loadFrom(ByteSource* source) {
  uint8_t header[headerBytes];
  if (readSome(source, header, headerBytes) != headerBytes) return nullptr;
  // Cleared, so that no field is left undefined, the playback fields included.
  Module* module = static_cast<Module*>(calloc(1, sizeof(Module)));
  if (!module) return nullptr;
  parseHeader(module, header);
  bool complete = readPatterns(module, source);
  for (int i = 0; complete && i < sampleSlots; ++i) {
    complete = readSampleData(&module->samples[i], source);
    settleLoop(&module->samples[i]);
  }
  if (complete) return module;
  freeModule(module);
  return nullptr;
}

}  // namespace

Module* loadModule(const char* path) {
  if (!path) return nullptr;
  FILE* file = fopen(path, "rb");
  if (!file) return nullptr;
  ByteSource source = {file, nullptr, 0, 0};
  Module* module = loadFrom(&source);
  fclose(file);
  return module;
}

Module* loadModuleFromMemory(const uint8_t* bytes, size_t size) {
  ByteSource source = {nullptr, bytes, bytes ? size : 0, 0};
  return loadFrom(&source);
}

void freeModule(Module* module) {
  if (!module) return;
  for (int i = 0; i < sampleSlots; ++i) free(module->samples[i].data);
  free(module->patterns);
  free(module);
}
