// storeEntries with several jobs: workers compress entries ahead while this thread writes them
// in order.
#pragma once
#include "entry_store.h"

namespace qzpack {

void storeInParallel(const std::vector<PackageEntry>& entries, const StoreSettings& settings,
                     PendingOutput& out, const EntryStored& stored, const StoreProgress& progress);

}  // namespace qzpack
