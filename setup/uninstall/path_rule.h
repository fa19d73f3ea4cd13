// The lexical half of deciding what the uninstaller may touch: paths brought to one normal form
// and compared. Portable but for canonicalPath, which asks the file system to expand short names.
#pragma once
#include <stddef.h>

enum { widePathSize = 1024 };  // room for any path the uninstaller handles, with its NUL

// Writes the normal form of path to out (outSize characters with the NUL): a drive path
// "X:\a\b" or a network path "\\server\share\a\b", '/' read as '\', doubled separators
// collapsed, "." dropped, ".." taking away the name before it, no trailing separator except on a
// drive root ("C:\"). False for anything else, since Windows may read it differently: relative
// and drive-relative paths, device and "\\?\" paths, ".." above the root, a name that ends in a
// dot or a space or holds one of : * ? " < > | or a control character, and a result that does
// not fit, counting the names a later ".." takes away (room for path itself always suffices).
bool normalisePath(const wchar_t* path, wchar_t* out, size_t outSize);

// Writes to out (widePathSize characters) the normal form of path with short names expanded on
// the part that exists; false where normalisePath is and when the expanded path does not fit.
// Windows only (canonical_path_win32.cpp).
bool canonicalPath(const wchar_t* path, wchar_t* out);

// Length of the root of a normal path: 3 for "C:\", that of "\\server\share" for a network path.
size_t rootLength(const wchar_t* path);
bool isRoot(const wchar_t* path);

// Whether two normal paths name the same place. ASCII letters match in either case; any other
// character must match exactly, so that a difference the file system might make is never
// taken for a match.
bool samePath(const wchar_t* a, const wchar_t* b);
// Whether the first length characters of a and b match, ASCII letters in either case.
bool sameText(const wchar_t* a, const wchar_t* b, size_t length);
// Whether normal path lies strictly inside normal folder.
bool pathInside(const wchar_t* path, const wchar_t* folder);

// Cuts the last name off a normal path, leaving its folder; false when path is a root.
bool cutLastName(wchar_t* path);
// Whether the path's name ends in ".lnk", in any letter case.
bool isLinkName(const wchar_t* path);
