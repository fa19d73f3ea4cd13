// Removing what the judging allowed: each item, then the folders that the removals left empty.
#include <wchar.h>

#include "uninstall/uninstall.h"

bool isGone(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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

void removeJudged(const JudgedRecord& record) {
  if (record.verdict == isOwnFile) return;
  if (record.verdict != mayRemove) {
    wchar_t shown[widePathSize];
    if (!toWide(record.logged, shown))
      lstrcpyW(shown, L"(a path that is not in the ANSI code page)");
    ++uninstaller.refused;
    reportLine(L"Refused", shown, refusalReason(record.verdict));
    return;
  }
  DWORD error = deleteFile(record.canonical);
  if (error == 0) return;
  if (error == ERROR_DIRECTORY) {
    ++uninstaller.refused;  // trying again would not help
  } else {
    ++uninstaller.failed;
  }
  reportLine(L"Not removed", record.canonical, failureReason(error));
}

void removeEmptiedFolders(const JudgedRecord& record) {
  if (record.verdict != mayRemove ||
      GetFileAttributesW(record.canonical) != INVALID_FILE_ATTRIBUTES)
    return;
  wchar_t folder[widePathSize], folderParent[widePathSize];
  lstrcpyW(folder, record.canonical);
  lstrcpyW(folderParent, uninstaller.folder);
  cutLastName(folderParent);
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
