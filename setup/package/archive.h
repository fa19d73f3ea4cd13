// The archive of file contents appended to the carrier file: a directory of named entries and a
// data area, every entry stored plain or as one bzip2 stream.
#pragma once
#include <stdint.h>

#include "package/format.h"
#include "package/package_file.h"

// Why a directory could not be taken whole. Entries read before the fault stay in the directory;
// the faulty one and everything after it are dropped.
enum ArchiveStatus {
  archiveOk = 0,
  archiveCutShort,     // the file ends inside the directory or before its terminator
  archiveNameTooLong,  // an entry name of more than 260 characters
  archiveDataOutside,  // an entry's stored bytes start (or, plain, end) past the end of the file
  archiveNoMemory,
};

struct ArchiveReader {
  uint32_t archiveFlags;
  PackageFile file;   // every entry stream reads it
  bool ownsFile;      // opened by openArchive, closed by freeArchive
  char** names;       // directory order
  uint32_t* offsets;  // absolute file offsets
  int32_t* sizes;     // content sizes
  int32_t count;
  int32_t capacity;
  ArchiveStatus status;
  uint32_t fileSize;
  // Entry numbers + 1 by the hash of their names, open addressing, the first of equal names
  // only: a lookup does not scan a directory of thousands of small files. Null: none found.
  int32_t* index;
  uint32_t indexMask;
};

struct EntryStream {
  PackageFile file;
  void* decoder;  // the bzip2 decoder and its input; null for a plain archive
  uint32_t start;
  int32_t position;
  int32_t size;
  bool failed;       // stalled, decoding error, or the stream does not end at size
  bool streamEnded;  // bzip2 reported the end of its stream (and checked its CRC)
};

// A new reader of the package file at path, or null when the file cannot be opened (or no
// memory is left).
ArchiveReader* openArchive(const char* path, uint32_t archiveOffset);
// The same on an open package file, which stays open when the reader goes; null when the file
// is not open or no memory is left.
ArchiveReader* openArchiveIn(PackageFile file, uint32_t archiveOffset);
void freeArchive(ArchiveReader* reader);
const char* archiveStatusText(ArchiveStatus status);

// 1 and the entry's absolute offset and size, or 0 with the outputs untouched. Case matters; the
// first of equal names wins.
int findEntry(const ArchiveReader* reader, const char* name, uint32_t* offset, int32_t* size);
EntryStream* openEntry(const ArchiveReader* reader, const char* name);
// As openEntry, in the record of spent, a stream of the same reader that is done with. spent is
// taken over either way; null makes a new record.
EntryStream* reopenEntry(const ArchiveReader* reader, const char* name, EntryStream* spent);
bool entryAtEnd(const EntryStream* stream);
// Bytes placed in buffer, never past the entry's size; 0 for a null stream. A 0 before the end
// means the stored data is cut short or corrupt: the caller treats the entry as failed.
int32_t readEntry(EntryStream* stream, void* buffer, int32_t count);
// True when a read stalled, the decoder reported an error, or a bzip2 entry's stream did not end
// (with its CRC checked) exactly at size. A whole, sound entry gives false once at its end.
bool entryFailed(const EntryStream* stream);
void closeEntry(EntryStream* stream);
