#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "package/package_file.h"

PackageFile openPackageFile(const char* path) {
  return PackageFile{open(path, O_RDONLY | O_CLOEXEC)};
}

bool isOpen(PackageFile file) {
  return file.handle >= 0;
}

void closePackageFile(PackageFile file) {
  if (isOpen(file)) close(int(file.handle));
}

int64_t packageFileSize(PackageFile file) {
  struct stat status;
  return fstat(int(file.handle), &status) == 0 ? int64_t{status.st_size} : -1;
}

int32_t readPackageAt(PackageFile file, uint32_t offset, void* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    ssize_t got = pread(int(file.handle), static_cast<char*>(buffer) + done, size_t(count - done),
                        off_t(offset) + done);
    if (got <= 0) break;
    done += int32_t(got);
  }
  return done;
}
