// Fuzz target: two paths, the input split at its first '|' (which no valid path holds), each byte
// read as one UTF-16 unit. Each is normalised with room to spare, with the room of the path itself,
// with exactly the room of the result and with one character too few; the normal forms are then
// compared as the uninstaller compares them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <vector>

#include "uninstall/path_rule.h"

namespace {

void check(bool holds) {
  if (!holds) abort();
}

// The normal form of path in normal; false when it has none. Checks what any normal form must
// satisfy.
bool normalise(const std::vector<wchar_t>& path, wchar_t* normal) {
  if (!normalisePath(path.data(), normal, widePathSize)) return false;
  size_t length = wcslen(normal);
  // Buffers of exactly the room given, so that a write past them is caught. With the room of the
  // result alone, a name that a later ".." takes away may not fit: then it is refused.
  std::vector<wchar_t> asLong(wcslen(path.data()) + 1), exact(length + 1);
  check(normalisePath(path.data(), asLong.data(), asLong.size()));
  check(wcscmp(asLong.data(), normal) == 0);
  if (normalisePath(path.data(), exact.data(), exact.size()))
    check(wcscmp(exact.data(), normal) == 0);
  std::vector<wchar_t> tooSmall(length);
  check(!normalisePath(path.data(), tooSmall.data(), tooSmall.size()));
  // A normal form is its own normal form.
  wchar_t again[widePathSize];
  check(normalisePath(normal, again, widePathSize) && wcscmp(again, normal) == 0);
  check(samePath(normal, normal) && !pathInside(normal, normal));
  check(rootLength(normal) <= length && isRoot(normal) == (rootLength(normal) == length));
  wchar_t folder[widePathSize];
  wcscpy(folder, normal);
  check(cutLastName(folder) == !isRoot(normal));
  if (!isRoot(normal)) check(pathInside(normal, folder) && !pathInside(folder, normal));
  isLinkName(normal);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<wchar_t> paths[2];
  int which = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '|' && which == 0)
      which = 1;
    else
      paths[which].push_back(data[i]);
  }
  wchar_t a[widePathSize], b[widePathSize];
  paths[0].push_back(0);
  paths[1].push_back(0);
  if (!normalise(paths[0], a) || !normalise(paths[1], b)) return 0;
  check(samePath(a, b) == samePath(b, a));
  check(!(pathInside(a, b) && (pathInside(b, a) || samePath(a, b))));
  return 0;
}
