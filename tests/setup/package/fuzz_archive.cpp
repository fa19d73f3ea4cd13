// Fuzz target: any bytes as an archive at offset 0 of a file; every entry is read to its end in
// 16384-byte chunks, as the installation run reads them.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "package/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  static const std::string path = "/dev/shm/qz-fuzz-archive-" + std::to_string(getpid());
  // The last input's file goes when the run ends.
  static const int removal = atexit([] { remove(path.c_str()); });
  (void)removal;
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return 0;
  fwrite(data, 1, size, file);
  fclose(file);
  ArchiveReader* reader = openArchive(path.c_str(), 0);
  if (!reader) return 0;
  static unsigned char chunk[16384];
  EntryStream* spent = nullptr;
  for (int32_t i = 0; i < reader->count; ++i) {
    // Every other entry through the stream of the one before, as the installation run reads.
    EntryStream* stream = nullptr;
    if (i % 2) {
      stream = reopenEntry(reader, reader->names[i], spent);
    } else {
      closeEntry(spent);
      stream = openEntry(reader, reader->names[i]);
    }
    while (!entryAtEnd(stream) && readEntry(stream, chunk, sizeof chunk) > 0) {
    }
    spent = stream;
  }
  closeEntry(spent);
  freeArchive(reader);
  return 0;
}
