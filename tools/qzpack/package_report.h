// qzpack list and verify: read a package through the same readers the stub uses.
#pragma once
#include <ostream>
#include <string>

namespace qzpack {

// Prints the setup header and the archive directory; returns the process exit status.
int listPackage(const std::string& path, std::ostream& out, std::ostream& err);

// Checks the header and reads every entry to its end; prints each fault and returns 0 only when
// there is none.
int verifyPackage(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace qzpack
