// An archive entry's stored bytes: a payload file copied plain or compressed into one bzip2
// stream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace qzpack {

struct PackageEntry {
  std::string name;
  std::filesystem::path source;
  uint32_t size = 0;  // the file must still hold exactly this many bytes when it is stored
};

using ByteSink = std::function<void(const char* data, size_t size)>;

// Hands the entry's stored bytes to put piece by piece, and the count of content bytes read to
// consumed as it goes; returns the stored length. blockSize 1-9 makes one bzip2 stream of that
// block size, 0 a plain copy. Throws BuildError when the file cannot be read or no longer holds
// entry.size bytes.
uint64_t storeEntry(const PackageEntry& entry, int blockSize, const ByteSink& put,
                    const std::function<void(size_t)>& consumed);

}  // namespace qzpack
