#include "start/dll_search.h"

#include <windows.h>

namespace {

// Loaded later by name, through the usual search, as windows open and shortcuts are made:
// themes, and the shell's and the controls' helpers.
const char* const laterDlls[] = {"uxtheme.dll", "version.dll", "comctl32.dll", "shell32.dll",
                                 "shlwapi.dll", "shcore.dll",  "propsys.dll",  "dwmapi.dll"};

typedef BOOL(WINAPI* SetDefaultDllDirectoriesCall)(DWORD);

// System32's path and a backslash in path; its length, or 0.
int systemFolder(char* path) {
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (!length || length >= MAX_PATH) return 0;
  path[length] = '\\';
  return static_cast<int>(length + 1);
}

HMODULE loadFromSystem32(const char* name) {
  char path[MAX_PATH + 32];
  int length = systemFolder(path);
  if (!length || lstrlenA(name) >= 32) return nullptr;
  lstrcpyA(path + length, name);
  return LoadLibraryA(path);
}

bool fillLateImports() {
  HMODULE module = nullptr;
  const char* loaded = nullptr;
  for (const LateImport* import = lateImports; import->dll; ++import) {
    if (import->dll != loaded) module = loadFromSystem32(loaded = import->dll);
    FARPROC function = module ? GetProcAddress(module, import->name) : nullptr;
    if (!function) return false;
    *import->slot = reinterpret_cast<void*>(function);
  }
  return true;
}

}  // namespace

bool restrictDllSearch() {
  SetDllDirectoryA("");  // the current directory leaves the search
  // Looked up at run time: Vista and 7 have it only with KB2533623.
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    for (const char* name : laterDlls) loadFromSystem32(name);  // one this Windows lacks is no loss
  }
  return fillLateImports();
}
