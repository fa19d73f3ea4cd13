#include "entry_store.h"

#include <bzlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "manifest.h"
#include "parallel_store.h"

namespace qzpack {
namespace {

constexpr size_t chunkSize = 1 << 16;

// Feeds one piece of input to the compressor (all of it, or to the stream's end when last).
void compressPiece(bz_stream& stream, const char* data, size_t size, bool last,
                   std::vector<char>& output, const ByteSink& put, const PackageEntry& entry) {
  stream.next_in = const_cast<char*>(data);
  stream.avail_in = static_cast<unsigned>(size);
  int ret;
  do {
    stream.next_out = output.data();
    stream.avail_out = static_cast<unsigned>(output.size());
    ret = BZ2_bzCompress(&stream, last ? BZ_FINISH : BZ_RUN);
    if (ret < 0) throw BuildError("bzip2 compression failed on " + entry.source.string());
    size_t produced = output.size() - stream.avail_out;
    if (produced) put(output.data(), produced);
  } while (last ? ret != BZ_STREAM_END : stream.avail_in > 0);
}

}  // namespace

uint64_t storeEntry(const PackageEntry& entry, int blockSize, const ByteSink& put,
                    const std::function<void(size_t)>& consumed) {
  File in = openFile(entry.source, "rb");
  if (!in) throw BuildError("cannot read " + entry.source.string() + ": " + std::strerror(errno));
  std::vector<char> input(chunkSize), output(chunkSize);
  bz_stream stream{};
  if (blockSize && BZ2_bzCompressInit(&stream, blockSize, 0, 0) != BZ_OK)
    throw BuildError("bzip2 compressor cannot start");
  struct End {
    bz_stream* s;
    bool on;
    ~End() {
      if (on) BZ2_bzCompressEnd(s);
    }
  } end{&stream, blockSize != 0};
  uint64_t read = 0, stored = 0;
  ByteSink count = [&](const char* data, size_t size) {
    stored += size;
    put(data, size);
  };
  for (bool last = false; !last;) {
    // One byte past the planned size is enough to tell that the file grew.
    size_t want =
        static_cast<size_t>(std::min<uint64_t>(chunkSize, entry.size + uint64_t{1} - read));
    size_t got = std::fread(input.data(), 1, want, in.get());
    if (std::ferror(in.get())) throw BuildError("cannot read " + entry.source.string());
    read += got;
    last = got < want;
    if (read > entry.size) break;
    if (blockSize)
      compressPiece(stream, input.data(), got, last, output, count, entry);
    else if (got)
      count(input.data(), got);
    consumed(got);
  }
  if (read != entry.size)
    throw BuildError(entry.source.string() + " changed size while it was being packed");
  return stored;
}

void storeEntries(const std::vector<PackageEntry>& entries, const StoreSettings& settings,
                  PendingOutput& out, const EntryStored& stored, const StoreProgress& progress) {
  if (settings.jobs > 1 && entries.size() > 1) {
    storeInParallel(entries, settings, out, stored, progress);
    return;
  }
  uint64_t bytes = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    uint64_t length = storeEntry(
        entries[i], settings.blockSize,
        [&](const char* data, size_t size) { out.write(data, size); },
        [&](size_t got) {
          bytes += got;
          progress(i, bytes);
        });
    stored(i, length);
    progress(i + 1, bytes);
  }
}

}  // namespace qzpack
