// Files and folders for tests: a scratch folder per test, whole-file reads and writes, and
// packages made with the packager's own code.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

using Bytes = std::vector<unsigned char>;

// A fresh, empty folder removed again when the object goes away.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const Bytes& bytes);
void writeFile(const std::filesystem::path& path, const std::string& text);
Bytes readFile(const std::filesystem::path& path);
Bytes bytesOf(const std::string& text);

// A minimal PE-shaped stub: "MZ", the PE header at peOffset, "PE\0\0" there, and an optional
// header with its 16 data directories, all empty.
Bytes fakeStub(uint32_t peOffset = 128, size_t size = 512);

// Points the security data directory of a stub made by fakeStub (or of a package built on one)
// at a certificate table: what a signer does.
void setCertificateTable(Bytes& file, uint32_t offset, uint32_t size);

// A path of the build machine as this test program sees it: under Wine the host's root is drive
// Z:.
std::filesystem::path hostPath(const std::string& path);

// Little-endian 32-bit value and NUL-terminated string appended to bytes.
void putU32(Bytes& bytes, uint32_t value);
// The little-endian 32-bit value at bytes[at].
uint32_t getU32(const Bytes& bytes, size_t at);
void putString(Bytes& bytes, const std::string& text);

// An install log's records: type (1 a file, 2 a shortcut) and path; and the log's bytes for them.
using LogRecords = std::vector<std::pair<int, std::string>>;
Bytes logOf(const LogRecords& records);
// The records of the install log file at path.
LogRecords logRecords(const std::filesystem::path& log);

// Writes manifest text into folder/manifest.toml and builds folder/package.exe from it with the
// given stub, or a fake one, and the given uninstall.exe, or the one beside the stub; returns the
// package path. Throws on a build error.
std::filesystem::path buildPackage(const ScratchFolder& folder, const std::string& manifest,
                                   const std::filesystem::path& stub = {},
                                   const std::filesystem::path& uninstaller = {});

// An icon file (.ico) with one 32-bit bitmap image of each size, square.
Bytes iconFile(const std::vector<unsigned>& sizes);

// What patching a finished package does: every occurrence of text in bytes replaced by another
// of the same length (a name in the header and in the archive directory alike).
void replaceAll(Bytes& bytes, const std::string& text, const std::string& by);

// Deterministic bytes of a given length that compress to varying degrees.
Bytes mixedBytes(size_t length, uint32_t seed);

}  // namespace testing_support
