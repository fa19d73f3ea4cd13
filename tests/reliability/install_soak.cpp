// Soak of an installation and its removal, over and over in one Wine prefix: each cycle walks the
// package's wizard to its end with qzwalk's walker, runs the installed uninstall.exe /S, waits for
// its clean-up copy to finish, then compares drive C:, what in the registry (HKCU and
// HKLM\Software) mentions one of the WORDs, and the running processes with what they were before
// the first cycle: nothing may be added. This driver's own handles, threads and private bytes are
// sampled after every cycle.
//   qz_install_soak PACKAGE.exe CYCLES WORD...
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "install/install_log.h"
#include "process_figures.h"
#include "silent_run.h"
#include "wizard_walk.h"

namespace fs = std::filesystem;

namespace {

// The growth allowed from the end of the first cycle to the end of the last: 8 handles, 2
// threads, 192 KiB (the walker's and the snapshots' heap churn stays within a few pages; a leak of
// 8 KiB per cycle passes it over 25 cycles). Under Wine, WaitForInputIdle leaves the target's
// idle event open in the caller at every call, and the walker settles the wizard with it ten
// times a walk: ten handles a cycle more.
figures::Bounds bounds(int cycles) {
  bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return {8 + (wine ? 10L * (cycles - 1) : 0L), 2, 192 * 1024};
}
constexpr DWORD deadline = 60000;  // generous: the machine may be busy

using Names = std::set<std::wstring>;

// Every file and folder below folder; links and junctions are listed, not entered.
void listFiles(const std::wstring& folder, Names& names) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = folder + L"\\" + name;
    names.insert(path);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      listFiles(path, names);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

// Words that name the package: its publisher, its title, the folder it was started from.
std::vector<std::wstring> ourWords;

bool mentionsUs(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  for (const std::wstring& word : ourWords)
    if (text.find(word) != std::wstring::npos) return true;
  return false;
}

// The keys below path, its values' names and its string values' data that mention the package.
// Wine writes keys of its own as its services start (network cards, mouse settings): the whole
// registry cannot be compared, only what could be ours. Links between keys are not followed: some
// of Wine's lead back up the tree.
void listKeys(HKEY root, const std::wstring& path, Names& names) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key) != ERROR_SUCCESS)
    return;
  std::vector<std::wstring> subkeys;
  static wchar_t name[16384];
  static BYTE data[65536];
  for (DWORD i = 0;; ++i) {
    DWORD length = 16384, type, size = sizeof data - sizeof(wchar_t);
    LONG status = RegEnumValueW(key, i, name, &length, nullptr, &type, data, &size);
    if (status == ERROR_MORE_DATA) continue;  // too big to be a path: not ours
    if (status != ERROR_SUCCESS) break;       // the end, or a link key, which holds no values
    std::wstring text = std::wstring(name) + L" = ";
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
      text.append(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    if (mentionsUs(path + L"\\" + text)) names.insert(path + L"\\" + text);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    subkeys.push_back(path.empty() ? name : path + L"\\" + name);
  }
  RegCloseKey(key);
  for (const std::wstring& subkey : subkeys) {
    if (mentionsUs(subkey)) names.insert(subkey);
    listKeys(root, subkey, names);
  }
}

// The prefix's processes by their program's full path, each with a count; Wine's own services,
// which it starts on demand from the Windows folder, left out.
Names processes() {
  Names names;
  wchar_t windows[MAX_PATH];
  UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    wchar_t path[MAX_PATH] = L"";
    DWORD length = MAX_PATH;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process || !QueryFullProcessImageNameW(process, 0, path, &length))
      lstrcpynW(path, entry.szExeFile, MAX_PATH);
    if (process) CloseHandle(process);
    if (CompareStringOrdinal(path,
                             static_cast<int>(std::min<size_t>(lstrlenW(path), windowsLength)),
                             windows, static_cast<int>(windowsLength), TRUE) == CSTR_EQUAL)
      continue;
    for (int n = 1;; ++n)
      if (names.insert(std::wstring(path) + L" #" + std::to_wstring(n)).second) break;
  }
  CloseHandle(snapshot);
  return names;
}

struct World {
  Names files, keys, running;
};

World look() {
  World world;
  listFiles(L"C:", world.files);
  listKeys(HKEY_CURRENT_USER, L"", world.keys);
  listKeys(HKEY_LOCAL_MACHINE, L"Software", world.keys);
  world.running = processes();
  return world;
}

// What now holds that before did not, one line each.
std::string added(const char* what, const Names& before, const Names& now) {
  std::string lines;
  for (const std::wstring& name : now)
    if (!before.count(name)) lines += std::string("  ") + what + ": " + walk::utf8(name) + "\n";
  return lines;
}

// The paths the install log lists, or nothing when it cannot be read whole.
std::vector<std::string> loggedPaths(const fs::path& log) {
  std::vector<std::string> paths;
  std::FILE* file = _wfopen(log.c_str(), L"rb");
  if (!file) return paths;
  std::string bytes;
  char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, got);
  std::fclose(file);
  size_t at = 0;
  LogRecord record;
  while (readLogRecord(bytes.data(), bytes.size(), &at, &record) == logRecordRead)
    paths.push_back(record.path);
  return paths;
}

// The uninstaller's clean-up copy deletes uninstall.exe once the uninstaller has ended, then its
// own folder "qzu-..." under the temporary folder; true once both are gone.
bool cleanUpFinished(const fs::path& destination) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  for (DWORD start = GetTickCount(); GetTickCount() - start < deadline; Sleep(50)) {
    Names entries;
    listFiles(fs::path(temp).parent_path().wstring(), entries);
    bool copies = false;
    for (const std::wstring& entry : entries)
      copies = copies || fs::path(entry).filename().wstring().rfind(L"qzu-", 0) == 0;
    if (!copies && !fs::exists(destination / "uninstall.exe")) return true;
  }
  return false;
}

struct Cycle {
  std::string fault;  // empty when the installation and the removal went through
  fs::path destination;
};

// Install and uninstall once, with the package's proposed destination and an answer for its
// first field.
Cycle installAndUninstall(const fs::path& package, std::FILE* quiet) {
  Cycle cycle;
  driver::Installer setup(package);
  if (!setup.started()) return {"setup.exe did not start", {}};
  walk::Answers answers;
  answers.fields[0] = L"Soak Tester";
  walk::Outcome outcome = walk::walkWizard(setup, answers, quiet);
  if (!outcome.failure.empty()) return {"the installation did not finish: " + outcome.failure, {}};
  cycle.destination = walk::wideFromAnsi(outcome.destination);
  std::vector<std::string> logged = loggedPaths(cycle.destination / logName);
  if (logged.empty()) return {"no install log", cycle.destination};
  DWORD code = runSilently(cycle.destination / "uninstall.exe", deadline).code;
  if (code != 0)
    cycle.fault = "uninstall.exe /S ended with " + std::to_string(code);
  else if (!cleanUpFinished(cycle.destination))
    cycle.fault = "the uninstaller's clean-up copy did not finish";
  for (const std::string& path : logged)
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
      cycle.fault += "\n  left behind: " + path;
  return cycle;
}

// An empty folder that holds the install folder: setup made it, but the log does not list the
// folders made, and the uninstaller by design never removes a folder around its own.
bool emptyAroundDestination(const std::wstring& path, const fs::path& destination) {
  std::wstring inside = destination.wstring();
  std::error_code error;
  return inside.size() > path.size() && inside[path.size()] == L'\\' &&
         CompareStringOrdinal(inside.c_str(), static_cast<int>(path.size()), path.c_str(),
                              static_cast<int>(path.size()), TRUE) == CSTR_EQUAL &&
         fs::is_empty(path, error);
}

// What the cycle added to drive C:, the registry and the processes, one line each. The empty
// folders around the install folder are named once, apart, and taken into before.
std::string addedSince(World& before, const World& now, const fs::path& destination) {
  std::string lines;
  for (const std::wstring& name : now.files) {
    if (before.files.count(name)) continue;
    if (!emptyAroundDestination(name, destination)) {
      lines += "  file: " + walk::utf8(name) + "\n";
      continue;
    }
    before.files.insert(name);
    std::printf("  kept, as designed: the empty folder %s around the install folder\n",
                walk::utf8(name).c_str());
  }
  return lines + added("registry", before.keys, now.keys) +
         added("process", before.running, now.running);
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = argc > 3 ? std::atoi(argv[2]) : 0;
  if (cycles < 2) {
    std::fprintf(stderr, "usage: qz_install_soak PACKAGE.exe CYCLES WORD... (CYCLES >= 2)\n");
    return 2;
  }
  fs::path package = argv[1];
  for (int i = 3; i < argc; ++i) {
    ourWords.push_back(walk::wideFromAnsi(argv[i]));
    CharLowerBuffW(ourWords.back().data(), static_cast<DWORD>(ourWords.back().size()));
  }
  std::FILE* quiet = std::fopen("NUL", "w");
  World before = look();
  figures::Track track;
  for (int n = 1; n <= cycles; ++n) {
    DWORD start = GetTickCount();
    Cycle cycle = installAndUninstall(package, quiet);
    std::string more = addedSince(before, look(), cycle.destination);
    std::string fault = cycle.fault;
    if (!more.empty())
      fault += (fault.empty() ? "" : "; ") + std::string("added since the start:\n") + more;
    // The first cycle warms up the walker's and Wine's caches: figures from the end of it.
    figures::add(track, figures::sample());
    std::printf("cycle %d: %lu ms, %s\n", n, GetTickCount() - start,
                fault.empty() ? "nothing left behind" : fault.c_str());
    std::fflush(stdout);
    if (!fault.empty()) return 1;
  }
  std::printf("%d install and uninstall cycles; the driver's own figures after each:\n", cycles);
  bool within = figures::judge(track, bounds(cycles), stdout);
  std::printf("%s\n", within ? "no growth past the bounds" : "growth past a bound");
  return within ? 0 : 1;
}
