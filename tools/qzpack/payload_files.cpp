#include "payload_files.h"

#include <algorithm>
#include <stdexcept>

#include "file_links.h"
#include "host_files.h"
#include "windows_names.h"

namespace qzpack {
namespace {

namespace fs = std::filesystem;

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// The byte length of the UTF-8 character at text[at]: '?' stands for one character.
size_t characterLength(const std::string& text, size_t at) {
  size_t n = 1;
  while (at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) ++n;
  return n;
}

// '*' and '?' within one name (UTF-8), letters compared without case.
bool matchesName(const std::string& pattern, const std::string& name) {
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += characterLength(name, n);
    } else if (p < pattern.size() && lower(pattern[p]) == lower(name[n])) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP;
      starN += characterLength(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool wild(const std::string& part) {
  return part.find_first_of("*?") != std::string::npos;
}

// The one interpreter of a split pattern. Matching takes names one at a time from the left, the
// folders on the way and then the file, each at a position in parts.
constexpr size_t noMatch = static_cast<size_t>(-1);

// Where matching goes on once name is taken at position p: p again where "**" takes a folder,
// the next position where a name matches its part, parts.size() where the file completes the
// match; noMatch where the name ends it.
size_t take(const std::vector<std::string>& parts, size_t p, const std::string& name, bool file) {
  bool last = p + 1 == parts.size();
  if (parts[p] == "**") return !file ? p : last ? parts.size() : noMatch;
  if (file != last || !matchesName(parts[p], name)) return noMatch;
  return p + 1;
}

// "**" before more parts may also stand for no folder at all: matching goes on at p + 1
// without taking a name.
bool mayPass(const std::vector<std::string>& parts, size_t p) {
  return parts[p] == "**" && p + 1 < parts.size();
}

bool matchesFrom(const std::vector<std::string>& parts, size_t p,
                 const std::vector<std::string>& names, size_t n) {
  if (mayPass(parts, p) && matchesFrom(parts, p + 1, names, n)) return true;
  bool file = n + 1 == names.size();
  size_t next = take(parts, p, names[n], file);
  return next != noMatch && (file || matchesFrom(parts, next, names, n + 1));
}

bool matchesAnyUtf8(const Excludes& patterns, const std::string& name) {
  if (patterns.empty()) return false;
  // The name is split into its folders once, whatever the number of patterns.
  std::vector<std::string> names;
  size_t start = 0;
  for (size_t end; (end = name.find('\\', start)) != std::string::npos; start = end + 1)
    names.push_back(name.substr(start, end - start));
  names.push_back(name.substr(start));
  return std::any_of(patterns.begin(), patterns.end(), [&](const std::vector<std::string>& parts) {
    return matchesFrom(parts, 0, names, 0);
  });
}

// Walks the folders a pattern reaches, never through a link.
struct Finder {
  const std::vector<std::string>& parts;
  Encoding encoding;
  const Excludes& excludes;
  std::vector<ManifestFile> found;
  size_t excluded = 0;

  [[noreturn]] static void fail(const fs::path& path, const std::string& why) {
    throw BuildError(displayPath(path) + " " + why);
  }

  // A file or folder named child that the pattern may take at position p; name is its entry
  // name so far (UTF-8).
  void reach(const fs::path& path, size_t p, const std::string& child, const std::string& name) {
    // What the pattern would take as an entry (a file, a link, anything but a folder) and an
    // exclude drops is passed over before it is judged.
    std::error_code ec;
    if (take(parts, p, child, true) == parts.size() &&
        !fs::is_directory(fs::symlink_status(path, ec)) && matchesAnyUtf8(excludes, name)) {
      ++excluded;
      return;
    }
    if (isLink(path)) fail(path, "is a symbolic link; qzpack does not follow links");
    fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
      size_t next = take(parts, p, child, false);
      if (next != noMatch) visit(path, next, name + "\\");
    } else if (fs::is_regular_file(status)) {
      if (take(parts, p, child, true) == parts.size()) add(path, name);
    } else if (fs::exists(status)) {
      fail(path, "is neither a file nor a folder");
    }
  }

  void add(const fs::path& path, const std::string& name) {
    try {
      // Composed in UTF-8: a host that stores names decomposed gives them as Windows users type
      // them.
      found.push_back(
          {toPackage(encoding == Encoding::utf8 ? composed(name) : name, encoding), path});
    } catch (const std::invalid_argument& e) {
      fail(path, std::string("has a name Windows cannot hold: ") + e.what());
    }
  }

  // Takes the entries of folder at position p.
  void visit(const fs::path& folder, size_t p, const std::string& name) {
    const std::string& pattern = parts[p];
    if (!wild(pattern)) return reach(folder / fs::u8path(pattern), p, pattern, name + pattern);
    if (mayPass(parts, p)) visit(folder, p + 1, name);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::string child = it->path().filename().u8string();
      bool asFile = take(parts, p, child, true) != noMatch;
      bool asFolder = take(parts, p, child, false) != noMatch;
      // "**" takes every folder: the folder listing tells the files apart, with no second look
      // at each of them.
      std::error_code dangling;
      if (asFile || (asFolder && (pattern != "**" || it->is_directory(dangling))))
        reach(it->path(), p, child, name + child);
    }
    if (ec) fail(folder, "cannot be read as a folder: " + ec.message());
  }
};

}  // namespace

std::vector<std::string> patternParts(const std::string& pattern) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = pattern.find_first_of("/\\", start);
    parts.push_back(pattern.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    if (parts[i].empty() && parts.size() == 1) throw BuildError("a file pattern must not be empty");
    if (parts[i].empty() && i == 0) throw BuildError("a file pattern must not start at the root");
    if (parts[i].empty()) throw BuildError("a file pattern must not hold an empty folder name");
    if (parts[i] == "." || parts[i] == "..")
      throw BuildError("a file pattern must stay inside its folder (no \".\" or \"..\")");
  }
  return parts;
}

bool hasWildcard(const std::vector<std::string>& parts) {
  return std::any_of(parts.begin(), parts.end(), wild);
}

std::vector<ManifestFile> findFiles(const fs::path& base, const std::vector<std::string>& parts,
                                    Encoding encoding, const std::string& prefix,
                                    const Excludes& excludes, size_t* excluded) {
  Finder finder{parts, encoding, excludes, {}};
  finder.visit(base, 0, prefix);
  if (excluded) *excluded = finder.excluded;
  auto& found = finder.found;
  auto byName = [](const ManifestFile& a, const ManifestFile& b) {
    return a.name != b.name ? a.name < b.name : a.source < b.source;
  };
  std::sort(found.begin(), found.end(), byName);
  // "**\\**" and the like reach one file twice.
  found.erase(std::unique(found.begin(), found.end(),
                          [](const ManifestFile& a, const ManifestFile& b) {
                            return a.name == b.name && a.source == b.source;
                          }),
              found.end());
  return found;
}

bool matchesAnyPattern(const Excludes& patterns, const std::string& name, Encoding encoding) {
  return matchesAnyUtf8(patterns, fromPackage(name, encoding));
}

}  // namespace qzpack
