// Deleting through a handle that was checked: the path is looked up once, without following a
// reparse point at its end, and the item it reached is the one whose final path is compared with
// the allowed folder and the one deleted. Nothing can be swapped in between: the handle shares no
// deletion, so the item cannot be renamed or replaced while it is open, and Windows refuses to
// rename a folder above an open item.
#include <wchar.h>

#include "uninstall/uninstall.h"

bool finalPath(HANDLE handle, wchar_t* out) {
  wchar_t path[widePathSize];
  DWORD length = GetFinalPathNameByHandleW(handle, path, widePathSize,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (!length || length >= widePathSize) return false;
  // "\\?\C:\a" is "C:\a"; "\\?\UNC\server\share\a" is "\\server\share\a".
  const wchar_t* plain = path;
  if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
    plain = path + 6;
    path[6] = L'\\';
  } else if (wcsncmp(path, L"\\\\?\\", 4) == 0) {
    plain = path + 4;
  }
  return normalisePath(plain, out, widePathSize);
}

namespace {

// The times are written back as they were read.
bool setAttributes(HANDLE handle, FILE_BASIC_INFO info, DWORD attributes) {
  info.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
}

// Deletes the open item, clearing its read-only bit first and setting it again when it stays.
DWORD deleteOpen(HANDLE handle, const FILE_BASIC_INFO& info) {
  DWORD attributes = info.FileAttributes;
  bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
  if (readOnly && !setAttributes(handle, info, attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}))
    return GetLastError();
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition))
    return 0;
  DWORD error = GetLastError();
  if (readOnly) setAttributes(handle, info, attributes);  // as it was
  return error;
}

Verdict judgeOpen(HANDLE handle, const FILE_BASIC_INFO& info, bool folder, const wchar_t* within,
                  bool exact, DWORD* error) {
  if (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return throughReparsePoint;
  if (!(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != !folder) {
    *error = ERROR_DIRECTORY;
    return mayRemove;
  }
  wchar_t final[widePathSize];
  if (!finalPath(handle, final)) {
    *error = GetLastError();
    return mayRemove;
  }
  if (exact ? !samePath(final, within) : !pathInside(final, within)) return throughReparsePoint;
  *error = deleteOpen(handle, info);
  return mayRemove;
}

}  // namespace

Verdict deleteChecked(const wchar_t* path, bool folder, const wchar_t* within, bool exact,
                      DWORD* error) {
  *error = 0;
  HANDLE handle = CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD failure = GetLastError();
    if (!isGone(failure)) *error = failure;
    return mayRemove;
  }
  FILE_BASIC_INFO info;
  Verdict verdict = mayRemove;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info))
    verdict = judgeOpen(handle, info, folder, within, exact, error);
  else
    *error = GetLastError();
  CloseHandle(handle);
  return verdict;
}
