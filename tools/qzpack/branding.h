// What a package's own executables carry besides code: the execution level of their manifests,
// the icon, and the version information. qzpack writes them into the package's copy of the stub
// and into its uninstall.exe, and list and verify read them back.
#pragma once
#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app_manifest.h"
#include "icon_file.h"

namespace qzpack {

// The manifest keys executionLevel, icon, version, publisher and copyright (UTF-8).
struct Branding {
  ExecutionLevel level = ExecutionLevel::admin;
  std::vector<IconImage> icon;  // empty: the stub's own icon
  std::string version;          // empty: no version information
  std::array<uint16_t, 4> versionNumbers{};
  std::string publisher, copyright;
  std::string activeCodePage;  // the process code page asked for: "UTF-8" or empty (the system's)
};

// Whether the executables must be rewritten: every key at its default leaves them as they are.
bool changesExecutables(const Branding& branding);

// The executable with its manifest's level, icon "A" and version information set. description
// is the FileDescription ("Tarn Demo Setup"), product the title and fileName the
// OriginalFilename. Throws BuildError naming what.
std::vector<unsigned char> brandExecutable(const std::vector<unsigned char>& exe,
                                           const Branding& branding, const std::string& product,
                                           const std::string& description,
                                           const std::string& fileName, const std::string& what);

// Prints what an executable carries, one line each: execution level, the UTF-8 code page if it
// asks for it, icon sizes, version strings. Throws BuildError naming what when a resource is malformed: a manifest without a
// level of ours, an icon whose group and images disagree, damaged version information.
void reportBranding(const std::vector<unsigned char>& exe, const std::string& what,
                    std::ostream& out);

// Whether the executable's manifest asks for the UTF-8 process code page. Throws BuildError,
// naming what, for a damaged resource directory.
bool asksForUtf8(const std::vector<unsigned char>& exe, const std::string& what);

}  // namespace qzpack
