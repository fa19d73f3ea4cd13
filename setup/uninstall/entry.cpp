// The entry of uninstall.exe: reads the install log beside it, asks, removes what the log lists,
// says what stayed, and leaves a copy of itself to delete uninstall.exe once it has ended.
#include <stdlib.h>

#include "install/install_log.h"
#include "start/code_page.h"
#include "start/dll_search.h"
#include "uninstall/uninstall.h"

Uninstaller uninstaller;

namespace {

enum : DWORD { largestLog = 64u << 20 };  // far more records than any package holds

struct Log {
  char* bytes;
  size_t size;
  wchar_t path[widePathSize];
};

// The log's records in its order, each judged once before anything is removed.
struct Records {
  JudgedRecord* items;
  size_t count, capacity;
};

const wchar_t* damageText(LogStep step) {
  switch (step) {
    case logUnknownType:
      return L"a record of unknown type";
    case logPathUnterminated:
      return L"a path that is cut short";
    case logPathTooLong:
      return L"a path longer than 260 characters";
    case logPathEmpty:
      return L"an empty path";
    case logRecordRead:
    case logEnded:
      break;  // no damage
  }
  return L"";
}

const wchar_t outOfMemory[] = L"The uninstaller ran out of memory.";

int nothingDone(const wchar_t* text) {
  tell(text, MB_OK | MB_ICONERROR);
  return exitNothingDone;
}

bool isSilentFlag(const wchar_t* argument) {
  return (argument[0] == L'/' || argument[0] == L'-') && (argument[1] | 0x20) == L's' &&
         !argument[2];
}

bool findOwnPaths() {
  wchar_t path[widePathSize];
  DWORD length = GetModuleFileNameW(nullptr, path, widePathSize);
  if (!length || length >= widePathSize || !canonicalPath(path, uninstaller.ownPath)) return false;
  lstrcpyW(uninstaller.folder, uninstaller.ownPath);
  cutLastName(uninstaller.folder);
  return WideCharToMultiByte(CP_ACP, 0, uninstaller.folder, -1, uninstaller.folderAnsi,
                             widePathSize, nullptr, nullptr) > 0;
}

// Reads the whole log; 0 when it was read, else the Windows error.
DWORD readLog(Log* log) {
  if (wcslen(uninstaller.folder) + lstrlenA(logName) + 2 > widePathSize)
    return ERROR_FILENAME_EXCED_RANGE;
  wsprintfW(log->path, L"%s\\%S", uninstaller.folder, logName);  // %S: an ANSI text
  HANDLE file = CreateFileW(log->path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD high = 0, size = GetFileSize(file, &high), got = 0;
  DWORD error = size == INVALID_FILE_SIZE ? GetLastError() : 0;
  if (!error && (high || size > largestLog)) error = ERROR_FILE_TOO_LARGE;
  if (!error && !(log->bytes = static_cast<char*>(malloc(size + 1)))) error = ERROR_OUTOFMEMORY;
  if (!error && (!ReadFile(file, log->bytes, size, &got, nullptr) || got != size))
    error = ERROR_READ_FAULT;
  CloseHandle(file);
  log->size = size;
  return error;
}

bool addRecord(Records* list, const LogRecord& record) {
  if (list->count == list->capacity) {
    size_t capacity = list->capacity ? list->capacity * 2 : 64;
    auto* grown = static_cast<JudgedRecord*>(realloc(list->items, capacity * sizeof(JudgedRecord)));
    if (!grown) return false;
    list->items = grown;
    list->capacity = capacity;
  }
  list->items[list->count++] = {record.type, notAPath, record.path, nullptr, nullptr};
  return true;
}

// Checks every record before anything is removed, and lists them; null when the log is whole.
const wchar_t* listRecords(const Log& log, Records* list) {
  if (log.size == 0) return format(L"The install log `%s` is empty.", log.path);
  size_t at = 0;
  LogRecord record;
  for (LogStep step; (step = readLogRecord(log.bytes, log.size, &at, &record)) != logEnded;) {
    if (step != logRecordRead)
      return format(L"The install log `%s` is damaged: %s at byte %u.", log.path, damageText(step),
                    static_cast<unsigned>(at));
    if (!addRecord(list, record)) return outOfMemory;
  }
  return nullptr;
}

// What was removed, as the closing notice says it.
const wchar_t* removedText() {
  return format(L"%s, %s and %s", counted(uninstaller.removedFiles, L"file"),
                counted(uninstaller.removedLinks, L"shortcut"),
                counted(uninstaller.removedFolders, L"folder"));
}

// What remains once the listed items are removed: the log, then uninstall.exe through its copy.
int finish(const Log& log) {
  DWORD error = 0;
  Verdict verdict =
      uninstaller.failed ? mayRemove
                         : deleteChecked(log.path, false, uninstaller.folderFinal, false, &error);
  if (verdict != mayRemove || error) {
    ++uninstaller.failed;
    reportLine(L"Not removed", log.path,
               verdict != mayRemove ? refusalReason(verdict) : failureReason(error));
  }
  if (uninstaller.failed) {
    // The log and uninstall.exe stay, so that the user can close what holds the files and run
    // it again: what is gone by then counts as removed.
    tell(format(L"Some items could not be removed. Close the programs that use them and run the "
                L"uninstaller again. Removed so far: %s.",
                removedText()),
         MB_OK | MB_ICONWARNING);
    return exitIncomplete;
  }
  bool whole = !uninstaller.refused;
  reportKeptInstallFolder();
  if (!startCleanupCopy()) {
    reportLine(L"Not removed", uninstaller.ownPath, L"its clean-up copy could not be started");
    whole = false;
  }
  if (whole) {
    tell(format(L"The program in `%s` was removed: %s.", uninstaller.folder, removedText()),
         MB_OK | MB_ICONINFORMATION);
    return exitRemoved;
  }
  tell(format(L"The program in `%s` was removed, but not all that the install log lists. "
              L"Removed: %s.",
              uninstaller.folder, removedText()),
       MB_OK | MB_ICONWARNING);
  return exitIncomplete;
}

int uninstall() {
  // Before the log is read: its paths are in the package's code page.
  if (codePageRefused()) return nothingDone(L"" CODE_PAGE_REFUSAL L" Nothing was removed.");
  if (!findOwnPaths()) return nothingDone(L"The uninstaller cannot tell which folder it is in.");
  // Everything on the drive would count as the program's: a tampered log could name any file.
  if (isRoot(uninstaller.folder))
    return nothingDone(
        format(L"The uninstaller is at the root of `%s`: it removes a program only from the "
               L"program's own folder. Nothing was removed.",
               uninstaller.folder));
  Log log = {};
  if (DWORD error = readLog(&log)) {
    if (isGone(error))
      return nothingDone(
          format(L"There is no install log in `%s`. Nothing was removed.", uninstaller.folder));
    return nothingDone(
        format(L"The install log `%s` cannot be read (Windows error %lu). Nothing was removed.",
               log.path, error));
  }
  Records list = {};
  if (const wchar_t* damage = listRecords(log, &list))
    return nothingDone(format(L"%s Nothing was removed.", damage));
  unsigned files = 0, shortcuts = 0;
  for (size_t i = 0; i < list.count; ++i)
    ++*(list.items[i].type == logFileRecord ? &files : &shortcuts);
  const wchar_t* question = format(L"Remove the program in `%s` (%s, %s)?", uninstaller.folder,
                                   counted(files, L"file"), counted(shortcuts, L"shortcut"));
  if (tell(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return exitDeclined;
  if (!findAllowedFolders())
    return nothingDone(format(L"The uninstaller cannot open its folder `%s`. Nothing was removed.",
                              uninstaller.folder));
  if (!judgeRecords(list.items, list.count))
    return nothingDone(format(L"%s Nothing was removed.", outOfMemory));
  removeJudged(list.items, list.count);
  return finish(log);
}

int run(int argc, wchar_t** argv) {
  if (argc >= 2 && lstrcmpW(argv[1], cleanupFlag) == 0) return runCleanupCopy(argc, argv);
  uninstaller.silent = argc == 2 && isSilentFlag(argv[1]);
  if (argc > 2 || (argc == 2 && !uninstaller.silent))
    return nothingDone(
        L"Usage: uninstall.exe [/S]\n/S removes the program without asking and "
        L"without windows; what cannot be removed is written to standard error.");
  return uninstall();
}

}  // namespace

// msvcrt's own splitting of the command line, the one its start-up code uses.
struct StartInfo {
  int newMode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                      int expandWildcards, StartInfo* startInfo);

// The program starts here rather than in the C runtime's start-up code, which would add a
// quarter to the file for nothing the uninstaller uses: it has no static constructors, threads
// or floating point.
extern "C" void uninstallerEntry() {
  // Before anything loads a DLL by name; without user32 there is no way to say anything.
  if (!restrictDllSearch()) ExitProcess(exitNothingDone);
  int argc = 0;
  wchar_t** argv = nullptr;
  wchar_t** environment = nullptr;
  StartInfo startInfo = {0};
  __wgetmainargs(&argc, &argv, &environment, 0, &startInfo);
  ExitProcess(static_cast<UINT>(run(argc, argv)));
}
