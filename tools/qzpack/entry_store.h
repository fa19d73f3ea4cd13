// An archive entry's stored bytes: a payload file copied plain or compressed into one bzip2
// stream; and every entry of a package stored in order, on one thread or on several.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host_files.h"

namespace qzpack {

struct PackageEntry {
  std::string name;
  std::filesystem::path source;
  uint32_t size = 0;  // the file must still hold exactly this many bytes when it is stored
};

struct StoreSettings {
  int blockSize = 0;  // 1-9: bzip2 streams of that block size; 0: plain
  unsigned jobs = 1;  // entries compressed at once; 1 stays on the calling thread
  // Stored bytes held in memory for entries that wait for their turn to be written; beyond
  // that they go to scratch files beside the output.
  size_t bufferLimit = size_t{32} << 20;
};

using ByteSink = std::function<void(const char* data, size_t size)>;

// Hands the entry's stored bytes to put piece by piece, and the count of content bytes read to
// consumed as it goes; returns the stored length. Throws BuildError when the file cannot be
// read or no longer holds entry.size bytes.
uint64_t storeEntry(const PackageEntry& entry, int blockSize, const ByteSink& put,
                    const std::function<void(size_t)>& consumed);

// Called after entry `index` was written with its stored length; may throw to stop the build.
using EntryStored = std::function<void(size_t index, uint64_t length)>;
// Told now and then, on the calling thread, how many entries were stored and content bytes read.
using StoreProgress = std::function<void(size_t entries, uint64_t bytes)>;

// Writes every entry's stored bytes to out, back to back in order: the same bytes whatever the
// number of jobs. A fault throws BuildError, the first in entry order as one job would meet it,
// once every job has stopped.
void storeEntries(const std::vector<PackageEntry>& entries, const StoreSettings& settings,
                  PendingOutput& out, const EntryStored& stored, const StoreProgress& progress);

}  // namespace qzpack
