// Little-endian numbers in byte buffers: the Windows executable, icon and resource formats.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/little_endian.h"

namespace qzpack {

using Buffer = std::vector<unsigned char>;

inline uint16_t getU16(const Buffer& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
inline uint32_t getU32(const Buffer& b, size_t at) {
  return getU16(b, at) | uint32_t{getU16(b, at + 2)} << 16;
}
inline void setU32(Buffer& b, size_t at, uint32_t value) {
  storeU32(&b[at], value);
}
inline void appendU16(Buffer& b, unsigned value) {
  b.push_back(static_cast<unsigned char>(value));
  b.push_back(static_cast<unsigned char>(value >> 8));
}
inline void appendU32(Buffer& b, uint32_t value) {
  appendU16(b, value & 0xFFFF);
  appendU16(b, value >> 16);
}

}  // namespace qzpack
