// makeDirectories and passesLink for the native build, which runs the installation run in tests
// on Linux: there a backslash is part of a name, so only slashes part folders.
#include <string.h>
#include <sys/stat.h>

#include "directories.h"

void makeDirectories(const char* path) {
  if (!path) return;
  char folder[261];
  size_t length = strlen(path);
  if (length >= sizeof folder) return;
  memcpy(folder, path, length + 1);
  for (size_t i = 1; i < length; ++i) {
    if (folder[i] != '/') continue;
    folder[i] = 0;
    mkdir(folder, 0777);  // one that is there already, or cannot be made, is passed over
    folder[i] = '/';
  }
}

bool passesLink(const char* path, size_t from) {
  char prefix[261];
  size_t length = strlen(path);
  if (length >= sizeof prefix) return false;
  memcpy(prefix, path, length + 1);
  for (size_t end = from; end <= length; ++end) {
    if (end < length && path[end] != '/') continue;
    prefix[end] = 0;
    struct stat status;
    bool link = end > from && lstat(prefix, &status) == 0 && S_ISLNK(status.st_mode);
    prefix[end] = path[end];
    if (link) return true;
  }
  return false;
}
