// What a package's executables carry (execution level, icon, version information): its stub's,
// read up to the setup header, and its uninstall.exe entry's. Shared by list and verify.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "package/archive.h"

namespace qzpack {

// Prints the branding of the package's stub and of its uninstall.exe entry, if it has one, to
// out; returns what is malformed.
std::vector<std::string> reportPackageBranding(const std::string& path,
                                               const ArchiveReader& archive, std::ostream& out);

}  // namespace qzpack
