// uninstall.exe in a package: the file and its shortcut that the manifest key
// `uninstaller = true` adds.
#pragma once
#include <filesystem>

#include "manifest.h"

namespace qzpack {

// Where qzpack takes uninstall.exe from unless told: beside the stub.
std::filesystem::path defaultUninstaller(const std::filesystem::path& stub);

// With manifest.uninstaller set, adds uninstaller as the entry "uninstall.exe" of the first
// required component, and with uninstallShortcut a shortcut to it there too. Throws BuildError
// when no component is required, a payload file is already named uninstall.exe, or the
// uninstaller file is missing.
void addUninstaller(Manifest& manifest, const std::filesystem::path& uninstaller);

}  // namespace qzpack
