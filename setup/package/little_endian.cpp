#include "little_endian.h"

bool readU32(FILE* file, uint32_t* value) {
  unsigned char b[4];
  if (fread(b, 1, 4, file) != 4) return false;
  *value = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}
