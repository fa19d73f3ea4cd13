#include "packed_uninstaller.h"

#include <cstdio>
#include <fstream>
#include <random>

#include "branding.h"
#include "host_files.h"
#include "package_writer.h"

namespace qzpack {

namespace fs = std::filesystem;

namespace {

const char entryName[] = "uninstall.exe";

#ifdef _WIN32
std::string quote(const fs::path& path) {
  return "\"" + path.string() + "\"";
}
#define popen _popen
#define pclose _pclose
#else
std::string quote(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
#endif

ManifestFile* uninstallerEntry(Manifest& manifest) {
  for (ManifestComponent& c : manifest.components)
    for (ManifestFile& f : c.files)
      if (f.name == entryName) return &f;
  return nullptr;
}

std::vector<unsigned char> readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BuildError("cannot read " + displayPath(path));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw BuildError("cannot write " + displayPath(path));
}

// Runs a command, its output and errors gathered; false when it fails.
bool run(const std::string& command, std::string* output) {
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return false;
  char chunk[4096];
  while (size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output->append(chunk, got);
  return pclose(pipe) == 0;
}

}  // namespace

std::string signingCommand(const std::string& pattern, const fs::path& in, const fs::path& out) {
  std::string command;
  for (size_t i = 0; i < pattern.size();) {
    if (pattern.compare(i, 4, "{in}") == 0) {
      command += quote(in);
      i += 4;
    } else if (pattern.compare(i, 5, "{out}") == 0) {
      command += quote(out);
      i += 5;
    } else {
      command += pattern[i++];
    }
  }
  return command;
}

PackedUninstaller::PackedUninstaller(Manifest& manifest, const fs::path& output,
                                     const std::string& signCommand) {
  try {
    prepare(manifest, output, signCommand);
  } catch (...) {
    removeTemporaries();  // the destructor of an object not made does not run
    throw;
  }
}

void PackedUninstaller::prepare(Manifest& manifest, const fs::path& output,
                                const std::string& signCommand) {
  ManifestFile* entry = manifest.uninstaller ? uninstallerEntry(manifest) : nullptr;
  if (!entry) {
    if (!signCommand.empty())
      throw BuildError("--sign-command signs the package's uninstall.exe, but the manifest does "
                       "not ask for one (uninstaller = true)");
    return;
  }
  if (!changesExecutables(manifest.branding) && signCommand.empty()) return;
  std::string base = output.string() + ".qzpack-" + std::to_string(std::random_device()());
  fs::path branded = base + "-uninstall.exe", signedFile = base + "-uninstall-signed.exe";
  temporaries_ = {branded, signedFile};
  std::vector<unsigned char> bytes = readAll(entry->source);
  if (changesExecutables(manifest.branding)) {
    std::string title = fromPackage(manifest.title, manifest.encoding);
    bytes = brandExecutable(bytes, manifest.branding, title, title + " Uninstall", entryName,
                            "uninstaller " + displayPath(entry->source));
  }
  writeAll(branded, bytes);
  entry->source = branded;
  if (signCommand.empty()) return;
  std::string command = signingCommand(signCommand, branded, signedFile), said;
  std::error_code ec;
  if (!run(command, &said) || !fs::is_regular_file(signedFile, ec) || !fs::file_size(signedFile, ec))
    throw BuildError("--sign-command failed on uninstall.exe: " + command + "\n" + said);
  entry->source = signedFile;
}

PackedUninstaller::~PackedUninstaller() {
  removeTemporaries();
}

void PackedUninstaller::removeTemporaries() {
  for (const fs::path& path : temporaries_) {
    std::error_code ec;
    fs::remove(path, ec);
  }
}

}  // namespace qzpack
