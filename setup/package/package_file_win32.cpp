#include <windows.h>

#include "package/package_file.h"

namespace {

HANDLE handleOf(PackageFile file) {
  return reinterpret_cast<HANDLE>(file.handle);
}

}  // namespace

PackageFile openPackageFile(const char* path) {
  HANDLE handle =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  return PackageFile{reinterpret_cast<intptr_t>(handle)};
}

bool isOpen(PackageFile file) {
  return handleOf(file) != INVALID_HANDLE_VALUE;
}

void closePackageFile(PackageFile file) {
  if (isOpen(file)) CloseHandle(handleOf(file));
}

int64_t packageFileSize(PackageFile file) {
  DWORD high, low = GetFileSize(handleOf(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
  return int64_t{high} << 32 | low;
}

// Each read names its offset: two threads may read the one handle at once.
int32_t readPackageAt(PackageFile file, uint32_t offset, void* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    OVERLAPPED at = {};
    at.Offset = offset + uint32_t(done);
    DWORD got;
    if (!ReadFile(handleOf(file), static_cast<char*>(buffer) + done, DWORD(count - done), &got,
                  &at) ||
        got == 0)
      break;
    done += int32_t(got);
  }
  return done;
}
