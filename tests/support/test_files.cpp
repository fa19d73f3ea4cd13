#include "test_files.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

#include "manifest.h"
#include "package_writer.h"
#include "packed_uninstaller.h"
#include "uninstaller_entry.h"

namespace fs = std::filesystem;

namespace testing_support {

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  path_ = fs::temp_directory_path() /
          ("qz-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const fs::path& path, const std::string& text) {
  writeFile(path, bytesOf(text));
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes fakeStub(uint32_t peOffset, size_t size) {
  Bytes stub(size, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  for (int i = 0; i < 4; ++i) stub[0x3C + i] = static_cast<unsigned char>(peOffset >> (8 * i));
  if (peOffset + 4 <= size) {
    stub[peOffset] = 'P';
    stub[peOffset + 1] = 'E';
  }
  size_t optional = peOffset + 24;
  if (optional + 224 <= size) {
    stub[peOffset + 20] = 224;  // SizeOfOptionalHeader
    stub[optional] = 0x0B;      // PE32
    stub[optional + 1] = 0x01;
    stub[optional + 92] = 16;  // NumberOfRvaAndSizes
  }
  return stub;
}

void setCertificateTable(Bytes& file, uint32_t offset, uint32_t size) {
  size_t entry = getU32(file, 0x3C) + 24 + 96 + 4 * 8;
  for (int i = 0; i < 4; ++i) {
    file[entry + i] = static_cast<unsigned char>(offset >> (8 * i));
    file[entry + 4 + i] = static_cast<unsigned char>(size >> (8 * i));
  }
}

fs::path hostPath(const std::string& path) {
#ifdef _WIN32
  std::string windows = "Z:" + path;
  for (char& c : windows)
    if (c == '/') c = '\\';
  return windows;
#else
  return path;
#endif
}

void putU32(Bytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

uint32_t getU32(const Bytes& bytes, size_t at) {
  return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
         uint32_t{bytes.at(at + 3)} << 24;
}

void putString(Bytes& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.push_back(0);
}

Bytes logOf(const LogRecords& records) {
  Bytes bytes;
  for (const auto& [type, path] : records) {
    bytes.push_back(static_cast<unsigned char>(type));
    putString(bytes, path);
  }
  return bytes;
}

LogRecords logRecords(const fs::path& log) {
  LogRecords records;
  Bytes bytes = readFile(log);
  for (size_t at = 0; at < bytes.size();) {
    int type = bytes[at++];
    std::string path;
    while (at < bytes.size() && bytes[at]) path += static_cast<char>(bytes[at++]);
    ++at;
    records.emplace_back(type, path);
  }
  return records;
}

fs::path buildPackage(const ScratchFolder& folder, const std::string& manifest,
                      const fs::path& stub, const fs::path& uninstaller) {
  fs::path stubPath = stub.empty() ? folder / "stub.exe" : stub;
  if (stub.empty()) writeFile(stubPath, fakeStub());
  writeFile(folder / "manifest.toml", manifest);
  fs::path package = folder / "package.exe";
  qzpack::Manifest m = qzpack::readManifest(folder / "manifest.toml");
  qzpack::addUninstaller(m,
                         uninstaller.empty() ? qzpack::defaultUninstaller(stubPath) : uninstaller);
  qzpack::PackedUninstaller packed(m, package, "");
  qzpack::buildPackage(m, stubPath, package);
  return package;
}

Bytes iconFile(const std::vector<unsigned>& sizes) {
  Bytes images, directory{0, 0, 1, 0, static_cast<unsigned char>(sizes.size()), 0};
  for (unsigned size : sizes) {
    Bytes image;
    // BITMAPINFOHEADER: the height counts the colour rows and the mask's.
    for (uint32_t v : {40u, size, 2 * size, 1u | 32u << 16, 0u, 0u, 0u, 0u, 0u, 0u}) putU32(image, v);
    for (unsigned i = 0; i < size * size; ++i) putU32(image, 0xFF000000u | (i * 2654435761u >> 8));
    image.resize(image.size() + size * ((size + 31) / 32 * 4), 0);  // the mask: all opaque
    directory.push_back(static_cast<unsigned char>(size & 0xFF));
    directory.push_back(static_cast<unsigned char>(size & 0xFF));
    for (unsigned char b : {0, 0, 1, 0, 32, 0}) directory.push_back(b);
    putU32(directory, static_cast<uint32_t>(image.size()));
    putU32(directory, static_cast<uint32_t>(6 + 16 * sizes.size() + images.size()));
    images.insert(images.end(), image.begin(), image.end());
  }
  directory.insert(directory.end(), images.begin(), images.end());
  return directory;
}

void replaceAll(Bytes& bytes, const std::string& text, const std::string& by) {
  if (text.size() != by.size()) throw std::invalid_argument("replaceAll: lengths differ");
  for (auto at = bytes.begin();
       (at = std::search(at, bytes.end(), text.begin(), text.end())) != bytes.end();)
    at = std::copy(by.begin(), by.end(), at);
}

Bytes mixedBytes(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(length);
  // Runs of repeated bytes between stretches of noise: some blocks compress well, some not.
  for (size_t i = 0; i < length;) {
    size_t run = 1 + random() % 300;
    bool noise = random() % 2;
    unsigned char value = static_cast<unsigned char>(random());
    for (size_t k = 0; k < run && i < length; ++k, ++i)
      bytes[i] = noise ? static_cast<unsigned char>(random()) : value;
  }
  return bytes;
}

}  // namespace testing_support
