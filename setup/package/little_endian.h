// The package's numbers: 32-bit little-endian, written into the carrier file by qzpack (the
// readers take them through readU32 of package_file.h).
#pragma once
#include <stdint.h>

// Places value in the four bytes at `at`.
inline void storeU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
