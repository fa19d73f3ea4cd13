// The packager's manifest: a TOML file describing one package.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "branding.h"
#include "build_error.h"
#include "code_page.h"
#include "package/format.h"

namespace qzpack {

struct ManifestFile {
  std::string name;  // the archive entry name and, expanded, the path under the destination, in
                     // the package's encoding
  std::filesystem::path source;
  std::string at = {};  // the manifest's file, line and column of the item that took it
};

struct ManifestShortcut {
  std::string target, arguments, workingDirectory, linkName;
  std::string targetAt = {}, argumentsAt = {}, workingDirectoryAt = {}, linkNameAt = {};
};

struct ManifestComponent {
  std::string name;
  uint8_t flags = 0;
  std::vector<ManifestFile> files;  // header order
  std::vector<ManifestShortcut> shortcuts;
};

struct ManifestField {
  std::string caption, variableName;
  uint8_t flags = 0;
  std::string variableNameAt;
};

enum class Compression { bzip2, none };

struct Manifest {
  std::string title, defaultDestination, shortcutFolder, preInstallText, lastWords;
  uint32_t setupFlags = 0;
  std::vector<ManifestField> fields;
  std::vector<ManifestComponent> components;
  Compression compression = Compression::bzip2;
  int blockSize = largestBlockSize;
  bool uninstaller = false;       // ship uninstall.exe (see addUninstaller)
  std::string uninstallShortcut;  // linkName of a shortcut to it; empty for none
  std::string uninstallerAt;      // the manifest's file, line and column of the key, for errors
  Branding branding;              // the executables' level, icon and version information
  Encoding encoding = Encoding::windows1252;  // of every text and name above
  std::vector<std::string> warnings;          // what may fail on the user's system
  std::string defaultDestinationAt, shortcutFolderAt, uninstallShortcutAt;  // the same
};

// Reads and checks a manifest; throws BuildError.
Manifest readManifest(const std::filesystem::path& path);

}  // namespace qzpack
