// The files that a component's files list selects on the host: names and patterns below the
// source folder, and whole folders. Entry names are in the package's encoding, with backslashes.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "manifest.h"

namespace qzpack {

// A pattern split at '/' and '\': "**" stands for any number of folders (at the end: every file
// below), '*' and '?' match inside one name. Throws BuildError for an empty pattern or one that
// leaves its folder.
std::vector<std::string> patternParts(const std::string& pattern);
bool hasWildcard(const std::vector<std::string>& parts);

// Patterns, each split by patternParts, that drop what they match.
using Excludes = std::vector<std::vector<std::string>>;

// The files below base that parts select, sorted by entry name: prefix (empty, or ending in a
// backslash) followed by the path below base, in encoding (composed, in UTF-8). Folders are never
// entries. What an exclude matches is passed over before anything else is judged of it, and
// counted in *excluded. Throws BuildError when a symbolic link, or anything but a file or folder,
// is reached, or a name has no form in encoding (in UTF-8: is not UTF-8). A host file name
// holding a backslash makes the entry name Windows would see, which may be another file's: both
// are kept, for the caller to refuse.
std::vector<ManifestFile> findFiles(const std::filesystem::path& base,
                                    const std::vector<std::string>& parts,
                                    Encoding encoding = Encoding::windows1252,
                                    const std::string& prefix = {}, const Excludes& excludes = {},
                                    size_t* excluded = nullptr);

// Whether an entry name matches any of the patterns (each split by patternParts), ignoring letter
// case as Windows does.
bool matchesAnyPattern(const Excludes& patterns, const std::string& name,
                       Encoding encoding = Encoding::windows1252);

}  // namespace qzpack
