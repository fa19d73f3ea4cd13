#include <windows.h>

#include "package/format.h"
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
  // An error (INVALID_FILE_SIZE) or a size past 2 GiB: no package either way.
  return high || low > maxPackageSize ? -1 : int64_t{low};
}

// Each read names its offset: two threads may read the one handle at once. A disk file gives
// fewer bytes than asked only at its end.
int32_t readPackageAt(PackageFile file, uint32_t offset, void* buffer, int32_t count) {
  OVERLAPPED at = {};
  at.Offset = offset;
  DWORD got;
  return ReadFile(handleOf(file), buffer, DWORD(count), &got, &at) ? int32_t(got) : 0;
}
