// uninstall.exe end to end under Wine and Xvfb: packages made by the packager with the
// uninstaller in them, installed through the wizard, removed through the uninstaller's window or
// with /S; and logs that a tampered or damaged install would leave.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "silent_run.h"
#include "test_files.h"
#include "wizard_driver.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const fs::path setupExe = hostPath(QZ_SETUP_EXE);
const fs::path uninstallExe = hostPath(QZ_UNINSTALL_EXE);
constexpr DWORD deadline = 60000;  // generous: the machine may be busy

fs::path shellFolder(const char* name) {
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  RegGetValueA(HKEY_CURRENT_USER,
               "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name,
               RRF_RT_REG_SZ, nullptr, value, &size);
  return value;
}

fs::path windowsFolder() {
  char folder[MAX_PATH] = "";
  GetWindowsDirectoryA(folder, MAX_PATH);
  return folder;
}

// Runs a host (Unix) program on paths of this prefix. Wine hands it to the host without waiting
// for it: callers wait for its effect.
bool runOnHost(const char* program, std::string arguments, const std::vector<fs::path>& paths) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::string command = std::string(program) + " " + arguments;
  for (const fs::path& path : paths) {
    char* name = unixName ? unixName(path.wstring().c_str()) : nullptr;
    if (!name) return false;
    command += " \"" + std::string(name) + "\"";
    HeapFree(GetProcessHeap(), 0, name);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string file = hostPath(program).string();
  if (!CreateProcessA(file.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// A folder link made by the host's ln: Wine can make no junction, but shows a Unix symbolic link
// as a reparse point. Removed by the host's rm, so that nothing follows it into its target.
class ReparsePoint {
 public:
  ReparsePoint(const fs::path& link, const fs::path& target) : link_(link) {
    made_ = runOnHost("/bin/ln", "-s", {target, link}) && await(true);
  }
  ~ReparsePoint() {
    if (runOnHost("/bin/rm", "", {link_})) await(false);
  }
  bool made() const { return made_; }

 private:
  bool await(bool present) const {
    for (DWORD start = GetTickCount(); GetTickCount() - start < deadline; Sleep(20)) {
      DWORD attributes = GetFileAttributesW(link_.wstring().c_str());
      if ((attributes != INVALID_FILE_ATTRIBUTES) == present)
        return !present || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    return false;
  }
  fs::path link_;
  bool made_ = false;
};

// Checks each line of a report against the disk after the run: a kept folder is there, an item
// not removed is there.
void expectReportTrue(const std::string& report) {
  for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = report.substr(at, end - at);
    size_t colon = line.find(": "), reason = line.rfind(" (");
    ASSERT_TRUE(colon != std::string::npos && reason != std::string::npos) << line;
    std::string label = line.substr(0, colon), path = line.substr(colon + 2, reason - colon - 2);
    if (label == "Kept") {
      EXPECT_TRUE(fs::is_directory(path)) << line;
    } else if (label == "Not removed") {
      EXPECT_TRUE(fs::exists(path)) << line;
    }
  }
}

// The uninstaller's test hook: at a step it signals NAME-step and waits for NAME-step-go.
class Pause {
 public:
  explicit Pause(const std::string& step) : name_("qz-pause-" + std::to_string(GetCurrentProcessId())) {
    reached_ = CreateEventA(nullptr, TRUE, FALSE, (name_ + "-" + step).c_str());
    go_ = CreateEventA(nullptr, TRUE, FALSE, (name_ + "-" + step + "-go").c_str());
    SetEnvironmentVariableA("QZ_UNINSTALL_PAUSE", name_.c_str());
  }
  ~Pause() {
    SetEvent(go_);
    SetEnvironmentVariableA("QZ_UNINSTALL_PAUSE", nullptr);
    CloseHandle(reached_);
    CloseHandle(go_);
  }
  bool reached() const { return WaitForSingleObject(reached_, deadline) == WAIT_OBJECT_0; }
  void go() const { SetEvent(go_); }

 private:
  std::string name_;
  HANDLE reached_, go_;
};

// The clean-up copy's folder, the only thing in temp while the copy waits: an unguessable name.
// (Its owner-only DACL is not checked: Wine 8 reads a folder's DACL back as its own default.)
void expectPrivateCopyFolder(const fs::path& temp) {
  auto entry = fs::directory_iterator(temp);
  ASSERT_NE(entry, fs::directory_iterator());
  const std::string name = entry->path().filename().string();
  EXPECT_EQ(name.size(), 4u + 32u) << name;
  EXPECT_EQ(name.rfind("qzu-", 0), 0u) << name;
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 4), std::string::npos) << name;
}

// Runs program /S on a thread of its own, its outcome collected once it ends.
struct Background {
  explicit Background(const fs::path& program)
      : thread([this, program] { outcome = runSilently(program); }) {}
  ~Background() { finish(); }
  const Outcome& finish() {
    if (thread.joinable()) thread.join();
    return outcome;
  }
  Outcome outcome{STILL_ACTIVE, ""};
  std::thread thread;
};

class Uninstall : public ::testing::Test {
 protected:
  void SetUp() override {
    // The clean-up copy's private folder goes here, where the test can see what remains.
    fs::create_directories(temp);
    SetEnvironmentVariableA("TMP", temp.string().c_str());
    SetEnvironmentVariableA("TEMP", temp.string().c_str());
  }
  void TearDown() override {
    std::error_code ec;  // the links outside the scratch folder go even when a test fails
    fs::remove_all(programs / unique, ec);
    fs::remove(desktop / (unique + ".lnk"), ec);
    fs::remove(windowsLink, ec);
  }

  // Packs the program with the uninstaller under test, with these extra manifest keys, and
  // installs it through the wizard.
  void install(const std::string& keys = "") {
    writeFile(folder / "payload/readme.txt", std::string("read me"));
    writeFile(folder / "payload/data/level.dat", mixedBytes(5000, 1));
    writeFile(folder / "payload/data/maps/one.map", std::string("map"));
    writeFile(folder / "payload/data/sounds/one.wav", std::string("wav"));
    std::string manifest = keys + R"(title = "Tarn Test"
defaultDestination = '@DEST@'
source = "payload"
uninstaller = true
uninstallShortcut = '%PROGRAMS%\@UNIQUE@\Tarn\Uninstall'
[[component]]
name = "Program"
required = true
files = ['readme.txt', 'data\level.dat', 'data\maps\one.map', 'data\sounds\one.wav']
  [[component.shortcut]]
  target = '%PROGRAMDIR%\readme.txt'
  linkName = '%PROGRAMS%\@UNIQUE@\Tarn\Read me'
  [[component.shortcut]]
  target = '%PROGRAMDIR%\readme.txt'
  linkName = '%DESKTOP%\@UNIQUE@'
  [[component.shortcut]]
  target = '%PROGRAMDIR%\readme.txt'
  linkName = '%PROGRAMDIR%\Links\Read me'
)";
    for (const auto& [token, value] : {std::pair{"@DEST@", dest.string()}, {"@UNIQUE@", unique}})
      for (size_t at; (at = manifest.find(token)) != std::string::npos;)
        manifest.replace(at, std::strlen(token), value);
    driver::Installer setup(buildPackage(folder, manifest, setupExe, uninstallExe));
    ASSERT_TRUE(setup.startRun(deadline));
    ASSERT_NO_FATAL_FAILURE(finishRun(setup));
    installed = logRecords(dest / "_qzsetup.log");
    ASSERT_EQ(installed.size(), 9u);
  }

  static void finishRun(driver::Installer& setup) {
    driver::MessageBox done = setup.waitForMessageBox(deadline);
    ASSERT_EQ(done.text, "Installation finished");
    setup.answer(done, IDOK);
    setup.click(setup.finish());
    ASSERT_EQ(setup.waitForExit(deadline), 0u);
  }

  // Waits until the clean-up copy has deleted uninstall.exe and left the temporary folder empty;
  // returns what is left after the deadline, or nothing.
  std::string leftOver() const {
    for (DWORD start = GetTickCount(); GetTickCount() - start < deadline; Sleep(50))
      if (!fs::exists(dest / "uninstall.exe") && fs::is_empty(temp)) return "";
    std::string left;
    if (fs::exists(dest / "uninstall.exe")) left += (dest / "uninstall.exe").string() + " ";
    for (const auto& entry : fs::recursive_directory_iterator(temp))
      left += entry.path().string() + " ";
    return left;
  }

  void expectInstalledGone() const {
    for (const auto& [type, path] : installed) EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_FALSE(fs::exists(programs / unique)) << "the Start Menu folders made for links";
    EXPECT_TRUE(fs::is_directory(programs)) << "a shell folder";
    EXPECT_TRUE(fs::is_directory(desktop)) << "a shell folder";
    EXPECT_FALSE(fs::exists(dest / "_qzsetup.log"));
  }

  ScratchFolder folder;
  const fs::path temp = folder / "tmp", dest = folder / "Tarn Demo";
  const std::string unique = folder.path().filename().string();
  const fs::path programs = shellFolder("Programs"), desktop = shellFolder("Desktop");
  const fs::path windowsLink = windowsFolder() / (unique + ".lnk");
  LogRecords installed;
};

TEST_F(Uninstall, ItsWindowAsksShowsProgressThenRemovesEverythingListedAndItself) {
  ASSERT_NO_FATAL_FAILURE(install());
  const std::string question =
      "Remove the program in `" + dest.string() + "` (5 files, 4 shortcuts)?";
  {
    driver::Installer declined(dest / "uninstall.exe");
    driver::MessageBox box = declined.waitForMessageBox(deadline);
    EXPECT_EQ(box.text, question);
    EXPECT_EQ(box.caption, "Uninstall");
    declined.answer(box, IDNO);
    EXPECT_EQ(declined.waitForExit(deadline), 1u);
  }
  for (const auto& [type, path] : installed) EXPECT_TRUE(fs::exists(path)) << path;
  EXPECT_TRUE(fs::exists(dest / "_qzsetup.log"));

  Pause pause("judged");
  driver::Installer run(dest / "uninstall.exe");
  driver::MessageBox box = run.waitForMessageBox(deadline);
  ASSERT_EQ(box.text, question);
  run.answer(box, IDYES);
  ASSERT_TRUE(pause.reached());
  HWND progress = run.waitForDialog(100, deadline);
  ASSERT_TRUE(progress) << "no progress window";
  EXPECT_EQ(driver::Installer::text(GetDlgItem(progress, 100)),
            "Removing the program in " + dest.string());
  pause.go();
  driver::MessageBox done = run.waitForMessageBox(deadline);
  // Both folders below data empty before data does: none is reported kept.
  EXPECT_EQ(done.text, "The program in `" + dest.string() +
                           "` was removed: 4 files, 4 shortcuts and 6 folders.");
  run.answer(done, IDOK);
  EXPECT_EQ(run.waitForExit(deadline), 0u);
  ASSERT_EQ(leftOver(), "");
  expectInstalledGone();
  EXPECT_FALSE(fs::exists(dest)) << "the emptied install folder";
}

TEST_F(Uninstall, ABrandedPackageInstallsAndItsUninstallerRemovesItSilently) {
  writeFile(folder / "app.ico", iconFile({16, 32, 48}));
  ASSERT_NO_FATAL_FAILURE(install(
      "executionLevel = \"user\"\nicon = \"app.ico\"\nversion = \"2.5\"\n"
      "publisher = \"Corvalline\"\ncopyright = \"(c) Corvalline\"\n"));
  // The installed uninstall.exe carries its package's version information.
  std::wstring path = (dest / "uninstall.exe").wstring();
  DWORD ignored = 0, size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<BYTE> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(size && GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x20005u);
  Outcome run = runSilently(dest / "uninstall.exe");
  EXPECT_EQ(run.code, 0u) << run.errors;
  ASSERT_EQ(leftOver(), "");
  expectInstalledGone();
}

TEST_F(Uninstall, SilentlyKeepsAUsersFileWithItsFoldersAndASecondRunFindsNoLog) {
  ASSERT_NO_FATAL_FAILURE(install());
  writeFile(dest / "data/notes.txt", std::string("the user's own"));
  SetFileAttributesW((dest / "readme.txt").wstring().c_str(), FILE_ATTRIBUTE_READONLY);
  Outcome run = runSilently(dest / "uninstall.exe");
  EXPECT_EQ(run.code, 0u) << run.errors;
  const std::string reason = " (it holds files that were not installed)\n";
  EXPECT_EQ(run.errors,
            "Kept: " + (dest / "data").string() + reason + "Kept: " + dest.string() + reason);
  expectReportTrue(run.errors);
  ASSERT_EQ(leftOver(), "");
  expectInstalledGone();
  EXPECT_FALSE(fs::exists(dest / "data/maps")) << "emptied";
  EXPECT_EQ(readFile(dest / "data/notes.txt"), bytesOf("the user's own"));

  fs::copy_file(uninstallExe, dest / "uninstall.exe");
  Outcome again = runSilently(dest / "uninstall.exe");
  EXPECT_EQ(again.code, 2u);
  EXPECT_EQ(again.errors,
            "There is no install log in `" + dest.string() + "`. Nothing was removed.\n");
  EXPECT_TRUE(fs::exists(dest / "uninstall.exe")) << "nothing was removed";
  EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(Uninstall, AFileInUseIsReportedAndARunAfterItsReleaseFinishes) {
  ASSERT_NO_FATAL_FAILURE(install());
  fs::path busy = dest / "data" / "level.dat";
  HANDLE held = CreateFileW(busy.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Outcome run = runSilently(dest / "uninstall.exe");
  CloseHandle(held);
  EXPECT_EQ(run.code, 3u);
  EXPECT_EQ(run.errors, "Not removed: " + busy.string() + " (in use by another program)\n");
  expectReportTrue(run.errors);
  EXPECT_FALSE(fs::exists(dest / "data/maps")) << "emptied";
  EXPECT_FALSE(fs::exists(dest / "readme.txt")) << "the rest goes on";
  EXPECT_TRUE(fs::exists(dest / "_qzsetup.log")) << "kept for the next run";
  EXPECT_TRUE(fs::exists(dest / "uninstall.exe")) << "kept for the next run";
  EXPECT_TRUE(fs::is_empty(temp)) << "no clean-up copy";

  Outcome after = runSilently(dest / "uninstall.exe");
  EXPECT_EQ(after.code, 0u) << after.errors;
  ASSERT_EQ(leftOver(), "");
  expectInstalledGone();
  EXPECT_FALSE(fs::exists(dest));
}

TEST_F(Uninstall, RefusesWhatALogMayNotRemoveAndRemovesNothingOnADamagedLog) {
  fs::path outside = folder / "victim.txt", sibling = folder / "Tarn Demo 2";
  fs::path elsewhere = folder / "elsewhere/x.lnk", target = folder / "target";
  const std::vector<fs::path> victims = {outside,    sibling / "victim.txt", elsewhere,
                                         windowsLink, target / "victim.txt",   dest / "notes.txt"};
  for (const fs::path& victim : victims) writeFile(victim, std::string("keep"));
  ReparsePoint link(dest / "link", target);
  ASSERT_TRUE(link.made());
  char shortSibling[MAX_PATH] = "", shortDest[MAX_PATH] = "";
  ASSERT_GT(GetShortPathNameA(sibling.string().c_str(), shortSibling, MAX_PATH), 0u);
  ASSERT_GT(GetShortPathNameA(dest.string().c_str(), shortDest, MAX_PATH), 0u);
  ASSERT_NE(fs::path(shortDest).filename(), dest.filename()) << "an 8.3 alias";
  const std::string d = dest.string(), inside = d + "\\inside.txt";
  const std::string kept = "Kept: " + d + " (it holds files that were not installed)\n";
  auto refusal = [&](const std::string& path, const std::string& reason) {
    return "Refused: " + path + " (" + reason + ")\n" + kept;
  };
  const std::string outsideFolder = "outside the program folder";
  const std::string outsideLinkFolders = "outside the program folder and the shortcut folders";
  const struct {
    const char* what;
    LogRecords records;
    std::string raw;  // bytes after the records
    bool noLog;
    DWORD code;
    std::string errors;
  } cases[] = {
      {"file outside",
       {{1, inside}, {1, outside.string()}},
       "",
       false,
       3,
       refusal(outside.string(), outsideFolder)},
      {"'..' path",
       {{1, inside}, {1, d + "\\..\\victim.txt"}},
       "",
       false,
       3,
       refusal(d + "\\..\\victim.txt", outsideFolder)},
      {"8.3 alias of a folder beside it",
       {{1, inside}, {1, std::string(shortSibling) + "\\victim.txt"}},
       "",
       false,
       3,
       refusal(std::string(shortSibling) + "\\victim.txt", outsideFolder)},
      {"8.3 alias of the folder itself",
       {{1, std::string(shortDest) + "\\inside.txt"}},
       "",
       false,
       0,
       kept},
      {"shortcut record that is not a .lnk",
       {{1, inside}, {2, d + "\\notes.txt"}},
       "",
       false,
       3,
       refusal(d + "\\notes.txt", "a shortcut record that does not name a .lnk file")},
      {".lnk outside every allowed folder",
       {{1, inside}, {2, elsewhere.string()}},
       "",
       false,
       3,
       refusal(elsewhere.string(), outsideLinkFolders)},
      {".lnk in the Windows folder",
       {{1, inside}, {2, windowsLink.string()}},
       "",
       false,
       3,
       refusal(windowsLink.string(), outsideLinkFolders)},
      {"through a reparse point",
       {{1, inside}, {1, d + "\\link\\victim.txt"}},
       "",
       false,
       3,
       refusal(d + "\\link\\victim.txt", "it passes through a junction or another reparse point")},
      {"truncated log",
       {{1, inside}},
       std::string("\x01") + "C:\\Windows\\win",
       false,
       2,
       "The install log `" + d + "\\_qzsetup.log` is damaged: a path that is cut short at byte " +
           std::to_string(inside.size() + 2) + ". Nothing was removed.\n"},
      {"empty log",
       {},
       "",
       false,
       2,
       "The install log `" + d + "\\_qzsetup.log` is empty. Nothing was removed.\n"},
      {"no log", {}, "", true, 2, "There is no install log in `" + d + "`. Nothing was removed.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::copy_file(uninstallExe, dest / "uninstall.exe", fs::copy_options::overwrite_existing);
    writeFile(dest / "inside.txt", std::string("ours"));
    Bytes log = logOf(c.records);
    log.insert(log.end(), c.raw.begin(), c.raw.end());
    fs::remove(dest / "_qzsetup.log");
    if (!c.noLog) writeFile(dest / "_qzsetup.log", log);
    Outcome run = runSilently(dest / "uninstall.exe");
    EXPECT_EQ(run.code, c.code);
    EXPECT_EQ(run.errors, c.errors);
    if (c.code != 2) expectReportTrue(run.errors);
    EXPECT_EQ(fs::exists(dest / "inside.txt"), c.code == 2) << "removed unless the log is damaged";
    for (const fs::path& victim : victims) EXPECT_EQ(readFile(victim), bytesOf("keep")) << victim;
    if (c.code != 2) {
      EXPECT_EQ(leftOver(), "");
    }
  }
}

// Through the window a long report names its first items and says where the whole list is; the
// box fits the screen.
TEST_F(Uninstall, ALongReportFitsTheScreenAndItsFileHoldsEveryLine) {
  fs::create_directories(dest);
  fs::copy_file(uninstallExe, dest / "uninstall.exe");
  writeFile(dest / "inside.txt", std::string("ours"));
  LogRecords records = {{1, (dest / "inside.txt").string()}};
  for (int i = 0; i < 200; ++i)
    records.emplace_back(2, (folder / "elsewhere" / ("link number " + std::to_string(i) + " of a "
                                                     "long report.lnk")).string());
  writeFile(dest / "_qzsetup.log", logOf(records));
  driver::Installer run(dest / "uninstall.exe");
  driver::MessageBox box = run.waitForMessageBox(deadline);
  EXPECT_EQ(box.text, "Remove the program in `" + dest.string() + "` (1 file, 200 shortcuts)?");
  run.answer(box, IDYES);
  driver::MessageBox done = run.waitForMessageBox(deadline);
  RECT r{};
  ASSERT_TRUE(GetWindowRect(done.window, &r));
  EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= 1024 && r.bottom <= 768)
      << r.left << "," << r.top << " to " << r.right << "," << r.bottom;
  const std::string head = "The program in `" + dest.string() +
                           "` was removed, but not all that the install log lists. Removed: 1 "
                           "file, 0 shortcuts and 0 folders.\n\n";
  EXPECT_EQ(done.text.substr(0, head.size()), head);
  size_t named = 0;
  for (size_t at = 0; (at = done.text.find("Refused: ", at)) != std::string::npos; ++at) ++named;
  EXPECT_TRUE(named >= 5 && named <= 15) << named;
  const std::string more = "and " + std::to_string(200 - named) + " more items, all listed in `";
  size_t at = done.text.find(more);
  ASSERT_NE(at, std::string::npos) << done.text;
  fs::path list = done.text.substr(at + more.size(), done.text.size() - at - more.size() - 2);
  run.answer(done, IDOK);
  EXPECT_EQ(run.waitForExit(deadline), 3u);
  Bytes bytes = readFile(list);
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  size_t lines = 0;
  for (size_t i = 0; i < 200; ++i)
    lines += text.find(L"\\link number " + std::to_wstring(i) + L" of a long report.lnk (") !=
             std::wstring::npos;
  EXPECT_EQ(lines, 200u);
  EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 200);
  fs::remove(list);
  EXPECT_EQ(leftOver(), "");
}

// A folder swapped for a link to another place after the judging, or the install folder swapped
// before the clean-up copy deletes uninstall.exe: what the link leads to survives. The copy's
// folder is checked while the copy waits. Wine shows a
// host symbolic link as a reparse point and names the place it leads to as the open file's path.
TEST_F(Uninstall, AFolderSwappedForALinkLeavesWhatItLeadsTo) {
  const fs::path target = folder / "target", other = folder / "other";
  writeFile(target / "file.txt", std::string("keep"));
  writeFile(other / "uninstall.exe", std::string("keep"));
  writeFile(dest / "sub/file.txt", std::string("ours"));
  fs::copy_file(uninstallExe, dest / "uninstall.exe");
  writeFile(dest / "_qzsetup.log", logOf({{1, (dest / "sub/file.txt").string()}}));
  {
    Pause pause("judged");
    Background run(dest / "uninstall.exe");
    ASSERT_TRUE(pause.reached());
    fs::rename(dest / "sub", folder / "sub-moved");
    ReparsePoint link(dest / "sub", target);
    ASSERT_TRUE(link.made());
    pause.go();
    const Outcome& outcome = run.finish();
    EXPECT_EQ(outcome.code, 3u);
    const std::string reason = " (it passes through a junction or another reparse point)\n";
    EXPECT_EQ(outcome.errors, "Refused: " + (dest / "sub\\file.txt").string() + reason +
                                  "Refused: " + (dest / "sub").string() + reason + "Kept: " +
                                  dest.string() + " (it holds items that could not be removed)\n");
    expectReportTrue(outcome.errors);
    EXPECT_EQ(readFile(target / "file.txt"), bytesOf("keep"));
    // Its clean-up copy removes uninstall.exe, and the install folder were it empty: it must be
    // done while the link still holds the folder, not race the steps below.
    EXPECT_TRUE(driver::waitUntil([&] { return fs::is_empty(temp); }, deadline));
    EXPECT_FALSE(fs::exists(dest / "uninstall.exe"));
  }
  fs::copy_file(uninstallExe, dest / "uninstall.exe");
  fs::rename(folder / "sub-moved", dest / "sub");
  writeFile(dest / "_qzsetup.log", logOf({{1, (dest / "sub/file.txt").string()}}));
  {
    Pause pause("copy");
    Background run(dest / "uninstall.exe");
    ASSERT_TRUE(pause.reached());
    EXPECT_EQ(run.finish().code, 0u) << run.outcome.errors;
    expectPrivateCopyFolder(temp);
    fs::rename(dest, folder / "dest-moved");
    ReparsePoint link(dest, other);
    ASSERT_TRUE(link.made());
    pause.go();
    EXPECT_TRUE(driver::waitUntil([&] { return fs::is_empty(temp); }, deadline));
    EXPECT_EQ(readFile(other / "uninstall.exe"), bytesOf("keep"));
  }
  EXPECT_TRUE(fs::exists(folder / "dest-moved/uninstall.exe")) << "refused, so kept";
}

// At the root of a drive every file of it would count as the program's: nothing is removed. The
// drive is the test prefix's C:.
TEST_F(Uninstall, AtTheRootOfADriveRemovesNothing) {
  const fs::path root = "C:\\", keep = root / "qz-keep.txt", program = root / "uninstall.exe";
  writeFile(keep, std::string("keep"));
  fs::copy_file(uninstallExe, program, fs::copy_options::overwrite_existing);
  writeFile(root / "_qzsetup.log", logOf({{1, keep.string()}}));
  Outcome run = runSilently(program);
  EXPECT_EQ(run.code, 2u);
  EXPECT_NE(run.errors.find("root"), std::string::npos) << run.errors;
  EXPECT_EQ(readFile(keep), bytesOf("keep"));
  for (const fs::path& file : {keep, program, root / "_qzsetup.log"}) fs::remove(file);
}

// setup.exe ended part-way, as by a power cut, then the same package installed again into the
// same folder: the second run makes every file whole and lists exactly what it made, and its
// uninstaller then leaves nothing. scripts/reliability/killed-install.sh does this at ten points
// of a large package.
TEST_F(Uninstall, AfterAKilledRunAReinstallMakesEveryFileWholeAndItsUninstallerLeavesNothing) {
  // Small files, then a big one whose writing leaves time to kill, then more small files.
  std::vector<std::pair<std::string, Bytes>> payload = {{"big.bin", mixedBytes(24 << 20, 7)}};
  for (uint32_t i = 0; i < 200; ++i)
    payload.emplace_back((i < 150 ? "first\\" : "after\\") + std::to_string(i) + ".dat",
                         mixedBytes(1000 + 40 * i, i));
  for (const auto& [name, bytes] : payload) writeFile(folder / "payload" / name, bytes);
  std::string manifest = "title = 'Tarn Test'\ndefaultDestination = '" + dest.string() +
                         "'\nsource = 'payload'\ncompression = 'none'\nuninstaller = true\n";
  for (const char* files : {"first\\**", "big.bin", "after\\**"})
    manifest += "[[component]]\nname = '" + std::string(files, 3) +
                "'\nrequired = true\nfiles = ['" + files + "']\n";
  const fs::path package = buildPackage(folder, manifest, setupExe, uninstallExe);
  {
    driver::Installer killed(package);
    ASSERT_TRUE(killed.startRun(deadline));
    ASSERT_TRUE(driver::waitUntil([&] { return fs::exists(dest / "big.bin"); }, deadline));
    ASSERT_TRUE(killed.kill(deadline));
  }
  // What the user finds: a log of whole records that lists every whole file but, at most, the
  // one closed as setup died, and no file that is not whole.
  std::error_code ec;  // the folder of the last files may not be there yet
  size_t afterThere = 0;
  for (const auto& entry : fs::directory_iterator(dest / "after", ec)) afterThere += !!entry.exists();
  ASSERT_LT(afterThere, 50u) << "the kill came after the run";
  const Bytes log = readFile(dest / "_qzsetup.log");
  const LogRecords found = logRecords(dest / "_qzsetup.log");
  size_t wholeLog = 0, unlisted = 0, listedWhole = 0;
  for (const auto& [type, path] : found) wholeLog += path.size() + 2;
  EXPECT_EQ(wholeLog, log.size()) << "the log ends inside a record";
  for (const auto& [name, bytes] : payload) {
    const std::string path = (dest / name).string();
    bool whole = fs::exists(path) && readFile(path) == bytes;
    bool listed = std::count(found.begin(), found.end(), std::pair{1, path}) > 0;
    EXPECT_TRUE(whole || !listed) << path << " is listed but not whole";
    unlisted += whole && !listed;
    listedWhole += whole && listed;
  }
  EXPECT_LE(unlisted, 1u) << "whole files the log does not list";
  EXPECT_LE(found.size(), listedWhole + 1) << "records of more than these and uninstall.exe";

  driver::Installer again(package);
  ASSERT_TRUE(again.startRun(deadline));
  ASSERT_NO_FATAL_FAILURE(finishRun(again));
  for (const auto& [name, bytes] : payload) EXPECT_EQ(readFile(dest / name), bytes) << name;
  std::vector<std::string> made, listed;
  for (const auto& entry : fs::recursive_directory_iterator(dest))
    if (entry.is_regular_file() && entry.path().filename() != "_qzsetup.log")
      made.push_back(entry.path().string());
  for (const auto& [type, path] : logRecords(dest / "_qzsetup.log")) listed.push_back(path);
  std::sort(made.begin(), made.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(made.size(), payload.size() + 1) << "the payload and uninstall.exe";
  EXPECT_EQ(listed, made);

  Outcome run = runSilently(dest / "uninstall.exe");
  EXPECT_EQ(run.code, 0u) << run.errors;
  ASSERT_EQ(leftOver(), "");
  EXPECT_FALSE(fs::exists(dest)) << "the emptied install folder";
}

}  // namespace
