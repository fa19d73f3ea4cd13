#include "host_files.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "build_error.h"

namespace qzpack {

namespace fs = std::filesystem;

std::string displayPath(const fs::path& path) {
  return path.u8string();
}

File openFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  // The narrow fopen takes the ANSI code page, which cannot name every file.
  std::wstring wide(mode, mode + std::strlen(mode));
  return File(_wfopen(path.c_str(), wide.c_str()));
#else
  return File(std::fopen(path.c_str(), mode));
#endif
}

bool seekFile(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

namespace {

// A new file beside near under a name no other build picks; name receives it.
File createTemporary(const fs::path& near, fs::path& name) {
  std::random_device random;
  name = near;
  name += ".qzpack-" + std::to_string(random()) + ".tmp";
  File file = openFile(name, "wb+");
  if (!file) throw BuildError("cannot create " + displayPath(near) + ": " + std::strerror(errno));
  return file;
}

void discard(File& file, const fs::path& name) {
  if (!file) return;
  file.reset();
  std::error_code ec;
  fs::remove(name, ec);
}

}  // namespace

PendingOutput::PendingOutput(const fs::path& output)
    : output_(output), file_(createTemporary(output, temp_)) {}

PendingOutput::~PendingOutput() {
  discard(file_, temp_);
}

void PendingOutput::write(const void* data, size_t size) {
  if (size && std::fwrite(data, 1, size, file_.get()) != size) fail("cannot write");
}

void PendingOutput::writeAt(uint64_t offset, const std::vector<unsigned char>& bytes) {
  if (!seekFile(file_.get(), offset)) fail("cannot seek in");
  write(bytes.data(), bytes.size());
  std::fseek(file_.get(), 0, SEEK_END);
}

void PendingOutput::commit() {
  if (std::fflush(file_.get()) != 0 || std::ferror(file_.get())) fail("cannot write");
  std::FILE* f = file_.release();
  if (std::fclose(f) != 0) {
    std::error_code ec;
    fs::remove(temp_, ec);
    throw BuildError("cannot write " + displayPath(output_));
  }
  std::error_code ec;
  fs::rename(temp_, output_, ec);
  if (ec) {
    fs::remove(temp_, ec);
    throw BuildError("cannot create " + displayPath(output_) + ": " + ec.message());
  }
}

void PendingOutput::fail(const char* what) const {
  throw BuildError(std::string(what) + " " + displayPath(output_) + ": " + std::strerror(errno));
}

SpillFile::SpillFile(const fs::path& near) : file_(createTemporary(near, path_)) {}

SpillFile::~SpillFile() {
  discard(file_, path_);
}

void SpillFile::append(const void* data, size_t size) {
  if (size && std::fwrite(data, 1, size, file_.get()) != size) fail("cannot write");
  size_ += size;
}

void SpillFile::flush() {
  if (std::fflush(file_.get()) != 0) fail("cannot write");
}

void SpillFile::copyTo(PendingOutput& out, uint64_t offset, uint64_t length) const {
  File in = openFile(path_, "rb");
  if (!in || !seekFile(in.get(), offset)) fail("cannot read");
  std::vector<char> buffer(1 << 16);
  while (length > 0) {
    size_t want = length < buffer.size() ? static_cast<size_t>(length) : buffer.size();
    if (std::fread(buffer.data(), 1, want, in.get()) != want) fail("cannot read");
    out.write(buffer.data(), want);
    length -= want;
  }
}

void SpillFile::fail(const char* what) const {
  throw BuildError(std::string(what) + " temporary file " + displayPath(path_) + ": " +
                   std::strerror(errno));
}

}  // namespace qzpack
