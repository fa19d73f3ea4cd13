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

// The folder a path lies in, held as the path names it.
HeldFolder folderOf(const fs::path& path) {
  fs::path folder = path.parent_path();
  HeldFolder held;
  std::string fault = holdFolder(folder.empty() ? fs::path(".") : folder, {}, held);
  if (!fault.empty()) throw BuildError(fault);
  return held;
}

// A new file in folder, beside near, under a name no other build picks (another is tried should
// one be there); name receives it.
File createTemporary(const HeldFolder& folder, const fs::path& near, fs::path& name) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = near.filename();
    name += ".qzpack-" + std::to_string(random()) + ".tmp";
    if (File file{createNewFile(folder, name)}) return file;
    if (errno != EEXIST) break;
  }
  throw BuildError("cannot create " + displayPath(near) + ": " + std::strerror(errno));
}

void discard(File& file, const HeldFolder& folder, const fs::path& name) {
  if (!file) return;
  file.reset();
  removeInFolder(folder, name);
}

// Makes the missing folders of path's folder; the outermost one made, or empty.
fs::path makeFoldersFor(const fs::path& path) {
  fs::path folder = fs::absolute(path).parent_path(), outermost;
  std::error_code ec;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    outermost = p;
    if (p == p.parent_path()) break;
  }
  if (!outermost.empty() && !fs::create_directories(folder, ec))
    throw BuildError("cannot make the folder " + displayPath(folder) + ": " + ec.message());
  return outermost;
}

}  // namespace

PendingOutput::PendingOutput(const fs::path& output)
    : madeFolder_(makeFoldersFor(output)),
      folder_(folderOf(output)),
      output_(output),
      name_(output.filename()),
      file_(createTemporary(folder_, output, temp_)) {}

PendingOutput::PendingOutput(HeldFolder folder, const fs::path& name)
    : folder_(std::move(folder)),
      output_(folder_.path / name),
      name_(name),
      file_(createTemporary(folder_, output_, temp_)) {}

PendingOutput::~PendingOutput() {
  discard(file_, folder_, temp_);
  if (committed_ || madeFolder_.empty()) return;
  // Only the folders made here, and only while they are empty.
  std::error_code ec;
  for (fs::path p = fs::absolute(output_).parent_path(); fs::remove(p, ec) && p != madeFolder_;)
    p = p.parent_path();
}

void PendingOutput::write(const void* data, size_t size) {
  if (size && std::fwrite(data, 1, size, file_.get()) != size) fail("cannot write");
}

void PendingOutput::writeAt(uint64_t offset, const std::vector<unsigned char>& bytes) {
  if (!seekFile(file_.get(), offset)) fail("cannot seek in");
  write(bytes.data(), bytes.size());
  std::fseek(file_.get(), 0, SEEK_END);
}

void PendingOutput::commit(bool replace) {
  if (std::fflush(file_.get()) != 0 || std::ferror(file_.get())) fail("cannot write");
  std::FILE* f = file_.release();
  if (std::fclose(f) != 0) {
    removeInFolder(folder_, temp_);
    throw BuildError("cannot write " + displayPath(output_));
  }
  if (!renameInFolder(folder_, temp_, name_, replace)) {
    int error = errno;
    removeInFolder(folder_, temp_);
    throw BuildError("cannot create " + displayPath(output_) + ": " + std::strerror(error));
  }
  committed_ = true;
}

void PendingOutput::fail(const char* what) const {
  throw BuildError(std::string(what) + " " + displayPath(output_) + ": " + std::strerror(errno));
}

SpillFile::SpillFile(const fs::path& near) : folder_(folderOf(near)) {
  fs::path name;
  file_ = createTemporary(folder_, near, name);
  path_ = near.parent_path() / name;
}

SpillFile::~SpillFile() {
  discard(file_, folder_, path_.filename());
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
