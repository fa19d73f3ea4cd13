// Symbolic links (and, on Windows, other reparse points such as junctions) on the host.
#pragma once
#include <filesystem>

namespace qzpack {

// True when path itself is a link, whatever it points at; false when it is missing.
bool isLink(const std::filesystem::path& path);

}  // namespace qzpack
