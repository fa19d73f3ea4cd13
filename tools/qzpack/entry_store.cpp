#include "entry_store.h"

#include <bzlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "build_error.h"
#include "host_files.h"

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
    if (ret < 0) throw BuildError("bzip2 compression failed on " + displayPath(entry.source));
    size_t produced = output.size() - stream.avail_out;
    if (produced) put(output.data(), produced);
  } while (last ? ret != BZ_STREAM_END : stream.avail_in > 0);
}

}  // namespace

uint64_t storeEntry(const PackageEntry& entry, int blockSize, const ByteSink& put,
                    const std::function<void(size_t)>& consumed) {
  File in = openFile(entry.source, "rb");
  if (!in)
    throw BuildError("cannot read " + displayPath(entry.source) + ": " + std::strerror(errno));
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
    if (std::ferror(in.get())) throw BuildError("cannot read " + displayPath(entry.source));
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
    throw BuildError(displayPath(entry.source) + " changed size while it was being packed");
  return stored;
}

}  // namespace qzpack
