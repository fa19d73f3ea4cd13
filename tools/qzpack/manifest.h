// The packager's manifest: a TOML file describing one package.
#pragma once
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "code_page.h"

namespace qzpack {

// A fault the user must mend; the message names the file and, where there is one, the line and
// column.
struct BuildError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ManifestFile {
  std::string name;  // the archive entry name and, expanded, the path under the destination
  std::filesystem::path source;
};

struct ManifestShortcut {
  std::string target, arguments, workingDirectory, linkName;
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
};

enum class Compression { bzip2, none };

struct Manifest {
  std::string title, defaultDestination, shortcutFolder, preInstallText, lastWords;
  uint32_t setupFlags = 0;
  std::vector<ManifestField> fields;
  std::vector<ManifestComponent> components;
  Compression compression = Compression::bzip2;
  int blockSize = 9;
  bool uninstaller = false;       // ship uninstall.exe (see addUninstaller)
  std::string uninstallShortcut;  // linkName of a shortcut to it; empty for none
  std::string uninstallerAt;      // the manifest's file, line and column of the key, for errors
};

// Reads and checks a manifest; throws BuildError.
Manifest readManifest(const std::filesystem::path& path);

}  // namespace qzpack
