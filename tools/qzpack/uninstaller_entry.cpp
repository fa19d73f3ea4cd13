#include "uninstaller_entry.h"

#include "host_files.h"
#include "package/format.h"
#include "windows_names.h"

namespace qzpack {

namespace fs = std::filesystem;

namespace {

const char entryName[] = "uninstall.exe";

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
      if (foldCase(f.name, manifest.encoding) == foldCase(entryName, manifest.encoding))
        throw BuildError(at + ": uninstaller = true, but component \"" + fromPackage(c.name, manifest.encoding) +
                         "\" already has a file named " + fromPackage(f.name, manifest.encoding));
  }
  if (!carrier)
    throw BuildError(at + ": uninstaller = true needs a required component to carry " + entryName);
  std::error_code ec;
  if (!fs::is_regular_file(uninstaller, ec))
    throw BuildError("missing uninstaller " + displayPath(uninstaller) +
                     " (build the win32 flavour, or pass --uninstaller)");
  carrier->files.push_back({entryName, uninstaller});
  if (!manifest.uninstallShortcut.empty())
    carrier->shortcuts.push_back({std::string("%PROGRAMDIR%\\") + entryName, "", "%PROGRAMDIR%",
                                  manifest.uninstallShortcut});
}

}  // namespace qzpack
