#include "archive.h"

#include <bzlib.h>
#include <stdlib.h>
#include <string.h>

#include "package/little_endian.h"

namespace {

bool growDirectory(ArchiveReader* reader) {
  int32_t capacity = reader->capacity ? reader->capacity * 2 : 16;
  char** names = static_cast<char**>(realloc(reader->names, capacity * sizeof(char*)));
  if (names) reader->names = names;
  uint32_t* offsets = static_cast<uint32_t*>(realloc(reader->offsets, capacity * sizeof(uint32_t)));
  if (offsets) reader->offsets = offsets;
  int32_t* sizes = static_cast<int32_t*>(realloc(reader->sizes, capacity * sizeof(int32_t)));
  if (sizes) reader->sizes = sizes;
  if (!names || !offsets || !sizes) return false;
  reader->capacity = capacity;
  return true;
}

// Reads one name into buffer (room for maxEntryNameLength characters and the NUL).
ArchiveStatus readName(FILE* file, char* buffer, size_t* length) {
  int c;
  size_t n = 0;
  while ((c = getc(file)) != EOF) {
    if (c == 0) {
      buffer[n] = 0;
      *length = n;
      return archiveOk;
    }
    if (n == maxEntryNameLength) return archiveNameTooLong;
    buffer[n++] = static_cast<char>(c);
  }
  return archiveCutShort;
}

ArchiveStatus readDirectory(ArchiveReader* reader, FILE* file, uint32_t archiveOffset) {
  uint32_t dataStart;
  if (fseek(file, static_cast<long>(archiveOffset), SEEK_SET) != 0 || !readU32(file, &dataStart) ||
      !readU32(file, &reader->archiveFlags))
    return archiveCutShort;
  uint64_t dataArea = uint64_t{archiveOffset} + dataStart;
  char name[maxEntryNameLength + 1];
  for (;;) {
    size_t length;
    ArchiveStatus status = readName(file, name, &length);
    if (status != archiveOk) return status;
    if (length == 0) return archiveOk;  // the terminator
    uint32_t offset, size;
    if (!readU32(file, &offset) || !readU32(file, &size)) return archiveCutShort;
    uint64_t start = dataArea + offset;
    bool plain = !(reader->archiveFlags & archiveCompressed);
    if (size > maxPackageSize || start > reader->fileSize ||
        (plain && start + size > reader->fileSize))
      return archiveDataOutside;
    if (reader->count == reader->capacity && !growDirectory(reader)) return archiveNoMemory;
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy) return archiveNoMemory;
    memcpy(copy, name, length + 1);
    reader->names[reader->count] = copy;
    reader->offsets[reader->count] = static_cast<uint32_t>(start);
    reader->sizes[reader->count] = static_cast<int32_t>(size);
    ++reader->count;
  }
}

uint32_t nameHash(const char* name) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (; *name; ++name) hash = (hash ^ static_cast<unsigned char>(*name)) * 16777619u;
  return hash;
}

// The slot that holds name, or the empty slot where it would go.
uint32_t indexSlot(const ArchiveReader* reader, const char* name) {
  uint32_t slot = nameHash(name) & reader->indexMask;
  while (reader->index[slot] && strcmp(reader->names[reader->index[slot] - 1], name) != 0)
    slot = (slot + 1) & reader->indexMask;
  return slot;
}

ArchiveStatus indexDirectory(ArchiveReader* reader) {
  uint32_t slots = 16;  // at most half full; the file's size bounds the count well below 2^30
  while (slots < 2 * static_cast<uint32_t>(reader->count)) slots *= 2;
  if (!(reader->index = static_cast<int32_t*>(calloc(slots, sizeof(int32_t)))))
    return archiveNoMemory;
  reader->indexMask = slots - 1;
  for (int32_t i = 0; i < reader->count; ++i) {
    uint32_t slot = indexSlot(reader, reader->names[i]);
    if (!reader->index[slot]) reader->index[slot] = i + 1;  // a later equal name stays unseen
  }
  return archiveOk;
}

void closeDecoder(EntryStream* stream) {
  if (!stream->decoder) return;
  int error;
  BZ2_bzReadClose(&error, stream->decoder);
  stream->decoder = nullptr;
}

}  // namespace

ArchiveReader* openArchive(const char* path, uint32_t archiveOffset) {
  FILE* file = fopen(path, "rb");
  if (!file) return nullptr;
  ArchiveReader* reader = static_cast<ArchiveReader*>(calloc(1, sizeof(ArchiveReader)));
  size_t pathLength = strlen(path) + 1;
  if (reader) reader->path = static_cast<char*>(malloc(pathLength));
  if (!reader || !reader->path) {
    free(reader);
    fclose(file);
    return nullptr;
  }
  memcpy(reader->path, path, pathLength);
  long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
  // Offsets are 32-bit, and the runtime seeks with a 32-bit long on Windows.
  if (size < 0 || size > maxPackageSize)
    reader->status = archiveDataOutside;
  else {
    reader->fileSize = static_cast<uint32_t>(size);
    reader->status = readDirectory(reader, file, archiveOffset);
  }
  ArchiveStatus indexed = indexDirectory(reader);
  if (reader->status == archiveOk) reader->status = indexed;
  fclose(file);
  return reader;
}

void freeArchive(ArchiveReader* reader) {
  if (!reader) return;
  for (int32_t i = 0; i < reader->count; ++i) free(reader->names[i]);
  free(reader->names);
  free(reader->offsets);
  free(reader->sizes);
  free(reader->index);
  free(reader->path);
  free(reader);
}

const char* archiveStatusText(ArchiveStatus status) {
  switch (status) {
    case archiveOk:
      return "ok";
    case archiveCutShort:
      return "the file ends inside the archive directory";
    case archiveNameTooLong:
      return "an entry name is longer than 260 characters";
    case archiveDataOutside:
      return "an entry's data lies past the end of the file";
    case archiveNoMemory:
      return "out of memory";
  }
  return "unknown";
}

int findEntry(const ArchiveReader* reader, const char* name, uint32_t* offset, int32_t* size) {
  if (!reader->index) return 0;
  int32_t found = reader->index[indexSlot(reader, name)] - 1;
  if (found < 0) return 0;
  *offset = reader->offsets[found];
  *size = reader->sizes[found];
  return 1;
}

EntryStream* openEntry(const ArchiveReader* reader, const char* name) {
  return reopenEntry(reader, name, nullptr);
}

EntryStream* reopenEntry(const ArchiveReader* reader, const char* name, EntryStream* spent) {
  uint32_t offset;
  int32_t size;
  if (!findEntry(reader, name, &offset, &size)) {
    closeEntry(spent);
    return nullptr;
  }
  EntryStream* stream = spent;
  if (stream) {
    closeDecoder(stream);
    clearerr(stream->file);  // a read error of the last entry is not this one's
  } else {
    if (!(stream = static_cast<EntryStream*>(calloc(1, sizeof(EntryStream))))) return nullptr;
    if (!(stream->file = fopen(reader->path, "rb"))) {
      free(stream);
      return nullptr;
    }
  }
  if (fseek(stream->file, static_cast<long>(offset), SEEK_SET) != 0) {
    closeEntry(stream);
    return nullptr;
  }
  if (reader->archiveFlags & archiveCompressed) {
    int error;
    stream->decoder = BZ2_bzReadOpen(&error, stream->file, 1, 0, nullptr, 0);
    if (!stream->decoder) {
      closeEntry(stream);
      return nullptr;
    }
  }
  stream->start = offset;
  stream->position = 0;
  stream->size = size;
  stream->failed = stream->streamEnded = false;
  return stream;
}

bool entryAtEnd(const EntryStream* stream) {
  return !stream || stream->position >= stream->size;
}

int32_t readEntry(EntryStream* stream, void* buffer, int32_t count) {
  if (!stream) return 0;
  if (count > stream->size - stream->position) count = stream->size - stream->position;
  if (count <= 0) return 0;
  int32_t got;
  if (stream->decoder) {
    int error;
    got = BZ2_bzRead(&error, stream->decoder, buffer, count);
    if (got < 0) got = 0;
    if (error == BZ_STREAM_END) {
      stream->streamEnded = true;
      if (stream->position + got < stream->size) stream->failed = true;  // content ends early
    } else if (error != BZ_OK) {
      stream->failed = true;
    }
  } else {
    got = static_cast<int32_t>(fread(buffer, 1, static_cast<size_t>(count), stream->file));
  }
  stream->position += got;
  if (got == 0) stream->failed = true;
  if (stream->decoder && stream->position == stream->size && !stream->streamEnded &&
      !stream->failed) {
    // The last block's CRC and the stream's are checked only when the decoder reads the end of
    // the stream: ask for one more byte, which a sound entry does not have.
    char probe;
    int error;
    int extra = BZ2_bzRead(&error, stream->decoder, &probe, 1);
    if (error == BZ_STREAM_END && extra == 0)
      stream->streamEnded = true;
    else
      stream->failed = true;
  }
  return got;
}

bool entryFailed(const EntryStream* stream) {
  return !stream || stream->failed;
}

void closeEntry(EntryStream* stream) {
  if (!stream) return;
  closeDecoder(stream);
  fclose(stream->file);
  free(stream);
}
