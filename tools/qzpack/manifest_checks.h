// What a manifest would break only at install time, judged at build time by setup's own rules:
// path macros that expand to nothing, variable names that setup could never reach or tell
// apart, link names that shortcutFolder would swallow, macros in shortcut arguments (passed on
// as written) and shortcut targets that no file of the package installs.
#pragma once
#include <string>
#include <vector>

#include "manifest.h"

namespace qzpack {

// The errors, each "file:line:column: what", in manifest order; warnings go to m.warnings.
std::vector<std::string> checkManifest(Manifest& m);

}  // namespace qzpack
