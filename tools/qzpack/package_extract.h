// qzpack extract: writes a package's entries below a folder.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace qzpack {

struct ExtractRequest {
  std::string package;
  std::filesystem::path folder;
  std::vector<std::string> names;  // entries to write; all when empty
  bool force = false;              // replace files that are there already
};

// Writes the entries, each under a temporary name first, with '\' turned into folders. Names
// that would land outside the folder or cannot be Windows paths, folders that are links, and
// files already there (without force) are refused before anything is written. Prints every
// fault; returns the process exit status.
int extractPackage(const ExtractRequest& request, std::ostream& out, std::ostream& err);

}  // namespace qzpack
