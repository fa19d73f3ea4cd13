// Files on the host: their paths in messages, a closing handle, and output written under a
// temporary name and moved to its final name only when complete.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "held_folder.h"

namespace qzpack {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A host path for messages, in UTF-8.
std::string displayPath(const std::filesystem::path& path);

// fopen for a path that may hold any character the host's file names can.
File openFile(const std::filesystem::path& path, const char* mode);

// fseek to an offset that may lie past 2 GiB, where long has 32 bits (Windows). True on success.
bool seekFile(std::FILE* file, uint64_t offset);

// The output is written under a temporary name beside the target and renamed into place only
// when complete, so a failure leaves nothing behind, nor the folders made for it where they were
// missing. The temporary file is always a new one, never made through a link, in the target's
// folder held open. Faults throw BuildError.
class PendingOutput {
 public:
  explicit PendingOutput(const std::filesystem::path& output);
  // The output name inside a folder already held.
  PendingOutput(HeldFolder folder, const std::filesystem::path& name);
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  void write(const void* data, size_t size);
  void writeAt(uint64_t offset, const std::vector<unsigned char>& bytes);
  // Moves the file to its final name, replacing what is there only when replace is set (a link
  // there is replaced, never followed).
  void commit(bool replace = true);
  const std::filesystem::path& target() const { return output_; }
  const HeldFolder& folder() const { return folder_; }

 private:
  [[noreturn]] void fail(const char* what) const;
  std::filesystem::path madeFolder_;  // the outermost folder made for the output; empty if none
  HeldFolder folder_;
  std::filesystem::path output_, name_, temp_;  // temp_ and name_ inside folder_
  File file_;
  bool committed_ = false;
};

// Scratch space for data on its way to an output: a temporary file beside it, appended to by one
// writer, read back by offset through handles of its own, and removed when the object goes away.
// Faults throw BuildError.
class SpillFile {
 public:
  explicit SpillFile(const std::filesystem::path& near);
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  void append(const void* data, size_t size);
  // Makes what was appended visible to readers.
  void flush();
  uint64_t size() const { return size_; }
  // Copies length bytes from offset to out; safe while another thread appends.
  void copyTo(PendingOutput& out, uint64_t offset, uint64_t length) const;

 private:
  [[noreturn]] void fail(const char* what) const;
  HeldFolder folder_;
  std::filesystem::path path_;
  File file_;
  uint64_t size_ = 0;
};

}  // namespace qzpack
