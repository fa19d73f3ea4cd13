// The path rule's form of a path as the file system knows it: short names expanded on the part
// that exists. Windows only: the expansion asks the file system.
#include <wchar.h>
#include <windows.h>

#include "path_rule.h"

bool canonicalPath(const wchar_t* path, wchar_t* out) {
  wchar_t normal[widePathSize], expanded[widePathSize];
  if (!normalisePath(path, normal, widePathSize)) return false;
  // Short names are expanded on the longest part of the path that exists; what follows is kept
  // as written (a short name there names nothing, so nothing can be reached through it).
  size_t root = rootLength(normal), kept = wcslen(normal);
  for (;;) {
    wchar_t c = normal[kept];
    normal[kept] = 0;
    DWORD length = GetLongPathNameW(normal, expanded, widePathSize);
    normal[kept] = c;
    if (length && length < widePathSize) break;
    while (kept > root && normal[kept - 1] != L'\\') --kept;
    if (kept <= root) {
      wmemcpy(expanded, normal, root);
      expanded[root] = 0;
      kept = root;
      break;
    }
    --kept;
  }
  size_t length = wcslen(expanded);
  if (length + wcslen(normal + kept) + 2 > widePathSize) return false;
  expanded[length] = L'\\';  // doubled separators are collapsed below
  lstrcpyW(expanded + length + 1, normal + kept);
  return normalisePath(expanded, out, widePathSize);
}
