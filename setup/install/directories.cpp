#include "directories.h"

#include <direct.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

// Length of a network path's root "\\server\share\", or 0 when path is not one. The server
// and share cannot be created, only entered.
size_t networkRootLength(const char* path) {
  if (!isSeparator(path[0]) || !isSeparator(path[1])) return 0;
  size_t i = 2;
  for (int part = 0; part < 2; ++part) {
    while (path[i] && !isSeparator(path[i])) ++i;
    if (!path[i]) return 0;  // no folder below the share
    ++i;
  }
  return i;
}

// Whether the folder before path's last separator is there already, so that the walk would
// create nothing; it enters every folder on the way, and each change of the working folder is
// a round trip to the server under Wine. A ".." may pass through folders the walk would make.
bool folderExists(const char* path) {
  char folder[261];
  size_t end = 0;
  for (size_t i = 0; path[i]; ++i)
    if (isSeparator(path[i])) end = i;
  if (end == 0 || end >= sizeof folder || strstr(path, "..")) return false;
  memcpy(folder, path, end);
  folder[end] = 0;
  DWORD attributes = GetFileAttributesA(folder);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void makeDirectories(const char* path) {
  if (!path || !path[0] || folderExists(path)) return;
  char* remembered = _getcwd(nullptr, 0);
  size_t start = 0;
  char component[261];
  if (size_t root = networkRootLength(path)) {
    if (root < sizeof component) {
      memcpy(component, path, root);
      component[root] = 0;
      start = _chdir(component) == 0 ? root : strlen(path);  // an unreachable share: nothing to do
    } else {
      start = strlen(path);
    }
  } else if (path[1] == ':') {
    char root[4] = {path[0], ':', '\\', 0};
    _chdir(root);
  }
  size_t length = 0;
  for (const char* p = path + start; *p; ++p) {
    if (!isSeparator(*p)) {
      if (length < sizeof component - 1) component[length++] = *p;
      continue;
    }
    component[length] = 0;
    length = 0;
    // The drive's own component ("C:") enters the root set above; any other is entered, or made
    // and entered. A component that can be neither is passed over.
    if (_chdir(component) != 0 && _mkdir(component) == 0) _chdir(component);
  }
  if (remembered) {
    _chdir(remembered);
    free(remembered);
  }
}

bool passesLink(const char* path, size_t from) {
  char prefix[261];
  size_t length = strlen(path);
  if (length >= sizeof prefix) return false;  // such a path is refused before it is used
  memcpy(prefix, path, length + 1);
  for (size_t start = from, end = from; end <= length; ++end) {
    if (end < length && !isSeparator(path[end])) continue;
    size_t n = end - start;
    bool dots = n && n <= 2 && path[start] == '.' && path[end - 1] == '.';
    start = end + 1;
    if (!n || dots) continue;
    prefix[end] = 0;
    DWORD attributes = GetFileAttributesA(prefix);
    prefix[end] = path[end];
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return true;
  }
  return false;
}
