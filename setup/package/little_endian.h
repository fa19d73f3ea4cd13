// The package's numbers: 32-bit little-endian, read from the carrier file by the stub and
// written into it by qzpack.
#pragma once
#include <stdint.h>
#include <stdio.h>

// Reads four bytes at the file's position; false when the file ends first.
bool readU32(FILE* file, uint32_t* value);

// Places value in the four bytes at `at`.
inline void storeU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
