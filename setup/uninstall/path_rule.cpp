#include "path_rule.h"

#include <wchar.h>

namespace {

bool isSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

wchar_t foldAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

// A name Windows would not keep as written (trailing dots and spaces are dropped, ':' opens a
// stream) or could not hold.
bool isPlainName(const wchar_t* name, size_t length) {
  if (name[length - 1] == L'.' || name[length - 1] == L' ') return false;
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = name[i];
    if (c < 32 || wcschr(L":*?\"<>|", c)) return false;
  }
  return true;
}

struct Builder {
  wchar_t* out;
  size_t size, length;
  bool add(const wchar_t* text, size_t count) {
    if (length + count >= size) return false;
    wmemcpy(out + length, text, count);
    length += count;
    return true;
  }
};

// Length of a network root's "server" or "share" name at text; 0 when it is missing or is one
// that makes the path a device or "\\?\" path.
size_t rootName(const wchar_t* text) {
  size_t length = 0;
  while (text[length] && !isSeparator(text[length])) ++length;
  if (length == 0 || !isPlainName(text, length)) return 0;
  if (text[0] == L'.' && (length == 1 || (length == 2 && text[1] == L'.'))) return 0;
  return length;
}

// Writes the root ("C:" or "\\server\share") and returns where the names start in path, or 0.
size_t writeRoot(const wchar_t* path, Builder* b) {
  wchar_t letter = foldAscii(path[0]);
  if (letter >= L'a' && letter <= L'z' && path[1] == L':' && isSeparator(path[2]))
    return b->add(path, 2) ? 3 : 0;
  if (!isSeparator(path[0]) || !isSeparator(path[1])) return 0;
  size_t server = rootName(path + 2);
  if (!server || !isSeparator(path[2 + server])) return 0;
  size_t share = rootName(path + 3 + server);
  if (!share || !b->add(L"\\\\", 2) || !b->add(path + 2, server) || !b->add(L"\\", 1) ||
      !b->add(path + 3 + server, share))
    return 0;
  return 3 + server + share;
}

}  // namespace

bool normalisePath(const wchar_t* path, wchar_t* out, size_t outSize) {
  Builder b{out, outSize, 0};
  size_t i = writeRoot(path, &b);
  if (!i) return false;
  const size_t root = b.length;
  while (path[i]) {
    if (isSeparator(path[i])) {
      ++i;
      continue;
    }
    size_t length = 0;
    while (path[i + length] && !isSeparator(path[i + length])) ++length;
    const wchar_t* name = path + i;
    i += length;
    if (length == 1 && name[0] == L'.') continue;
    if (length == 2 && name[0] == L'.' && name[1] == L'.') {
      if (b.length == root) return false;
      while (out[--b.length] != L'\\') {
      }
      continue;
    }
    if (!isPlainName(name, length) || !b.add(L"\\", 1) || !b.add(name, length)) return false;
  }
  if (b.length == root && out[0] != L'\\' && !b.add(L"\\", 1)) return false;
  out[b.length] = 0;
  return true;
}

bool sameText(const wchar_t* a, const wchar_t* b, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  return true;
}

size_t rootLength(const wchar_t* path) {
  if (path[0] != L'\\') return 3;
  size_t length = 2;
  for (int part = 0; part < 2; ++part) {
    if (part) ++length;
    while (path[length] && path[length] != L'\\') ++length;
  }
  return length;
}

bool isRoot(const wchar_t* path) {
  return wcslen(path) <= rootLength(path);
}

bool samePath(const wchar_t* a, const wchar_t* b) {
  size_t length = wcslen(a);
  return length == wcslen(b) && sameText(a, b, length);
}

bool pathInside(const wchar_t* path, const wchar_t* folder) {
  size_t length = wcslen(folder);
  if (wcslen(path) <= length || !sameText(path, folder, length)) return false;
  return folder[length - 1] == L'\\' || path[length] == L'\\';
}

bool cutLastName(wchar_t* path) {
  if (isRoot(path)) return false;
  size_t root = rootLength(path);
  wchar_t* last = wcsrchr(path, L'\\');
  // A name right below a drive root keeps the root's separator.
  last[static_cast<size_t>(last - path) < root ? 1 : 0] = 0;
  return true;
}

bool isLinkName(const wchar_t* path) {
  size_t length = wcslen(path);
  return length > 4 && path[length - 5] != L'\\' && sameText(path + length - 4, L".lnk", 4);
}
