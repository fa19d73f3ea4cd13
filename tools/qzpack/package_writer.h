// Writes a carrier file as package/format.h lays it out: the stub, the setup header, the
// archive, and the header offset at bytes 96-99.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "manifest.h"
#include "parallel_store.h"

namespace qzpack {

// The setup header's bytes for a manifest whose archive will start at archiveOffset.
std::vector<unsigned char> headerBytes(const Manifest& manifest, uint32_t archiveOffset);

// Checks that the stub is a PE executable whose PE header starts at byte 100 or later (bytes
// 96-99 are overwritten); returns its bytes. Throws BuildError.
std::vector<unsigned char> readStub(const std::filesystem::path& stub);

struct BuildSummary {
  uint64_t stubSize = 0, headerSize = 0, archiveSize = 0, contentSize = 0;
  size_t entries = 0;
};

struct BuildOptions {
  unsigned jobs = 1;  // entries compressed at once
  size_t bufferLimit = StoreSettings().bufferLimit;
  std::FILE* progress = nullptr;  // a terminal to draw the progress line on, or none
};

// The archive's entries, one per distinct file name in order of first appearance, with the sizes
// their files have now. Throws BuildError.
std::vector<PackageEntry> planEntries(const Manifest& manifest);

// Builds the package of these entries at output; on any failure nothing is left at output (an
// older file there stays as it was). The same bytes come out whatever the options. Throws
// BuildError.
BuildSummary writePackage(const Manifest& manifest, const std::vector<PackageEntry>& entries,
                          const std::filesystem::path& stub, const std::filesystem::path& output,
                          const BuildOptions& options = {});

// planEntries, then writePackage.
BuildSummary buildPackage(const Manifest& manifest, const std::filesystem::path& stub,
                          const std::filesystem::path& output, const BuildOptions& options = {});

}  // namespace qzpack
