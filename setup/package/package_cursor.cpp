#include "package/package_file.h"

void startCursor(PackageCursor* cursor, PackageFile file, uint32_t position) {
  cursor->file = file;
  cursor->position = cursor->bufferStart = position;
  cursor->bufferCount = 0;
}

int nextByte(PackageCursor* cursor) {
  uint32_t at = cursor->position - cursor->bufferStart;
  if (cursor->position < cursor->bufferStart || at >= uint32_t(cursor->bufferCount)) {
    cursor->bufferStart = cursor->position;
    cursor->bufferCount = readPackageAt(cursor->file, cursor->position, cursor->buffer,
                                        int32_t{sizeof cursor->buffer});
    if (cursor->bufferCount <= 0) return -1;
    at = 0;
  }
  ++cursor->position;
  return cursor->buffer[at];
}

bool readU32(PackageCursor* cursor, uint32_t* value) {
  uint32_t result = 0;
  for (int i = 0; i < 4; ++i) {
    int byte = nextByte(cursor);
    if (byte < 0) return false;
    result |= uint32_t(byte) << (8 * i);
  }
  *value = result;
  return true;
}
