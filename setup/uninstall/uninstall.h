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

struct Folder;

struct Uninstaller {
  bool silent;                    // /S: no windows; what is not removed goes to stderr
  wchar_t ownPath[widePathSize];  // canonical: uninstall.exe as it runs
  wchar_t folder[widePathSize];   // canonical: the install folder, where the log lies
  char folderAnsi[widePathSize];  // the same for the path macros
  wchar_t folderFinal[widePathSize];  // the install folder as the file system names it
  Folder* installRoot;                // the install folder's tree of judged folders
  int refused, failed;            // records refused, records whose removal failed
  unsigned removedFiles, removedLinks, removedFolders;
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

// A folder on the way from an allowed folder to the items the log lists, judged once however
// many items it holds.
struct Folder {
  wchar_t* path;          // canonical
  Folder* parent;         // null for an allowed folder, the root of its tree
  Folder* next;           // in the judging's table
  const wchar_t* within;  // the final path of the allowed folder that holds it
  unsigned depth;         // names below its allowed folder
  bool reparse;           // it, or a folder between it and its allowed folder, is a reparse point
  bool removable;         // strictly inside its allowed folder and not around the install folder
  bool holdsListed;       // an item that may be removed lies below it
  int stayed;             // items below it that were listed but stay
};

struct JudgedRecord {
  unsigned char type;  // logFileRecord or logShortcutRecord
  Verdict verdict;
  const char* logged;  // the path as the log gives it, in the log's bytes
  wchar_t* canonical;  // its canonical form when it may be removed, else null
  Folder* folder;      // its folder when it may be removed
};

// Judging (judging.cpp): a file only inside the install folder, a link (.lnk) only there or in
// the per-user and common Programs, Start Menu, Startup and Desktop folders; never through a
// junction or other reparse point. Learns those folders; call once the own folder is known.
// False when the install folder cannot be opened.
bool findAllowedFolders();
// Judges each record; false when memory runs out, with nothing removed yet.
bool judgeRecords(JudgedRecord* records, size_t count);
// The folders that hold removable items, deepest first; null when memory runs out.
Folder** foldersToRemove(size_t* count);
// Why a record with this verdict is refused.
const wchar_t* refusalReason(Verdict verdict);
// An ANSI text as wide characters (widePathSize of them); false when it does not convert.
bool toWide(const char* text, wchar_t* out);

// Deleting through a checked handle (checked_delete.cpp).
// Writes to out (widePathSize) the normal form of the path the file system gives for an open
// file or folder; false when it gives none.
bool finalPath(HANDLE handle, wchar_t* out);
// Deletes the file (or, with folder, the empty folder) at path without following a reparse
// point: opened so that no one can rename it meanwhile, refused unless the path the file system
// gives for it lies inside within (or, with exact, is the same as within). Returns mayRemove
// with *error 0 when it is gone, with the Windows error when it stays, or the refusal.
Verdict deleteChecked(const wchar_t* path, bool folder, const wchar_t* within, bool exact,
                      DWORD* error);

// Removal (removal.cpp).
// Whether a Windows error says that the file or a folder on its path is not there.
bool isGone(DWORD error);
// What a Windows error from deleteChecked means, in words.
const wchar_t* failureReason(DWORD error);
// Removes the judged records' items, then the folders they leave empty, children first; reports
// what is refused, not removed, or kept, and counts it.
void removeJudged(JudgedRecord* records, size_t count);
// Reports the install folder when it holds more than uninstall.exe.
void reportKeptInstallFolder();
// A test hook: when QZ_UNINSTALL_PAUSE names a pair of events, signals "NAME-step" and waits for
// "NAME-step-go", so that a test can change the disk at that step.
void testPause(const wchar_t* step);

// The report (report.cpp): lines of what was not removed or kept.
void reportLine(const wchar_t* label, const wchar_t* path, const wchar_t* reason);
// Shows text (and the report's lines after it, the first of them and the rest in a file) in a
// message box, or writes the lines to standard error when silent. Returns the button pressed.
int tell(const wchar_t* text, UINT type);
// Formats into a fresh buffer that lives until the program ends.
const wchar_t* format(const wchar_t* pattern, ...);
// "1 file", "2 files": count and noun, with the noun's plural ending when count is not 1.
const wchar_t* counted(unsigned count, const wchar_t* noun);

// The progress window (progress.cpp), shown while removing unless silent.
void openProgress(unsigned total);
void stepProgress();
void closeProgress();
// Waits for an event (two minutes at most), handling the window's messages meanwhile.
void waitPumping(HANDLE event);

// Self-removal (self_removal.cpp).
// Starts the copy that deletes uninstall.exe and the emptied install folder once this process has
// ended; false when it cannot.
bool startCleanupCopy();
// The copy's own run, from its command line; returns its exit code.
int runCleanupCopy(int argc, wchar_t** argv);
extern const wchar_t cleanupFlag[];
