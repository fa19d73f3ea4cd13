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
