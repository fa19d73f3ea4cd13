#include "uninstaller_entry.h"

#include <algorithm>
#include <cctype>

#include "package/header.h"

namespace qzpack {

namespace fs = std::filesystem;

namespace {

const char entryName[] = "uninstall.exe";

// Windows file names match in any letter case.
bool isEntryName(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name == entryName;
}

}  // namespace

fs::path defaultUninstaller(const fs::path& stub) {
  return stub.parent_path() / entryName;
}

void addUninstaller(Manifest& manifest, const fs::path& uninstaller) {
  if (!manifest.uninstaller) return;
  const std::string& at = manifest.uninstallerAt;
  ManifestComponent* carrier = nullptr;
  for (ManifestComponent& c : manifest.components) {
    if (!carrier && (c.flags & componentRequired)) carrier = &c;
    for (const ManifestFile& f : c.files)
      if (isEntryName(f.name))
        throw BuildError(at + ": uninstaller = true, but component \"" + c.name +
                         "\" already has a file named " + f.name);
  }
  if (!carrier)
    throw BuildError(at + ": uninstaller = true needs a required component to carry " + entryName);
  std::error_code ec;
  if (!fs::is_regular_file(uninstaller, ec))
    throw BuildError("missing uninstaller " + uninstaller.string() +
                     " (build the win32 flavour, or pass --uninstaller)");
  carrier->files.push_back({entryName, uninstaller});
  if (!manifest.uninstallShortcut.empty())
    carrier->shortcuts.push_back({std::string("%PROGRAMDIR%\\") + entryName, "", "%PROGRAMDIR%",
                                  manifest.uninstallShortcut});
}

}  // namespace qzpack
