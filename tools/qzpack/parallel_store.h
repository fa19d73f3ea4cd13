// Every entry of a package stored in order, on the calling thread or, with several jobs, by
// workers that compress entries ahead while the calling thread writes them in order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "entry_store.h"
#include "host_files.h"

namespace qzpack {

struct StoreSettings {
  int blockSize = 0;  // as storeEntry takes it: 1-9 for bzip2 streams, 0 for plain
  unsigned jobs = 1;  // entries compressed at once; 1 stays on the calling thread
  // Stored bytes held in memory for entries that wait for their turn to be written; beyond
  // that they go to scratch files beside the output.
  size_t bufferLimit = size_t{32} << 20;
};

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
