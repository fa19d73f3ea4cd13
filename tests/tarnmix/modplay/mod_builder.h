// MOD files built byte by byte for the tests: a header, patterns as the file stores them (row by
// row), and sample data bytes exactly as given.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "module.h"

namespace modtest {

using Bytes = std::vector<uint8_t>;

struct SlotDraft {
  std::string name;
  uint16_t lengthWords = 0;
  uint8_t finetune = 0;
  uint8_t volume = 64;
  uint16_t loopStartWords = 0;
  uint16_t loopLengthWords = 0;
  Bytes data;  // signed file bytes, written whatever the header length says
};

struct ModDraft {
  std::string title;
  std::array<SlotDraft, 31> samples;
  uint8_t songLength = 1;
  uint8_t restartPosition = 0;
  std::array<uint8_t, 128> orders{};
  std::string signature = "M.K.";
  std::vector<std::array<uint8_t, 1024>> patterns;  // as stored in the file
  Bytes trailing;                                   // appended after the sample data

  // Sets one cell, adding empty patterns up to `pattern` as needed.
  void setCell(int pattern, int row, int channel, int sample, int period, int effect = 0,
               int param = 0);
  // Gives slot number (1..31) data bytes and a matching header length.
  void setSample(int number, const Bytes& data, uint8_t volume = 64, uint16_t loopStartWords = 0,
                 uint16_t loopLengthWords = 0);
  Bytes build() const;
};

// As busy as the format allows: four long looped samples and a note on every cell, with sample
// offsets, volume slides and glides alternating, at speed 2 and tempo 255.
ModDraft busiestDraft();
// Song data, samples and commands drawn from a small generator: the same for a seed on every
// machine. Samples reach past 32767 bytes and loops past their data; every command appears.
ModDraft randomDraft(uint32_t seed);

// Slot data of `count` bytes, all `value`.
Bytes filled(size_t count, uint8_t value);

// Loads bytes through the file path when viaFile is set, else from memory.
Module* load(const Bytes& bytes, bool viaFile = false);

struct ModuleDeleter {
  void operator()(Module* module) const { freeModule(module); }
};

}  // namespace modtest
