// What a package's executables carry (execution level, icon, version information): its stub's,
// read up to the setup header, and its uninstall.exe entry's. Shared by list and verify.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "code_page.h"
#include "package/archive.h"

namespace qzpack {

// The encoding of a package's strings: UTF-8 when its stub's application manifest asks for the
// UTF-8 process code page, as setup then runs in it; otherwise Windows-1252 (also for a stub
// whose resources are damaged, which list and verify report).
Encoding packageEncoding(const std::string& path);

// Prints the branding of the package's stub and of its uninstall.exe entry, if it has one, to
// out; returns what is malformed.
std::vector<std::string> reportPackageBranding(const std::string& path,
                                               const ArchiveReader& archive, std::ostream& out);

}  // namespace qzpack
