#include "package_branding.h"

#include "branding.h"
#include "host_files.h"
#include "build_error.h"
#include "package_access.h"

namespace qzpack {
namespace {

const char uninstallerName[] = "uninstall.exe";

// The stub's bytes: the file up to the setup header that bytes 96-99 point at.
std::vector<unsigned char> stubBytes(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"));
  unsigned char offset[4];
  if (!file || !seekFile(file.get(), 96) || std::fread(offset, 1, 4, file.get()) != 4) return {};
  uint32_t size = offset[0] | offset[1] << 8 | offset[2] << 16 | uint32_t{offset[3]} << 24;
  std::vector<unsigned char> bytes(size);
  if (!seekFile(file.get(), 0) || std::fread(bytes.data(), 1, size, file.get()) != size) return {};
  return bytes;
}

void report(const std::vector<unsigned char>& exe, const std::string& what, std::ostream& out,
            std::vector<std::string>& faults) {
  out << what << ":\n";
  try {
    reportBranding(exe, what, out);
  } catch (const BuildError& e) {
    faults.push_back(e.what());
  }
}

}  // namespace

Encoding packageEncoding(const std::string& path) {
  try {
    return asksForUtf8(stubBytes(path), "stub") ? Encoding::utf8 : Encoding::windows1252;
  } catch (const BuildError&) {
    return Encoding::windows1252;
  }
}

std::vector<std::string> reportPackageBranding(const std::string& path,
                                               const ArchiveReader& archive, std::ostream& out) {
  std::vector<std::string> faults;
  report(stubBytes(path), "stub", out, faults);
  uint32_t offset;
  int32_t size;
  if (!findEntry(&archive, uninstallerName, &offset, &size)) return faults;
  std::vector<unsigned char> bytes;
  uint64_t read = 0;
  std::string fault = readWholeEntry(
      archive, uninstallerName, Encoding::windows1252,  // an ASCII name
      [&](const char* data, size_t length) { bytes.insert(bytes.end(), data, data + length); },
      &read);
  if (fault.empty())
    report(bytes, uninstallerName, out, faults);
  return faults;
}

}  // namespace qzpack
