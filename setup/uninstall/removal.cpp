// What the uninstaller may remove, and removing it: a file only inside its own folder, a link
// (.lnk) only there or inside a folder that a path macro names; never through a junction or
// other reparse point; then the folders that the removals left empty.
#include <wchar.h>

#include "install/install_log.h"
#include "install/macros.h"
#include "package/services.h"
#include "uninstall/uninstall.h"

namespace {

enum { maxShellFolders = 24 };

enum Verdict {
  mayRemove,
  isOwnFile,  // uninstall.exe itself: the clean-up copy deletes it
  notAPath,
  outsideFolder,
  notALink,
  linkOutsideFolders,
  throughReparsePoint,
};

const wchar_t* const refusalReasons[] = {
    nullptr,
    nullptr,
    L"not a plain full path",
    L"outside the program folder",
    L"a shortcut record that does not name a .lnk file",
    L"outside the program folder and the folders the path macros name",
    L"it passes through a junction or another reparse point",
};

// The install folder first, then every folder a path macro names, in canonical form.
wchar_t shellFolders[maxShellFolders][widePathSize];
int shellFolderCount;
wchar_t folderParent[widePathSize];

void addShellFolder(const wchar_t* path) {
  // A drive or share root would open the whole drive to a tampered log.
  if (shellFolderCount < maxShellFolders && canonicalPath(path, shellFolders[shellFolderCount]) &&
      !isRoot(shellFolders[shellFolderCount]))
    ++shellFolderCount;
}

bool toWide(const char* text, wchar_t* out) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, widePathSize) > 0;
}

// The shell folder that holds path, or null.
const wchar_t* holdingFolder(const wchar_t* path) {
  for (int i = 0; i < shellFolderCount; ++i)
    if (pathInside(path, shellFolders[i])) return shellFolders[i];
  return nullptr;
}

// Whether any folder or the item itself below folder on the way to path is a reparse point.
bool passesReparsePoint(const wchar_t* path, const wchar_t* folder) {
  wchar_t prefix[widePathSize];
  lstrcpyW(prefix, path);
  for (size_t i = wcslen(folder) + 1;; ++i) {
    wchar_t c = prefix[i];
    if (c && c != L'\\') continue;
    prefix[i] = 0;
    DWORD attributes = GetFileAttributesW(prefix);
    prefix[i] = c;
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;  // nothing exists from here on
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    if (!c) return false;
  }
}

Verdict judge(unsigned char type, const char* path, wchar_t* canonical) {
  wchar_t wide[widePathSize];
  if (!toWide(path, wide) || !canonicalPath(wide, canonical)) return notAPath;
  const wchar_t* folder = uninstaller.folder;
  if (type == logFileRecord) {
    if (samePath(canonical, uninstaller.ownPath)) return isOwnFile;
    if (!pathInside(canonical, folder)) return outsideFolder;
  } else {
    if (!isLinkName(canonical)) return notALink;
    if (!(folder = holdingFolder(canonical))) return linkOutsideFolders;
  }
  return passesReparsePoint(canonical, folder) ? throughReparsePoint : mayRemove;
}

bool isShellFolder(const wchar_t* path) {
  for (int i = 0; i < shellFolderCount; ++i)
    if (samePath(path, shellFolders[i])) return true;
  return false;
}

}  // namespace

bool isGone(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

const char* destinationText() {
  return uninstaller.folderAnsi;
}

const char* fieldText(int) {
  return "";  // the uninstaller knows no custom field's value
}

const wchar_t* failureReason(DWORD error) {
  switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return L"in use by another program";
    case ERROR_ACCESS_DENIED:
      return L"access denied";
    case ERROR_DIRECTORY:
      return L"a folder, not a file";
  }
  return format(L"Windows error %lu", error);
}

DWORD deleteFile(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return isGone(error) ? 0 : error;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_DIRECTORY;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(path, attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  if (DeleteFileW(path)) return 0;
  DWORD error = GetLastError();
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path, attributes);  // as it was
  return error;
}

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

void findShellFolders() {
  shellFolderCount = 0;
  addShellFolder(uninstaller.folder);
  for (int i = 0; const char* value = builtInMacroValue(i); ++i) {
    wchar_t wide[widePathSize];
    if (toWide(value, wide)) addShellFolder(wide);
  }
  lstrcpyW(folderParent, uninstaller.folder);
  cutLastName(folderParent);
}

void removeLogged(unsigned char type, const char* path) {
  wchar_t canonical[widePathSize];
  Verdict verdict = judge(type, path, canonical);
  if (verdict == isOwnFile) return;
  wchar_t shown[widePathSize];
  if (!toWide(path, shown)) lstrcpyW(shown, L"(a path that is not in the ANSI code page)");
  if (verdict != mayRemove) {
    ++uninstaller.refused;
    reportLine(L"Refused", shown, refusalReasons[verdict]);
    return;
  }
  DWORD error = deleteFile(canonical);
  if (error == 0) return;
  if (error == ERROR_DIRECTORY) {
    ++uninstaller.refused;  // trying again would not help
  } else {
    ++uninstaller.failed;
  }
  reportLine(L"Not removed", canonical, failureReason(error));
}

void removeEmptiedFolders(unsigned char type, const char* path) {
  wchar_t folder[widePathSize];
  if (judge(type, path, folder) != mayRemove ||
      GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES)
    return;
  // Never a root, a folder a path macro names (the install folder among them: the clean-up copy
  // removes it) or the install folder's parent.
  while (cutLastName(folder) && !isRoot(folder) && !isShellFolder(folder) &&
         !samePath(folder, folderParent)) {
    if (RemoveDirectoryW(folder)) continue;
    DWORD error = GetLastError();
    if (isGone(error)) continue;
    if (error == ERROR_DIR_NOT_EMPTY && !uninstaller.failed)
      reportLine(L"Kept", folder, L"it holds files that were not installed");
    return;
  }
}

void reportKeptInstallFolder() {
  wchar_t pattern[widePathSize];
  wsprintfW(pattern, L"%s\\*", uninstaller.folder);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  const wchar_t* ownName = wcsrchr(uninstaller.ownPath, L'\\') + 1;
  bool others = false;
  do {
    const wchar_t* name = found.cFileName;
    if (lstrcmpW(name, L".") && lstrcmpW(name, L"..") && lstrcmpiW(name, ownName)) others = true;
  } while (!others && FindNextFileW(search, &found));
  FindClose(search);
  if (others) reportLine(L"Kept", uninstaller.folder, L"it holds files that were not installed");
}
