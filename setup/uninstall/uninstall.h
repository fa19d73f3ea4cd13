// uninstall.exe: removes what the install log beside it lists, then itself. Shared by its entry,
// the removal, the report and the self-removal.
#pragma once
#include <windows.h>

#include "uninstall/path_rule.h"

enum ExitCode {
  exitRemoved = 0,      // everything listed was removed
  exitDeclined = 1,     // the user said No
  exitNothingDone = 2,  // the log was missing or damaged, or the command line not understood
  exitIncomplete = 3,   // some items could not be removed or were refused
};

struct Uninstaller {
  bool silent;                    // /S: no windows; what is not removed goes to stderr
  wchar_t ownPath[widePathSize];  // canonical: uninstall.exe as it runs
  wchar_t folder[widePathSize];   // canonical: the install folder, where the log lies
  char folderAnsi[widePathSize];  // the same for the path macros
  int refused, failed;            // records refused, records whose removal failed
};
extern Uninstaller uninstaller;

// What is decided about each record of the install log, once, before anything is removed.
enum Verdict {
  mayRemove,
  isOwnFile,  // uninstall.exe itself: the clean-up copy deletes it
  notAPath,
  outsideFolder,
  notALink,
  linkOutsideFolders,
  throughReparsePoint,
};

struct JudgedRecord {
  unsigned char type;  // logFileRecord or logShortcutRecord
  Verdict verdict;
  const char* logged;  // the path as the log gives it, in the log's bytes
  wchar_t* canonical;  // its canonical form when it may be removed, else null
};

// Judging (judging.cpp): a file only inside the install folder, a link (.lnk) only there or
// inside a folder that a path macro names; never through a junction or other reparse point.
// Learns the folders the path macros name; call once the own folder is known.
void findShellFolders();
// Judges each record; false when memory runs out, with nothing removed yet.
bool judgeRecords(JudgedRecord* records, size_t count);
// Why a record with this verdict is refused.
const wchar_t* refusalReason(Verdict verdict);
// Whether a normal path is one of the folders the path macros name (the install folder among
// them).
bool isShellFolder(const wchar_t* path);
// An ANSI text as wide characters (widePathSize of them); false when it does not convert.
bool toWide(const char* text, wchar_t* out);

// Removal (removal.cpp).
// Whether a Windows error says that the file or a folder on its path is not there.
bool isGone(DWORD error);
// Deletes one file, clearing its read-only bit first (and setting it again when the file stays);
// 0 when the file is gone, else the Windows error.
DWORD deleteFile(const wchar_t* path);
// What a Windows error from deleteFile means, in words.
const wchar_t* failureReason(DWORD error);
// Removes a judged record's item, or reports why it is refused; counts what is refused or fails.
void removeJudged(const JudgedRecord& record);
// Removes the emptied folders above a removable record's item once it is gone; reports a folder
// that stays.
void removeEmptiedFolders(const JudgedRecord& record);
// Reports the install folder when it holds more than uninstall.exe.
void reportKeptInstallFolder();

// The report (report.cpp): lines of what was not removed or kept.
void reportLine(const wchar_t* label, const wchar_t* path, const wchar_t* reason);
// Shows text (and the report's lines after it) in a message box, or writes the lines to standard
// error when silent. Returns the button pressed.
int tell(const wchar_t* text, UINT type);
// Formats into a fresh buffer that lives until the program ends.
const wchar_t* format(const wchar_t* pattern, ...);

// Self-removal (self_removal.cpp).
// Starts the copy that deletes uninstall.exe and the emptied install folder once this process has
// ended; false when it cannot.
bool startCleanupCopy();
// The copy's own run, from its command line; returns its exit code.
int runCleanupCopy(int argc, wchar_t** argv);
extern const wchar_t cleanupFlag[];
