#include "host_files.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "manifest.h"

namespace qzpack {

namespace fs = std::filesystem;

File openFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  // The narrow fopen takes the ANSI code page, which cannot name every file.
  std::wstring wide(mode, mode + std::strlen(mode));
  return File(_wfopen(path.c_str(), wide.c_str()));
#else
  return File(std::fopen(path.c_str(), mode));
#endif
}

PendingOutput::PendingOutput(const fs::path& output) : output_(output) {
  std::random_device random;
  temp_ = output;
  temp_ += ".qzpack-" + std::to_string(random()) + ".tmp";
  file_ = openFile(temp_, "wb+");
  if (!file_) throw BuildError("cannot create " + output.string() + ": " + std::strerror(errno));
}

PendingOutput::~PendingOutput() {
  if (file_) {
    file_.reset();
    std::error_code ec;
    fs::remove(temp_, ec);
  }
}

void PendingOutput::write(const void* data, size_t size) {
  if (size && std::fwrite(data, 1, size, file_.get()) != size) fail("cannot write");
}

void PendingOutput::writeAt(uint64_t offset, const std::vector<unsigned char>& bytes) {
  if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) fail("cannot seek in");
  write(bytes.data(), bytes.size());
  std::fseek(file_.get(), 0, SEEK_END);
}

void PendingOutput::commit() {
  if (std::fflush(file_.get()) != 0 || std::ferror(file_.get())) fail("cannot write");
  std::FILE* f = file_.release();
  if (std::fclose(f) != 0) {
    std::error_code ec;
    fs::remove(temp_, ec);
    throw BuildError("cannot write " + output_.string());
  }
  std::error_code ec;
  fs::rename(temp_, output_, ec);
  if (ec) {
    fs::remove(temp_, ec);
    throw BuildError("cannot create " + output_.string() + ": " + ec.message());
  }
}

void PendingOutput::fail(const char* what) const {
  throw BuildError(std::string(what) + " " + output_.string() + ": " + std::strerror(errno));
}

}  // namespace qzpack
