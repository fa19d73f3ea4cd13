// Files on the host: a closing handle, and output written under a temporary name and moved to its
// final name only when complete.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace qzpack {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// fopen for a path that may hold any character the host's file names can.
File openFile(const std::filesystem::path& path, const char* mode);

// The output is written under a temporary name beside the target and renamed into place only
// when complete, so a failure leaves nothing behind. Faults throw BuildError.
class PendingOutput {
 public:
  explicit PendingOutput(const std::filesystem::path& output);
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  void write(const void* data, size_t size);
  void writeAt(uint64_t offset, const std::vector<unsigned char>& bytes);
  // Moves the file to its final name, replacing what is there.
  void commit();

 private:
  [[noreturn]] void fail(const char* what) const;
  std::filesystem::path output_, temp_;
  File file_;
};

}  // namespace qzpack
