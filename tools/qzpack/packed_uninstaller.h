// The uninstall.exe a package carries, made ready to pack: with its package's branding
// (execution level, icon, version information) and, given a command, signed. Both happen in
// temporary files beside the output, removed again when the object goes away.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "manifest.h"

namespace qzpack {

class PackedUninstaller {
 public:
  // With manifest.uninstaller set, points its entry at the prepared file when there is anything
  // to do. signCommand: run on the branded file, {in} and {out} replaced by quoted paths; empty
  // for none. Throws BuildError, with the command's output when it fails.
  PackedUninstaller(Manifest& manifest, const std::filesystem::path& output,
                    const std::string& signCommand);
  ~PackedUninstaller();
  PackedUninstaller(const PackedUninstaller&) = delete;
  PackedUninstaller& operator=(const PackedUninstaller&) = delete;

 private:
  void prepare(Manifest& manifest, const std::filesystem::path& output,
               const std::string& signCommand);
  void removeTemporaries();
  std::vector<std::filesystem::path> temporaries_;
};

// The command with each {in} and {out} replaced by the quoted path.
std::string signingCommand(const std::string& pattern, const std::filesystem::path& in,
                           const std::filesystem::path& out);

}  // namespace qzpack
