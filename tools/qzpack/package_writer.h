// Writes a carrier file: the stub, the setup header, the archive, and the header offset at
// bytes 96-99.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "manifest.h"

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

// Builds the package at output; on any failure nothing is left at output (an older file there
// stays as it was). Throws BuildError.
BuildSummary buildPackage(const Manifest& manifest, const std::filesystem::path& stub,
                          const std::filesystem::path& output);

}  // namespace qzpack
