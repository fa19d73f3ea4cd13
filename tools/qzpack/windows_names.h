// Which entry names Windows can hold as a path below the destination folder.
#pragma once
#include <string>

namespace qzpack {

// Empty when name (Windows-1252, folders separated by backslashes) can be a relative file path on
// Windows; otherwise why it cannot, in UTF-8.
std::string windowsNameFault(const std::string& name);

// The name with its letters folded as Windows folds them when it compares file names, so that
// two names equal under it land on one file.
std::string foldCase(const std::string& name);

}  // namespace qzpack
