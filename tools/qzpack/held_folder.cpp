#include "held_folder.h"

#include <cerrno>
#include <cstring>

#include "host_files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qzpack {

namespace fs = std::filesystem;

HeldFolder::HeldFolder(HeldFolder&& other) noexcept {
  *this = std::move(other);
}

namespace {

std::string linkFault(const fs::path& path) {
  return displayPath(path) + " is a symbolic link; it is not followed";
}

std::string fileFault(const fs::path& path) {
  return displayPath(path) + " is a file where a folder is needed";
}

}  // namespace

#ifdef _WIN32

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
  std::swap(path, other.path);
  std::swap(handles, other.handles);
  return *this;
}

HeldFolder::~HeldFolder() {
  for (void* handle : handles) CloseHandle(handle);
}

namespace {

// errno for the messages, from the last Windows error.
void setErrno() {
  DWORD error = GetLastError();
  errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST
          : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
          : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND  ? ENOENT
                                                                             : EIO;
}

// Opens a folder without delete sharing; a reparse point is opened itself unless follow is set.
HANDLE openFolder(const fs::path& path, bool follow) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, flags, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

std::string holdAt(HeldFolder& held, const fs::path& path, bool follow) {
  HANDLE handle = openFolder(path, follow);
  DWORD error = GetLastError();
  if (!handle && !follow && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      setErrno();
      return "cannot create " + displayPath(path) + ": " + std::strerror(errno);
    }
    handle = openFolder(path, follow);
  }
  if (!handle) {
    setErrno();
    return "cannot open " + displayPath(path) + ": " + std::strerror(errno);
  }
  held.handles.push_back(handle);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info))
    return "cannot open " + displayPath(path) + ": " + std::strerror(EIO);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return linkFault(path);
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return fileFault(path);
  held.path = path;
  return {};
}

std::string holdStart(HeldFolder& held, const fs::path& start) {
  return holdAt(held, start, true);
}

std::string holdStep(HeldFolder& held, const fs::path& name) {
  return holdAt(held, held.path / name, false);
}

}  // namespace

std::FILE* createNewFile(const HeldFolder& folder, const fs::path& name) {
  HANDLE handle = CreateFileW((folder.path / name).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    setErrno();
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (fd == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "w+b");
  if (!file) _close(fd);
  return file;
}

bool renameInFolder(const HeldFolder& folder, const fs::path& from, const fs::path& to,
                    bool replace) {
  // A link at to is replaced itself, never followed.
  if (MoveFileExW((folder.path / from).c_str(), (folder.path / to).c_str(),
                  replace ? MOVEFILE_REPLACE_EXISTING : 0))
    return true;
  setErrno();
  return false;
}

void removeInFolder(const HeldFolder& folder, const fs::path& name) {
  DeleteFileW((folder.path / name).c_str());
}

bool isLinkInFolder(const HeldFolder& folder, const fs::path& name) {
  DWORD attributes = GetFileAttributesW((folder.path / name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

#else

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
  std::swap(path, other.path);
  std::swap(fd, other.fd);
  return *this;
}

HeldFolder::~HeldFolder() {
  if (fd >= 0) close(fd);
}

namespace {

// The folder name below held, made if missing and never reached through a link.
std::string holdStep(HeldFolder& held, const fs::path& name) {
  fs::path path = held.path / name;
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int next = openat(held.fd, name.c_str(), flags);
  if (next < 0 && errno == ENOENT) {
    if (mkdirat(held.fd, name.c_str(), 0777) != 0 && errno != EEXIST)
      return "cannot create " + displayPath(path) + ": " + std::strerror(errno);
    next = openat(held.fd, name.c_str(), flags);
  }
  if (next < 0) {
    int error = errno;
    struct stat status;
    if (fstatat(held.fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(status.st_mode)) return linkFault(path);
      if (!S_ISDIR(status.st_mode)) return fileFault(path);
    }
    return "cannot open " + displayPath(path) + ": " + std::strerror(error);
  }
  close(held.fd);
  held.fd = next;
  held.path = path;
  return {};
}

std::string holdStart(HeldFolder& held, const fs::path& start) {
  held.fd = open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (held.fd < 0) return "cannot open " + displayPath(start) + ": " + std::strerror(errno);
  held.path = start;
  return {};
}

}  // namespace

std::FILE* createNewFile(const HeldFolder& folder, const fs::path& name) {
  int fd = openat(folder.fd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "w+b");
  if (!file) close(fd);
  return file;
}

bool renameInFolder(const HeldFolder& folder, const fs::path& from, const fs::path& to,
                    bool replace) {
  // A link at to is replaced itself, never followed.
  if (replace) return renameat(folder.fd, from.c_str(), folder.fd, to.c_str()) == 0;
  if (renameat2(folder.fd, from.c_str(), folder.fd, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: checked just before.
  struct stat status;
  if (fstatat(folder.fd, to.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  return renameat(folder.fd, from.c_str(), folder.fd, to.c_str()) == 0;
}

void removeInFolder(const HeldFolder& folder, const fs::path& name) {
  unlinkat(folder.fd, name.c_str(), 0);
}

bool isLinkInFolder(const HeldFolder& folder, const fs::path& name) {
  struct stat status;
  return fstatat(folder.fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(status.st_mode);
}

#endif

std::string holdFolder(const fs::path& start, const std::vector<fs::path>& names,
                       HeldFolder& held) {
  held = HeldFolder();
  std::string fault = holdStart(held, start);
  for (size_t i = 0; fault.empty() && i < names.size(); ++i) fault = holdStep(held, names[i]);
  return fault;
}

}  // namespace qzpack
