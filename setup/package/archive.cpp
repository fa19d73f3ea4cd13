#include "archive.h"

#include <bzlib.h>
#include <stdlib.h>
#include <string.h>


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
ArchiveStatus readName(PackageCursor* cursor, char* buffer, size_t* length) {
  int c;
  size_t n = 0;
  while ((c = nextByte(cursor)) >= 0) {
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

ArchiveStatus readDirectory(ArchiveReader* reader, uint32_t archiveOffset) {
  PackageCursor cursor;
  startCursor(&cursor, reader->file, archiveOffset);
  uint32_t dataStart;
  if (!readU32(&cursor, &dataStart) || !readU32(&cursor, &reader->archiveFlags))
    return archiveCutShort;
  uint64_t dataArea = uint64_t{archiveOffset} + dataStart;
  char name[maxEntryNameLength + 1];
  for (;;) {
    size_t length;
    ArchiveStatus status = readName(&cursor, name, &length);
    if (status != archiveOk) return status;
    if (length == 0) return archiveOk;  // the terminator
    uint32_t offset, size;
    if (!readU32(&cursor, &offset) || !readU32(&cursor, &size)) return archiveCutShort;
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

// A bzip2 entry's decoder and the stored bytes it reads from.
struct Decoder {
  bz_stream stream;
  uint32_t inputAt;  // the file offset of the next stored byte to read
  char input[4096];
};

void closeDecoder(EntryStream* stream) {
  Decoder* decoder = static_cast<Decoder*>(stream->decoder);
  if (!decoder) return;
  BZ2_bzDecompressEnd(&decoder->stream);
  free(decoder);
  stream->decoder = nullptr;
}

// A decoder for the stream that starts at stream->start; false when there is no memory for it.
bool openDecoder(EntryStream* stream) {
  Decoder* decoder = static_cast<Decoder*>(calloc(1, sizeof(Decoder)));
  if (!decoder) return false;
  if (BZ2_bzDecompressInit(&decoder->stream, 0, 0) != BZ_OK) {
    free(decoder);
    return false;
  }
  decoder->inputAt = stream->start;
  stream->decoder = decoder;
  return true;
}

// Decodes up to count bytes into buffer, reading stored bytes as it needs them: the count made,
// and in *result BZ_OK, BZ_STREAM_END, or an error (BZ_UNEXPECTED_EOF when the file ends first).
int32_t decode(EntryStream* stream, void* buffer, int32_t count, int* result) {
  Decoder* decoder = static_cast<Decoder*>(stream->decoder);
  bz_stream& z = decoder->stream;
  z.next_out = static_cast<char*>(buffer);
  z.avail_out = static_cast<unsigned>(count);
  *result = BZ_OK;
  while (z.avail_out > 0 && *result == BZ_OK) {
    if (z.avail_in == 0) {
      int32_t got = readPackageAt(stream->file, decoder->inputAt, decoder->input,
                                  int32_t{sizeof decoder->input});
      if (got <= 0) {
        *result = BZ_UNEXPECTED_EOF;
        break;
      }
      decoder->inputAt += static_cast<uint32_t>(got);
      z.next_in = decoder->input;
      z.avail_in = static_cast<unsigned>(got);
    }
    *result = BZ2_bzDecompress(&z);
  }
  return count - static_cast<int32_t>(z.avail_out);
}

}  // namespace

ArchiveReader* openArchive(const char* path, uint32_t archiveOffset) {
  PackageFile file = openPackageFile(path);
  ArchiveReader* reader = openArchiveIn(file, archiveOffset);
  if (reader)
    reader->ownsFile = true;
  else
    closePackageFile(file);
  return reader;
}

ArchiveReader* openArchiveIn(PackageFile file, uint32_t archiveOffset) {
  if (!isOpen(file)) return nullptr;
  ArchiveReader* reader = static_cast<ArchiveReader*>(calloc(1, sizeof(ArchiveReader)));
  if (!reader) return nullptr;
  reader->file = file;
  int64_t size = packageFileSize(file);
  // Offsets are 32-bit.
  if (size < 0 || size > maxPackageSize)
    reader->status = archiveDataOutside;
  else {
    reader->fileSize = static_cast<uint32_t>(size);
    reader->status = readDirectory(reader, archiveOffset);
  }
  ArchiveStatus indexed = indexDirectory(reader);
  if (reader->status == archiveOk) reader->status = indexed;
  return reader;
}

void freeArchive(ArchiveReader* reader) {
  if (!reader) return;
  for (int32_t i = 0; i < reader->count; ++i) free(reader->names[i]);
  free(reader->names);
  free(reader->offsets);
  free(reader->sizes);
  free(reader->index);
  if (reader->ownsFile) closePackageFile(reader->file);
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
  if (stream)
    closeDecoder(stream);
  else if (!(stream = static_cast<EntryStream*>(calloc(1, sizeof(EntryStream)))))
    return nullptr;
  stream->file = reader->file;
  stream->start = offset;
  stream->position = 0;
  stream->size = size;
  stream->failed = stream->streamEnded = false;
  if ((reader->archiveFlags & archiveCompressed) && !openDecoder(stream)) {
    closeEntry(stream);
    return nullptr;
  }
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
    int result;
    got = decode(stream, buffer, count, &result);
    if (result == BZ_STREAM_END) {
      stream->streamEnded = true;
      if (stream->position + got < stream->size) stream->failed = true;  // content ends early
    } else if (result != BZ_OK) {
      stream->failed = true;
    }
  } else {
    got = readPackageAt(stream->file, stream->start + static_cast<uint32_t>(stream->position),
                        buffer, count);
  }
  stream->position += got;
  if (got == 0) stream->failed = true;
  if (stream->decoder && stream->position == stream->size && !stream->streamEnded &&
      !stream->failed) {
    // The last block's CRC and the stream's are checked only when the decoder reads the end of
    // the stream: ask for one more byte, which a sound entry does not have.
    char probe;
    int result;
    int32_t extra = decode(stream, &probe, 1, &result);
    if (result == BZ_STREAM_END && extra == 0)
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
  free(stream);
}
