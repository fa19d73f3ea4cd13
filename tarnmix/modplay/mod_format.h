// The layout of a 4-channel, 31-sample module file, read by the loader and by modrender's
// check of a file.
#pragma once

#include "module.h"

// Where the fields stand in the file, in bytes from its start; big-endian words.
enum {
  titleOffset = 0,
  sampleHeadersOffset = 20,  // 31 headers of sampleHeaderBytes each
  songLengthOffset = 950,
  restartOffset = 951,
  ordersOffset = 952,        // orderSlots bytes
  signatureOffset = 1080,    // 4 bytes, never read: every variant is read as 31 slots, 4 channels
  headerBytes = 1084,        // everything before the patterns, the signature included
  cellBytes = 4,
  patternBytes = notesPerPattern * cellBytes,
};

// Within a sample header, in bytes from its start. Lengths and loop positions are counted in
// 16-bit words there and in bytes in the record.
enum {
  sampleNameOffset = 0,  // sampleNameLength bytes
  lengthWordsOffset = 22,
  finetuneOffset = 24,
  volumeOffset = 25,
  loopStartWordsOffset = 26,
  loopLengthWordsOffset = 28,
  sampleHeaderBytes = 30,
};
