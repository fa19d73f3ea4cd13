// Where setup.exe and uninstall.exe may load DLLs from: System32 only. A Downloads folder may hold
// DLLs named like system ones beside the program, and the usual search order looks in the
// program's own folder (and the current directory) before System32.
#pragma once

// One function of a system DLL that the program calls through a slot of its own rather than
// through Windows' import table (cmake/late_imports.cmake writes each program's table).
struct LateImport {
  const char* dll;  // "user32.dll"
  const char* name;
  void** slot;
};
extern const LateImport lateImports[];  // ends with a row of nulls

// The first statement of both programs: restricts every later DLL search to System32, then loads
// the late imports' DLLs by their full System32 path and fills the slots. Where Windows lacks the
// call that restricts the search (Vista and 7 without update KB2533623), it loads the DLLs that
// the shell and the window controls pull in later by their full System32 path too. False when a
// late import cannot be had: the program cannot run.
bool restrictDllSearch();
