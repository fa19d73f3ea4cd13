// Deciding what the uninstaller may remove: each record of the install log is judged once,
// before anything is removed, and its verdict and canonical path are kept for the removal. The
// folders on the way are judged once each, however many items they hold: their canonical form,
// whether a reparse point lies on the way, and whether they may go once emptied.
#include <stdlib.h>
#include <wchar.h>

#include "install/built_in_folders.h"
#include "install/install_log.h"
#include "install/system_lookup.h"
#include "uninstall/uninstall.h"

namespace {

enum { maxAllowed = 12, tableSize = 4096 };

// A folder where the log may name items: the install folder first, then those where links may
// lie. Each is the root of a tree of the folders below it that the log reaches.
struct Allowed {
  wchar_t path[widePathSize];   // canonical
  wchar_t final[widePathSize];  // as the file system names it
  Folder root;
};

Allowed allowed[maxAllowed];
int allowedCount;
Folder* table[tableSize];
size_t folderCount;

// The built-in macros whose folders may hold the program's links, per user and common.
const char* const linkMacros[] = {"DESKTOP", "PROGRAMS", "STARTUP", "STARTMENU", "COMMONDESKTOP"};
const char* const commonLinkValues[] = {"Common Programs", "Common Start Menu", "Common Startup"};

void addAllowed(const wchar_t* path) {
  if (allowedCount == maxAllowed) return;
  Allowed& folder = allowed[allowedCount];
  // A drive or share root would open the whole drive to a tampered log.
  if (!canonicalPath(path, folder.path) || isRoot(folder.path)) return;
  HANDLE handle = CreateFileW(folder.path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;  // nothing can lie in a folder that is not there
  bool known = finalPath(handle, folder.final);
  CloseHandle(handle);
  if (!known) return;
  folder.root = {folder.path, nullptr, nullptr, folder.final, 0, false, false, false, 0};
  ++allowedCount;
}

void addAllowedAnsi(const char* path) {
  wchar_t wide[widePathSize];
  if (path[0] && toWide(path, wide)) addAllowed(wide);
}

unsigned hashOf(const wchar_t* path, size_t length) {
  unsigned hash = 2166136261u;
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = path[i];
    hash = (hash ^ (c >= L'A' && c <= L'Z' ? c | 0x20 : c)) * 16777619u;
  }
  return hash % tableSize;
}

bool isAllowedFolder(const wchar_t* path) {
  for (int i = 0; i < allowedCount; ++i)
    if (samePath(path, allowed[i].path)) return true;
  return false;
}

// The folder of the first length characters of a canonical path inside root, judged once;
// null when memory runs out.
Folder* folderOf(const wchar_t* path, size_t length, Allowed& root) {
  if (length <= wcslen(root.path)) return &root.root;
  unsigned hash = hashOf(path, length);
  for (Folder* f = table[hash]; f; f = f->next)
    if (wcslen(f->path) == length && sameText(f->path, path, length)) return f;
  size_t parentLength = length;
  while (path[parentLength - 1] != L'\\') --parentLength;
  Folder* parent = folderOf(path, parentLength - 1, root);
  auto* folder = static_cast<Folder*>(malloc(sizeof(Folder) + (length + 1) * sizeof(wchar_t)));
  if (!parent || !folder) return nullptr;
  folder->path = reinterpret_cast<wchar_t*>(folder + 1);
  wmemcpy(folder->path, path, length);
  folder->path[length] = 0;
  DWORD attributes = GetFileAttributesW(folder->path);
  *folder = {folder->path, parent, table[hash], root.final, parent->depth + 1,
             parent->reparse || (attributes != INVALID_FILE_ATTRIBUTES &&
                                 (attributes & FILE_ATTRIBUTE_REPARSE_POINT)),
             !isAllowedFolder(folder->path) && !pathInside(uninstaller.folder, folder->path),
             false, 0};
  table[hash] = folder;
  ++folderCount;
  return folder;
}

// The allowed folder that holds path most closely, or null.
Allowed* holdingFolder(const wchar_t* path, bool linksToo) {
  Allowed* found = nullptr;
  for (int i = 0; i < (linksToo ? allowedCount : 1); ++i)
    if (pathInside(path, allowed[i].path) &&
        (!found || wcslen(allowed[i].path) > wcslen(found->path)))
      found = &allowed[i];
  return found;
}

// The canonical form of a record's folder: looked up once for a run of records in one folder.
bool canonicalFolder(const wchar_t* folder, wchar_t* out) {
  static wchar_t lastAsWritten[widePathSize], lastCanonical[widePathSize];
  if (!lastAsWritten[0] || lstrcmpW(folder, lastAsWritten) != 0) {
    if (!canonicalPath(folder, lastCanonical)) return false;
    lstrcpyW(lastAsWritten, folder);
  }
  lstrcpyW(out, lastCanonical);
  return true;
}

Verdict judge(JudgedRecord& record, wchar_t* canonical) {
  wchar_t wide[widePathSize], normal[widePathSize];
  if (!toWide(record.logged, wide) || !normalisePath(wide, normal, widePathSize) ||
      isRoot(normal))
    return notAPath;
  wchar_t* name = wcsrchr(normal, L'\\');
  *name++ = 0;
  if (!canonicalFolder(normal, canonical)) return notAPath;
  size_t folderLength = wcslen(canonical);
  if (folderLength + wcslen(name) + 2 > widePathSize) return notAPath;
  if (canonical[folderLength - 1] != L'\\') canonical[folderLength++] = L'\\';
  lstrcpyW(canonical + folderLength, name);
  Allowed* root = holdingFolder(canonical, record.type != logFileRecord);
  if (record.type == logFileRecord) {
    if (samePath(canonical, uninstaller.ownPath)) return isOwnFile;
    if (!root) return outsideFolder;
  } else {
    if (!isLinkName(canonical)) return notALink;
    if (!root) return linkOutsideFolders;
  }
  if (!(record.folder = folderOf(canonical, wcsrchr(canonical, L'\\') - canonical, *root)))
    return notAPath;
  return record.folder->reparse ? throughReparsePoint : mayRemove;
}

int deeperFirst(const void* a, const void* b) {
  unsigned x = (*static_cast<Folder* const*>(a))->depth, y = (*static_cast<Folder* const*>(b))->depth;
  return x < y ? 1 : x > y ? -1 : 0;
}

}  // namespace

bool toWide(const char* text, wchar_t* out) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, widePathSize) > 0;
}

bool findAllowedFolders() {
  allowedCount = 0;
  addAllowed(uninstaller.folder);
  if (allowedCount == 0) return false;
  lstrcpyW(uninstaller.folderFinal, allowed[0].final);
  uninstaller.installRoot = &allowed[0].root;
  char value[builtInFolderSize];
  for (int i = 0; builtInFolderName(i); ++i) {
    for (const char* macro : linkMacros)
      if (lstrcmpA(builtInFolderName(i), macro) == 0) {
        builtInFolder(i, uninstaller.folderAnsi, value);
        addAllowedAnsi(value);
      }
  }
  for (const char* name : commonLinkValues)
    addAllowedAnsi(readRegistryString(registryLocalMachine,
                                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                      "Shell Folders",
                                      name, ""));
  return true;
}

bool judgeRecords(JudgedRecord* records, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    JudgedRecord& record = records[i];
    wchar_t canonical[widePathSize];
    record.folder = nullptr;
    record.canonical = nullptr;
    record.verdict = judge(record, canonical);
    if (record.verdict != mayRemove) continue;
    for (Folder* f = record.folder; f && !f->holdsListed; f = f->parent) f->holdsListed = true;
    size_t size = wcslen(canonical) + 1;
    if (!(record.canonical = static_cast<wchar_t*>(malloc(size * sizeof(wchar_t))))) return false;
    wmemcpy(record.canonical, canonical, size);
  }
  return true;
}

Folder** foldersToRemove(size_t* count) {
  auto* list = static_cast<Folder**>(malloc((folderCount + 1) * sizeof(Folder*)));
  if (!list) return nullptr;
  *count = 0;
  for (Folder* first : table)
    for (Folder* f = first; f; f = f->next)
      if (f->removable && f->holdsListed) list[(*count)++] = f;
  qsort(list, *count, sizeof(Folder*), deeperFirst);
  return list;
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
      return L"outside the program folder and the shortcut folders";
    case throughReparsePoint:
      return L"it passes through a junction or another reparse point";
    case mayRemove:
    case isOwnFile:
      break;  // never refused
  }
  return L"";
}
