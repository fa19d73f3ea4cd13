// Creating the folders of a path, and looking for links on it (Win32 in directories.cpp; the
// native build's form, for tests of the run on Linux, in directories_posix.cpp).
#pragma once
#include <stddef.h>

// Backslash, or the slash that Windows takes for one.
inline bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

// Whether path holds a separator, so that it names a folder before its last part.
inline bool hasFolderPart(const char* path) {
  for (; *path; ++path)
    if (isSeparator(*path)) return true;
  return false;
}

// Creates every directory named in path before its last separator (backslash or slash),
// entering each from the drive root (C:\...), the share of a network path (\\server\share\...)
// or the current directory. Errors are not reported: the run finds out when it opens a file.
// The process's working directory is the same afterwards.
void makeDirectories(const char* path);

// Whether a folder or file that path names after its first `from` characters exists as a
// reparse point (a junction or a symbolic link), which would lead a write through it elsewhere.
// "." and ".." are passed over: they name folders judged before them.
bool passesLink(const char* path, size_t from);
