// Deciding what the uninstaller may remove: each record of the install log is judged once,
// before anything is removed, and its verdict and canonical path are kept for the removal and
// for the folders it empties.
#include <stdlib.h>
#include <wchar.h>

#include "install/built_in_folders.h"
#include "install/install_log.h"
#include "uninstall/uninstall.h"

namespace {

enum { maxShellFolders = 24 };

// The install folder first, then every folder a path macro names, in canonical form.
wchar_t shellFolders[maxShellFolders][widePathSize];
int shellFolderCount;

void addShellFolder(const wchar_t* path) {
  // A drive or share root would open the whole drive to a tampered log.
  if (shellFolderCount < maxShellFolders && canonicalPath(path, shellFolders[shellFolderCount]) &&
      !isRoot(shellFolders[shellFolderCount]))
    ++shellFolderCount;
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

}  // namespace

bool toWide(const char* text, wchar_t* out) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, widePathSize) > 0;
}

void findShellFolders() {
  shellFolderCount = 0;
  addShellFolder(uninstaller.folder);
  char value[builtInFolderSize];
  for (int i = 0; builtInFolderName(i); ++i) {
    builtInFolder(i, uninstaller.folderAnsi, value);
    wchar_t wide[widePathSize];
    if (toWide(value, wide)) addShellFolder(wide);
  }
}

bool isShellFolder(const wchar_t* path) {
  for (int i = 0; i < shellFolderCount; ++i)
    if (samePath(path, shellFolders[i])) return true;
  return false;
}

bool judgeRecords(JudgedRecord* records, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    JudgedRecord& record = records[i];
    wchar_t canonical[widePathSize];
    record.verdict = judge(record.type, record.logged, canonical);
    record.canonical = nullptr;
    if (record.verdict != mayRemove) continue;
    size_t size = wcslen(canonical) + 1;
    if (!(record.canonical = static_cast<wchar_t*>(malloc(size * sizeof(wchar_t))))) return false;
    wmemcpy(record.canonical, canonical, size);
  }
  return true;
}

const wchar_t* refusalReason(Verdict verdict) {
  switch (verdict) {
    case notAPath:
      return L"not a plain full path";
    case outsideFolder:
      return L"outside the program folder";
    case notALink:
      return L"a shortcut record that does not name a .lnk file";
    case linkOutsideFolders:
      return L"outside the program folder and the folders the path macros name";
    case throughReparsePoint:
      return L"it passes through a junction or another reparse point";
    case mayRemove:
    case isOwnFile:
      break;  // never refused
  }
  return L"";
}
