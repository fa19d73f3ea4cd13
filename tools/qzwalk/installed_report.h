// What an installation left behind, as its install log lists it: each file with its size, each
// shortcut with its target, arguments and working directory, then the log's records themselves.
#pragma once
#include <cstdio>
#include <string>

namespace walk {

// Prints the report for the installation into destination (the destination box's ANSI text);
// returns how many faults it found: listed items that are not there, or a damaged log.
int reportInstallation(const std::string& destination, std::FILE* out);

}  // namespace walk
