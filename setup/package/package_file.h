// The package file, read at given offsets. One open file serves both header passes, the archive
// directory and every entry stream on either thread of a run: a read names its offset, so no
// reader moves a position that another relies on.
#pragma once
#include <stdint.h>

struct PackageFile {
  intptr_t handle;  // a HANDLE on Windows, a file descriptor elsewhere; -1 when not open
};

// Opens path for reading. On Windows others may read the file too, but neither write, rename
// nor delete it while it is open. Not open (isOpen false) when that fails.
PackageFile openPackageFile(const char* path);
bool isOpen(PackageFile file);
void closePackageFile(PackageFile file);
// The file's size in bytes, or -1 when it cannot be had (on Windows also when it is past
// maxPackageSize).
int64_t packageFileSize(PackageFile file);
// Up to count bytes from offset into buffer: the bytes read, fewer than count only at the file's
// end or on a read error.
int32_t readPackageAt(PackageFile file, uint32_t offset, void* buffer, int32_t count);

// Sequential reading through a buffer, for the header and the archive directory.
struct PackageCursor {
  PackageFile file;
  uint32_t position;     // of the next byte
  uint32_t bufferStart;  // the file offset of buffer[0]
  int32_t bufferCount;
  unsigned char buffer[1024];
};

// A cursor at position of file, its buffer empty.
void startCursor(PackageCursor* cursor, PackageFile file, uint32_t position);
// The next byte, or -1 at the end of the file.
int nextByte(PackageCursor* cursor);
// Reads a 32-bit little-endian number; false when the file ends first.
bool readU32(PackageCursor* cursor, uint32_t* value);
