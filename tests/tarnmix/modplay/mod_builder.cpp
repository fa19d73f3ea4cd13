#include "mod_builder.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace modtest {

void ModDraft::setCell(int pattern, int row, int channel, int sample, int period, int effect,
                       int param) {
  while (static_cast<int>(patterns.size()) <= pattern) patterns.push_back({});
  uint8_t* cell = &patterns[pattern][(row * 4 + channel) * 4];
  cell[0] = static_cast<uint8_t>((sample & 0xF0) | ((period >> 8) & 0x0F));
  cell[1] = static_cast<uint8_t>(period & 0xFF);
  cell[2] = static_cast<uint8_t>(((sample & 0x0F) << 4) | (effect & 0x0F));
  cell[3] = static_cast<uint8_t>(param);
}

void ModDraft::setSample(int number, const Bytes& data, uint8_t volume, uint16_t loopStartWords,
                         uint16_t loopLengthWords) {
  SlotDraft& s = samples[number - 1];
  s.lengthWords = static_cast<uint16_t>(data.size() / 2);
  s.volume = volume;
  s.loopStartWords = loopStartWords;
  s.loopLengthWords = loopLengthWords;
  s.data = data;
}

namespace {

void putText(Bytes& out, const std::string& text, size_t size) {
  for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? text[i] : 0);
}

void putWord(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

}  // namespace

Bytes ModDraft::build() const {
  Bytes out;
  putText(out, title, 20);
  for (const SlotDraft& s : samples) {
    putText(out, s.name, 22);
    putWord(out, s.lengthWords);
    out.push_back(s.finetune);
    out.push_back(s.volume);
    putWord(out, s.loopStartWords);
    putWord(out, s.loopLengthWords);
  }
  out.push_back(songLength);
  out.push_back(restartPosition);
  out.insert(out.end(), orders.begin(), orders.end());
  putText(out, signature, 4);
  for (const auto& pattern : patterns) out.insert(out.end(), pattern.begin(), pattern.end());
  for (const SlotDraft& s : samples) out.insert(out.end(), s.data.begin(), s.data.end());
  out.insert(out.end(), trailing.begin(), trailing.end());
  return out;
}

ModDraft busiestDraft() {
  enum { keepNote = 0x3, sampleOffset = 0x9, volumeSlide = 0xA, setSpeed = 0xF };
  ModDraft mod;
  for (int s = 1; s <= 4; ++s) {
    Bytes data(32768);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * (s + 2)) & 0xFF);
    mod.setSample(s, data, 64, 0, 0x3F00);
  }
  static const uint16_t periods[] = {856, 428, 214, 113, 640, 320, 170, 453};
  for (int row = 0; row < 64; ++row)
    for (int c = 0; c < 4; ++c) {
      int effect = row % 3 == 0 ? volumeSlide : row % 3 == 1 ? keepNote : sampleOffset;
      int param = effect == volumeSlide ? 0x21 : effect == keepNote ? 0x08 : 0x10;
      if (row == 0 && c == 0) effect = setSpeed, param = 2;
      if (row == 0 && c == 1) effect = setSpeed, param = 255;
      mod.setCell(0, row, c, c + 1, periods[(row + c * 3) % 8], effect, param);
    }
  return mod;
}

namespace {

// A linear congruential generator, so that a seed gives the same module everywhere.
struct Draw {
  uint32_t state;
  uint32_t below(uint32_t n) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % n;
  }
};

void drawSample(ModDraft* mod, int number, Draw* draw) {
  uint32_t kind = draw->below(8);
  if (kind == 0) return;  // empty slot
  size_t length = kind == 1 ? 33000 + draw->below(98000) : 2 + draw->below(3000);
  length &= ~size_t{1};
  Bytes data(length);
  uint32_t wave = draw->below(4);
  for (size_t i = 0; i < length; ++i)
    data[i] = static_cast<uint8_t>(wave == 0 ? draw->below(256) : (i * (wave * 7 + 1)) & 0xFF);
  uint16_t words = static_cast<uint16_t>(length / 2);
  uint16_t loopStart = 0, loopLength = static_cast<uint16_t>(draw->below(3));  // 0, 1 or 2 words
  if (draw->below(2)) {  // a loop, now and then reaching past the data or starting beyond it
    loopStart = static_cast<uint16_t>(draw->below(words + words / 8 + 1));
    loopLength = static_cast<uint16_t>(2 + draw->below(words / 2 + 4));
  }
  uint8_t volume = static_cast<uint8_t>(draw->below(6) ? draw->below(65) : draw->below(256));
  mod->setSample(number, data, volume, loopStart, loopLength);
}

void drawCell(ModDraft* mod, int pattern, int row, int channel, Draw* draw) {
  static const int effects[] = {0, 0, 0, 3, 3, 9, 0xA, 0xA, 0xB, 0xC, 0xD, 0xF, 0xF, 1, 0xE};
  int sample = 0, period = 0;
  if (draw->below(2)) {
    sample = draw->below(10) ? 1 + draw->below(31) : draw->below(256);
    period = draw->below(10) ? 113 + draw->below(744) : draw->below(4096);
  } else if (draw->below(3) == 0) {
    period = 113 + draw->below(744);  // a period alone, or a glide's target
  }
  int effect = draw->below(2) ? effects[draw->below(15)] : 0;
  if ((effect == 0xB || effect == 0xD) && draw->below(40)) effect = 0;  // let patterns end too
  int param = draw->below(256);
  if (effect == 0xB) param = draw->below(6);
  if (effect == 0xD) param = draw->below(4) ? draw->below(0x40) : param;
  if (effect == 0xF && param < 32) param = draw->below(16) ? 1 + draw->below(6) : 0;  // rare halt
  if (effect == 3 && draw->below(3) == 0) param = 0;
  mod->setCell(pattern, row, channel, sample, period, effect, param);
}

}  // namespace

ModDraft randomDraft(uint32_t seed) {
  Draw draw{seed};
  ModDraft mod;
  mod.title = "random " + std::to_string(seed);
  for (int n = 1; n <= 31; ++n) drawSample(&mod, n, &draw);
  mod.songLength = static_cast<uint8_t>(1 + draw.below(8));
  int patterns = 1 + static_cast<int>(draw.below(5));
  for (int i = 0; i < mod.songLength; ++i)
    mod.orders[i] = static_cast<uint8_t>(draw.below(patterns));
  mod.orders[0] = static_cast<uint8_t>(patterns - 1);  // every pattern drawn is loaded
  for (int p = 0; p < patterns; ++p)
    for (int row = 0; row < 64; ++row)
      for (int c = 0; c < 4; ++c) drawCell(&mod, p, row, c, &draw);
  return mod;
}

Bytes filled(size_t count, uint8_t value) {
  return Bytes(count, value);
}

Module* load(const Bytes& bytes, bool viaFile) {
  if (!viaFile) return loadModuleFromMemory(bytes.data(), bytes.size());
  // Test cases run as parallel processes: each needs a name of its own.
  std::random_device random;
  std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("tarnmix-test-" + std::to_string(random()) + std::to_string(random()) + ".mod");
  FILE* file = std::fopen(path.string().c_str(), "wb");
  if (!file) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  Module* module = loadModule(path.string().c_str());
  std::filesystem::remove(path);
  return module;
}

}  // namespace modtest
