// Fuzz target: any bytes as a manifest beside a small payload folder, read and checked by the
// packager, and a manifest that passes turned into setup header bytes. Only BuildError may come
// out; any other exception is a fault.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "manifest.h"
#include "package_writer.h"
#include "toml_parser.h"

namespace fs = std::filesystem;

namespace {

// The payload: a few files in folders, an empty one and a link.
fs::path makeFolder() {
  char name[] = "/tmp/fuzz_manifest.XXXXXX";
  if (!mkdtemp(name)) abort();
  fs::path folder = name;
  fs::create_directories(folder / "dir/sub");
  std::ofstream(folder / "a.txt") << "abc";
  std::ofstream(folder / "dir/b.bin") << std::string(3000, 'b');
  std::ofstream(folder / "dir/sub/c.dat");
  fs::create_symlink("a.txt", folder / "link.txt");
  return folder;
}

struct Payload {
  fs::path folder = makeFolder();
  ~Payload() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

// Whether a string the manifest holds could name something outside the payload folder, whose
// contents would then decide the run (a walk of "/" would also take minutes).
bool leavesFolder(const toml::node& node) {
  if (const auto* table = node.as_table()) {
    for (const auto& [key, value] : *table)
      if (leavesFolder(value)) return true;
  } else if (const auto* array = node.as_array()) {
    for (const toml::node& item : *array)
      if (leavesFolder(item)) return true;
  } else if (const auto* text = node.as_string()) {
    const std::string& s = text->get();
    return s.find("..") != std::string::npos || (!s.empty() && s[0] == '/');
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Payload payload;
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    if (leavesFolder(toml::parse(text))) return 0;
  } catch (const toml::parse_error&) {
    // The reader must report it too.
  }
  fs::path manifest = payload.folder / "manifest.toml";
  std::ofstream(manifest, std::ios::binary) << text;
  try {
    qzpack::Manifest m = qzpack::readManifest(manifest);
    qzpack::headerBytes(m, 0);
  } catch (const qzpack::BuildError&) {
  }
  return 0;
}
