// The song record of tarnmix: sample slots, order table, patterns and the playback state that the
// sequencer and the mixer work on; the loader that fills it from a MOD file and frees it again.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum {
  sampleSlots = 31,
  channelCount = 4,
  rowsPerPattern = 64,
  orderSlots = 128,
  notesPerPattern = channelCount * rowsPerPattern,
  titleLength = 20,
  sampleNameLength = 22,
};

struct Sample {
  char name[sampleNameLength + 1];
  int32_t length;  // bytes of data; 0 marks an empty slot
  uint8_t finetune;
  uint8_t volume;  // default volume of a starting note, as stored in the file (not clamped)
  int32_t loopStart;   // bytes, as read
  int32_t loopLength;  // bytes, as read; playback goes by `looped` and `end` alone
  uint8_t* data;       // unsigned, 128 = silence; null for an empty slot
  // What the loop fields mean for playback, decided once by the loader: whether the sample
  // loops (a loop of more than one word that starts inside the data), and the byte at which
  // playback wraps to loopStart or, without a loop, stops. A loop reaching past the data ends
  // with it, so end <= length always and the mixer never reads past the data.
  bool looped;
  int32_t end;
};

struct Note {
  uint8_t sample;   // 0 = none; the cell's bits allow up to 255
  uint16_t period;  // 0 = no note
  uint8_t effect;
  uint8_t param;
};

struct Channel {
  Sample* sample;  // null = silent
  int32_t step;    // 16.16 advance of position per output sample
  // 48.16 rather than 16.16: sample data reaches 131070 bytes, beyond a 16-bit integer part.
  int64_t position;
  int32_t period;
  int32_t volume;
  int32_t volumeSlide;
  int32_t portaSpeed;
  int32_t portaTarget;
  int32_t portaRate;  // the last non-zero effect 3 param: a glide of param 0 reuses it
};

struct Module {
  char title[titleLength + 1];
  Sample samples[sampleSlots];
  uint8_t songLength;  // at most orderSlots: a larger file value is cut on loading
  uint8_t restartPosition;
  uint8_t orders[orderSlots];
  // Wider than the file's 8 bits: an order entry of 255 means 256 patterns, not 0.
  int32_t patternCount;
  Note* patterns;  // element ((p * 4 + c) * 64 + r)

  int32_t ticksLeft;
  int32_t samplesLeft;
  int32_t samplesPerTick;
  int32_t speed;
  Channel channels[channelCount];
  int32_t currentPattern;
  int32_t orderIndex;
  int32_t row;

  // Where the notes of the row being applied come from: a jump or break made by one channel
  // must not change which notes the later channels of the same row read.
  int32_t notePattern;
  int32_t noteRow;
  // Output samples of the current part written so far; lets a tracer place callbacks exactly.
  int32_t partSamplesWritten;
  // The mixer's scaling of each stored byte by a channel's volume and the master volume, kept
  // while both stay the same.
  int16_t levels[channelCount][256];
  int32_t levelsVolume[channelCount];
  int32_t levelsMaster[channelCount];
};

// Reads a MOD file. Returns null, holding nothing, when the file cannot be opened, ends before
// the end of its pattern data, or memory runs out. Sample data cut short by the end of the file
// is kept as far as it goes; the slots after it are empty.
Module* loadModule(const char* path);
// The same reading from bytes in memory.
Module* loadModuleFromMemory(const uint8_t* bytes, size_t size);
void freeModule(Module* module);
