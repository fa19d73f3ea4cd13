// Removing what the judging allowed: each item through a checked handle, then the folders that
// held them, deepest first, each tried once after everything below it. A folder is reported as
// kept only when it stays, with the reason that holds for it.
#include <stdlib.h>
#include <wchar.h>

#include "install/install_log.h"
#include "uninstall/uninstall.h"

namespace {

const wchar_t* shownPath(const JudgedRecord& record, wchar_t* wide) {
  if (record.canonical) return record.canonical;
  if (!toWide(record.logged, wide)) lstrcpyW(wide, L"(a path that is not in the ANSI code page)");
  return wide;
}

void refuse(const wchar_t* path, Verdict verdict) {
  ++uninstaller.refused;
  reportLine(L"Refused", path, refusalReason(verdict));
}

// Counts a listed item that stays in every folder above it.
void markStayed(Folder* folder) {
  for (; folder; folder = folder->parent) ++folder->stayed;
}

void removeRecord(JudgedRecord& record) {
  wchar_t wide[widePathSize];
  if (record.verdict == isOwnFile) return;
  if (record.verdict != mayRemove) return refuse(shownPath(record, wide), record.verdict);
  DWORD error;
  Verdict verdict = deleteChecked(record.canonical, false, record.folder->within, false, &error);
  stepProgress();
  if (verdict != mayRemove) {
    markStayed(record.folder);
    return refuse(record.canonical, verdict);
  }
  if (error == 0) {
    ++*(record.type == logFileRecord ? &uninstaller.removedFiles : &uninstaller.removedLinks);
    return;
  }
  markStayed(record.folder);
  if (error == ERROR_DIRECTORY) {
    ++uninstaller.refused;  // trying again would not help
  } else {
    ++uninstaller.failed;
  }
  reportLine(L"Not removed", record.canonical, failureReason(error));
}

const wchar_t* keptReason(const Folder& folder) {
  return folder.stayed ? L"it holds items that could not be removed"
                       : L"it holds files that were not installed";
}

void removeFolder(Folder& folder) {
  DWORD error;
  Verdict verdict = deleteChecked(folder.path, true, folder.within, false, &error);
  stepProgress();
  if (verdict != mayRemove) {
    markStayed(folder.parent);
    return refuse(folder.path, verdict);
  }
  if (error == 0) {
    ++uninstaller.removedFolders;
    return;
  }
  // It stays; while listed items could not be removed the next run settles the folders.
  if (!uninstaller.failed)
    reportLine(L"Kept", folder.path,
               error == ERROR_DIR_NOT_EMPTY ? keptReason(folder) : failureReason(error));
}

}  // namespace

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

void removeJudged(JudgedRecord* records, size_t count) {
  size_t folderCount = 0;
  Folder** folders = foldersToRemove(&folderCount);
  unsigned total = static_cast<unsigned>(folderCount);
  for (size_t i = 0; i < count; ++i) total += records[i].verdict == mayRemove;
  openProgress(total);
  testPause(L"judged");
  for (size_t i = 0; i < count; ++i) removeRecord(records[i]);
  // Without memory for the list the folders stay, and the install folder's report says so.
  for (size_t i = 0; folders && i < folderCount; ++i) removeFolder(*folders[i]);
  free(folders);
  closeProgress();
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
  if (others) reportLine(L"Kept", uninstaller.folder, keptReason(*uninstaller.installRoot));
}

void testPause(const wchar_t* step) {
  wchar_t name[200];
  DWORD length = GetEnvironmentVariableW(L"QZ_UNINSTALL_PAUSE", name, 100);
  if (!length || length >= 100) return;
  wsprintfW(name + length, L"-%s", step);
  HANDLE reached = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
  lstrcatW(name, L"-go");
  HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, name);
  if (reached && go && SetEvent(reached)) waitPumping(go);
  if (reached) CloseHandle(reached);
  if (go) CloseHandle(go);
}
