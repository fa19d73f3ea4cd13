// The one kind of fault qzpack reports to its user.
#pragma once
#include <stdexcept>

namespace qzpack {

// A fault the user must mend; the message names the file (through displayPath) and, for a
// manifest, the line and column where there is one.
struct BuildError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace qzpack
