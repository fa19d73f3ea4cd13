#include "installed_report.h"

#include <windows.h>
// after windows.h, which it needs
#include <shlobj.h>

#include <vector>

#include "install/install_log.h"
#include "wizard_walk.h"

namespace walk {
namespace {

struct Record {
  unsigned char type;
  std::string path;
};

// The log's records; a fault in it is printed and counted.
std::vector<Record> readLog(const std::string& file, std::FILE* out, int& faults) {
  std::vector<Record> records;
  std::string bytes;
  if (std::FILE* in = _wfopen(wideFromAnsi(file).c_str(), L"rb")) {
    char chunk[16384];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) bytes.append(chunk, n);
    std::fclose(in);
  } else {
    std::fprintf(out, "no install log: %s cannot be read\n", utf8FromAnsi(file).c_str());
    ++faults;
    return records;
  }
  size_t at = 0;
  LogRecord record;
  LogStep step;
  while ((step = readLogRecord(bytes.data(), bytes.size(), &at, &record)) == logRecordRead)
    records.push_back({record.type, record.path});
  if (step != logEnded) {
    std::fprintf(out, "the install log is damaged at byte %zu\n", at);
    ++faults;
  }
  return records;
}

// The path below the destination, as the package names the file; the full path otherwise.
std::string shown(const std::string& path, const std::string& destination) {
  std::string prefix = destination + "\\";
  if (path.compare(0, prefix.size(), prefix) == 0) return utf8FromAnsi(path.substr(prefix.size()));
  return utf8FromAnsi(path);
}

void printFiles(const std::vector<Record>& records, const std::string& destination, std::FILE* out,
                int& faults) {
  std::fprintf(out, "files installed into %s:\n", utf8FromAnsi(destination).c_str());
  for (const Record& r : records) {
    if (r.type != logFileRecord) continue;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(wideFromAnsi(r.path).c_str(), GetFileExInfoStandard, &data)) {
      unsigned long long size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
      std::fprintf(out, "  %10llu  %s\n", size, shown(r.path, destination).c_str());
    } else {
      std::fprintf(out, "  %10s  %s\n", "missing", shown(r.path, destination).c_str());
      ++faults;
    }
  }
}

// One link's target, arguments and working directory, read back through the shell.
bool printLink(const std::string& path, std::FILE* out) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  IPersistFile* file = nullptr;
  bool loaded =
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(wideFromAnsi(path).c_str(), STGM_READ));
  if (loaded) {
    wchar_t target[MAX_PATH + 1] = L"", arguments[1024] = L"", folder[MAX_PATH + 1] = L"";
    link->GetPath(target, MAX_PATH + 1, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, 1024);
    link->GetWorkingDirectory(folder, MAX_PATH + 1);
    std::fprintf(out, "    target: %s\n    arguments: %s\n    working directory: %s\n",
                 utf8(target).c_str(), utf8(arguments).c_str(), utf8(folder).c_str());
  }
  if (file) file->Release();
  link->Release();
  return loaded;
}

void printLinks(const std::vector<Record>& records, std::FILE* out, int& faults) {
  std::fprintf(out, "shortcuts:\n");
  for (const Record& r : records) {
    if (r.type != logShortcutRecord) continue;
    std::fprintf(out, "  %s\n", utf8FromAnsi(r.path).c_str());
    if (!printLink(r.path, out)) {
      std::fprintf(out, "    missing, or not a shortcut\n");
      ++faults;
    }
  }
}

}  // namespace

int reportInstallation(const std::string& destination, std::FILE* out) {
  int faults = 0;
  std::string logFile = destination + "\\" + logName;
  std::vector<Record> records = readLog(logFile, out, faults);
  printFiles(records, destination, out, faults);
  CoInitialize(nullptr);
  printLinks(records, out, faults);
  CoUninitialize();
  std::fprintf(out, "install log %s, %zu records:\n", utf8FromAnsi(logFile).c_str(),
               records.size());
  for (const Record& r : records)
    std::fprintf(out, "  %-8s  %s\n", r.type == logFileRecord ? "file" : "shortcut",
                 utf8FromAnsi(r.path).c_str());
  return faults;
}

}  // namespace walk
