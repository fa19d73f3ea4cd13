// The installation run on packages made by the packager, under Wine: files, folders, shortcuts,
// the install log, progress, and every way a run can fail part-way.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "install/directories.h"
#include "install/install_run.h"
#include "manifest.h"
#include "package/header.h"
#include "package/package_file.h"
#include "package/services.h"
#include "package_writer.h"
#include "run_fixture.h"
#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Link {
  std::string path, description, workingDirectory, arguments;
};

Link readLink(const fs::path& file) {
  Link link;
  IShellLinkA* shell = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&shell))))
    return link;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    if (SUCCEEDED(persist->Load(file.wstring().c_str(), STGM_READ))) {
      char text[1024];
      if (SUCCEEDED(shell->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH))) link.path = text;
      if (SUCCEEDED(shell->GetDescription(text, sizeof text))) link.description = text;
      if (SUCCEEDED(shell->GetWorkingDirectory(text, sizeof text))) link.workingDirectory = text;
      if (SUCCEEDED(shell->GetArguments(text, sizeof text))) link.arguments = text;
    }
    persist->Release();
  }
  shell->Release();
  return link;
}

// A carrier whose header comes from manifest text and whose archive is given byte for byte.
fs::path craftCarrier(const ScratchFolder& folder, const std::string& manifest,
                      const Bytes& archive) {
  writeFile(folder / "crafted.toml", manifest);
  qzpack::Manifest m = qzpack::readManifest(folder / "crafted.toml");
  Bytes file = fakeStub();
  Bytes headerBytes = qzpack::headerBytes(m, 0);
  uint32_t archiveOffset = static_cast<uint32_t>(file.size() + headerBytes.size());
  headerBytes = qzpack::headerBytes(m, archiveOffset);
  for (int i = 0; i < 4; ++i) file[96 + i] = static_cast<unsigned char>(file.size() >> (8 * i));
  file.insert(file.end(), headerBytes.begin(), headerBytes.end());
  file.insert(file.end(), archive.begin(), archive.end());
  writeFile(folder / "crafted.exe", file);
  return folder / "crafted.exe";
}

TEST_F(InstallRun, FilesInReverseHeaderOrderAndTheLogByteForByte) {
  writeFile(folder / "a.txt", std::string("alpha"));
  writeFile(folder / "b.txt", std::string("bravo!"));
  package(R"(
title = "T"
[[component]]
name = "Main"
files = ["a.txt", "b.txt"]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\a.txt"
  linkName = "%PROGRAMDIR%\\First"
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\b.txt"
  linkName = "%PROGRAMDIR%\\Second"
)");
  ASSERT_EQ(run(1), installDone) << failure.path;
  EXPECT_EQ(readFile(dest("a.txt")), bytesOf("alpha"));
  EXPECT_EQ(readFile(dest("b.txt")), bytesOf("bravo!"));
  std::string d = destination + "\\";
  EXPECT_EQ(readFile(dest("_qzsetup.log")), logOf({{1, d + "b.txt"},
                                                   {1, d + "a.txt"},
                                                   {2, destination + "\\Second.lnk"},
                                                   {2, destination + "\\First.lnk"}}));
  EXPECT_EQ(installLog, nullptr) << "the log is closed at the end of the run";
}

TEST_F(InstallRun, OneFileOneShortcutLogAndADestinationEndingInABackslash) {
  writeFile(folder / "a.txt", std::string("x"));
  package(R"(
title = "T"
[[component]]
name = "Main"
files = ["a.txt"]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\a.txt"
  linkName = "%PROGRAMDIR%\\A"
)");
  destination += "\\";
  ASSERT_EQ(run(1), installDone) << failure.path;
  std::string base = destination.substr(0, destination.size() - 1);
  EXPECT_EQ(readFile(dest("_qzsetup.log")),
            logOf({{1, destination + "\\a.txt"}, {2, base + "\\A.lnk"}}))
      << "paths are logged as used, with two backslashes";
}

TEST_F(InstallRun, ShortcutsReadBackWithTheirExpandedPathsAndUnexpandedArguments) {
  writeFile(folder / "tool.exe", std::string("MZ"));
  package(R"(
title = "T"
shortcutFolder = "%PROGRAMDIR%\\Menu"
[[field]]
caption = "Name"
variableName = "NAME"
[[component]]
name = "Main"
files = ["tool.exe"]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\tool.exe"
  arguments = "--name %NAME%"
  workingDirectory = "%PROGRAMDIR%\\%NAME%"
  linkName = "Sub\\Tool"
)");
  fields = {"ann"};
  ASSERT_EQ(run(1), installDone) << failure.path;
  fs::path linkFile = dest("Menu/Sub/Tool.lnk");
  ASSERT_TRUE(fs::exists(linkFile)) << "the link's folders are created";
  Link link = readLink(linkFile);
  EXPECT_EQ(link.path, destination + "\\tool.exe");
  EXPECT_EQ(link.description, destination + "\\tool.exe");
  EXPECT_EQ(link.workingDirectory, destination + "\\ann");
  EXPECT_EQ(link.arguments, "--name %NAME%");
}

TEST_F(InstallRun, FullInstallsEveryComponentCustomOnlyTheSelectedRows) {
  writeFile(folder / "1.txt", std::string("1"));
  writeFile(folder / "2.txt", std::string("2"));
  writeFile(folder / "3.txt", std::string("3"));
  const char* manifest = R"(
title = "T"
[[component]]
name = "One"
files = ["1.txt"]
[[component]]
name = "Two"
selected = false
files = ["2.txt"]
[[component]]
name = "Three"
selected = false
files = ["3.txt"]
)";
  package(manifest);
  ASSERT_EQ(run(1), installDone);
  for (const char* name : {"1.txt", "2.txt", "3.txt"}) EXPECT_TRUE(fs::exists(dest(name))) << name;

  fs::remove_all(dest());
  selectedRows = {false, false, true};
  ASSERT_EQ(run(0), installDone);
  EXPECT_FALSE(fs::exists(dest("1.txt")));
  EXPECT_FALSE(fs::exists(dest("2.txt")));
  EXPECT_TRUE(fs::exists(dest("3.txt")));
  EXPECT_EQ(readFile(dest("_qzsetup.log")), logOf({{1, destination + "\\3.txt"}}));
}

TEST_F(InstallRun, ProgressCountsTwoUnitsPerByteAndOnePerShortcut) {
  std::string files, shortcuts;
  for (int i = 0; i < 11; ++i) {
    writeFile(folder / ("f" + std::to_string(i)), mixedBytes(1000, i));
    files += (i ? ", \"f" : "\"f") + std::to_string(i) + "\"";
  }
  for (int i = 0; i < 5; ++i)
    shortcuts += "[[component.shortcut]]\ntarget = \"x\"\nlinkName = \"%PROGRAMDIR%\\\\s" +
                 std::to_string(i) + "\"\n";
  package("title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [" + files + "]\n" + shortcuts);
  ASSERT_EQ(run(1), installDone) << failure.path;
  EXPECT_EQ(progressTotal, 22005);
  EXPECT_EQ(progressDone, 22005);
  ASSERT_EQ(progress.size(), 11u * 2 + 5);
  EXPECT_EQ(inputDrops, 11 + 5) << "input is dropped after each chunk and each shortcut";
  int32_t last = 0;
  for (auto [done, total] : progress) {
    EXPECT_EQ(total, 22005);
    EXPECT_GT(done, last);
    last = done;
  }
}

TEST_F(InstallRun, CountersForPayloadsOverOneGibibyteStayInProportion) {
  int32_t done, total;
  scaleProgress(1000, 22005, &done, &total);
  EXPECT_EQ(done, 1000);
  EXPECT_EQ(total, 22005) << "small totals reach drawProgress unchanged";
  int64_t big = 2 * int64_t{3} * 1024 * 1024 * 1024 + 7;  // a 3 GiB payload
  int32_t previous = -1;
  for (int64_t d = 0; d <= big; d += big / 64) {
    scaleProgress(d, big, &done, &total);
    EXPECT_GT(total, 0);
    EXPECT_GE(done, 0);
    EXPECT_LE(done, total);
    EXPECT_GE(done, previous);
    EXPECT_NEAR(double(done) / total, double(d) / big, 1e-6);
    previous = done;
  }
  scaleProgress(big, big, &done, &total);
  EXPECT_EQ(done, total);
}

TEST_F(InstallRun, EmptyAndAbsentEntriesAreCreatedEmptyAndExistingFilesOverwritten) {
  writeFile(folder / "empty.dat", Bytes());
  writeFile(folder / "full.dat", std::string("content"));
  // The header lists absent.dat, but the archive (otherwise intact) lacks it.
  writeFile(folder / "absent.dat", Bytes());  // only for the manifest reader
  Bytes archive;
  putU32(archive, 8 + 18 + 17 + 1);
  putU32(archive, 0);
  putString(archive, "empty.dat");
  putU32(archive, 0);
  putU32(archive, 0);
  putString(archive, "full.dat");
  putU32(archive, 0);
  putU32(archive, 7);
  archive.push_back(0);
  for (char c : std::string("content")) archive.push_back(static_cast<unsigned char>(c));
  load(craftCarrier(folder, R"(
title = "T"
compression = "none"
[[component]]
name = "C"
files = ["empty.dat", "full.dat", "absent.dat"]
)",
                    archive));

  writeFile(dest("full.dat"), std::string("old and longer content"));
  writeFile(dest("_qzsetup.log"), std::string("an older log"));
  ASSERT_EQ(run(1), installDone) << failure.path;
  EXPECT_EQ(progressTotal, 14);
  EXPECT_EQ(progressDone, 14) << "empty and absent files add nothing";
  EXPECT_EQ(readFile(dest("empty.dat")).size(), 0u);
  EXPECT_EQ(readFile(dest("absent.dat")).size(), 0u);
  EXPECT_EQ(readFile(dest("full.dat")), bytesOf("content"));
  std::string d = destination + "\\";
  EXPECT_EQ(readFile(dest("_qzsetup.log")),
            logOf({{1, d + "absent.dat"}, {1, d + "full.dat"}, {1, d + "empty.dat"}}));
}

TEST_F(InstallRun, NoCarrierOnlyWhenTheCarrierCannotBeOpened) {
  writeFile(folder / "a.txt", std::string("a"));
  package("title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [\"a.txt\"]\n");
  useCarrier((folder / "gone.exe").string());
  progressDone = 5;
  EXPECT_EQ(run(1), installNoCarrier);
  EXPECT_FALSE(fs::exists(dest())) << "nothing is done";
  EXPECT_EQ(progressDone, 5) << "no counter changes";
  EXPECT_TRUE(progress.empty());

  // An intact archive with an empty directory lets the run go on: files are created empty.
  freeSetupHeader();
  load(craftCarrier(folder, "title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [\"a.txt\"]\n",
                    Bytes{9, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(run(1), installDone) << failure.path;
  EXPECT_EQ(readFile(dest("a.txt")).size(), 0u);
}

TEST_F(InstallRun, FileNameWithAFolderPartGoesIntoThatFolder) {
  writeFile(folder / "one.dat", std::string("level one"));
  struct Case {
    const char* name;   // as the header gives it
    const char* field;  // the value of %SUB%
    const char* installed;
  };
  for (const Case& c : {Case{"data\\levels\\one.dat", "", "data/levels/one.dat"},
                        Case{"%SUB%.dat", "levels\\one", "levels/one.dat"},
                        Case{"%SUB%.dat", "deep/er/one", "deep/er/one.dat"}}) {
    SCOPED_TRACE(c.name + std::string(" with ") + c.field);
    freeSetupHeader();
    selectedRows.clear();
    package(
        "title = \"T\"\n[[field]]\ncaption = \"S\"\nvariableName = \"SUB\"\n"
        "[[component]]\nname = \"C\"\nfiles = [{ name = '" +
        std::string(c.name) + "', from = \"one.dat\" }]\n");
    fields = {c.field};
    fs::remove_all(dest());
    ASSERT_EQ(run(1), installDone) << failure.path;
    EXPECT_EQ(readFile(dest(c.installed)), bytesOf("level one"));
  }
}

// Every path below root but those below skipped: what a run must leave as it found it.
std::vector<fs::path> treeBut(const fs::path& root, const fs::path& skipped) {
  std::vector<fs::path> paths;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path() == skipped) it.disable_recursion_pending();
    paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST_F(InstallRun, NamesThatLeaveTheDestinationFailPartWayWritingNothingOutsideIt) {
  writeFile(folder / "good.txt", std::string("good"));
  writeFile(folder / "bad.txt", std::string("bad"));
  destination = (folder / "outer" / "dest").string();
  struct Case {
    const char* name;   // as patched into the header
    const char* field;  // the value of %F%
  };
  for (const Case& c : {Case{"..\\x", ""}, Case{"a\\..\\..\\x", ""}, Case{"\\x", ""},
                        Case{"C:x", ""}, Case{"x:s", ""}, Case{"CON", ""},
                        Case{"%F%\\x", "..\\.."}, Case{"%F%", "..\\x"}, Case{"%F%x", "C:"}}) {
    SCOPED_TRACE(c.name + std::string(" with ") + c.field);
    bool fixed = !std::strchr(c.name, '%');
    std::string placeholder = fixed ? std::string(std::strlen(c.name), 'Q') : c.name;
    Bytes bytes = readFile(buildPackage(
        folder,
        "title = \"T\"\ncompression = \"none\"\n[[field]]\ncaption = \"F\"\nvariableName = "
        "\"F\"\n[[component]]\nname = \"C\"\nfiles = [{ name = '" +
            placeholder + "', from = \"bad.txt\" }, \"good.txt\"]\n"));
    replaceAll(bytes, placeholder, c.name);
    useCarrier("");
    writeFile(folder / "patched.exe", bytes);
    freeSetupHeader();
    selectedRows.clear();
    std::string path = (folder / "patched.exe").string();
    EXPECT_EQ(readSetupHeader(path.c_str(), true, nullptr), fixed ? headerNameOutside : headerOk)
        << "a fixed name is refused before the wizard starts";
    ASSERT_EQ(readSetupHeader(path.c_str(), false, addComponentRow), headerOk);
    useCarrier(path);
    fields = {c.field};
    fs::remove_all(folder / "outer");
    fs::create_directories(dest());
    std::vector<fs::path> outside = treeBut(folder.path(), destination);
    ASSERT_EQ(run(1), installFailed);
    EXPECT_EQ(failure.fault, faultDamagedArchive);
    EXPECT_STREQ(failure.path, c.name);
    EXPECT_EQ(treeBut(folder.path(), destination), outside);
    EXPECT_EQ(treeBut(dest(), {}), (std::vector<fs::path>{dest("_qzsetup.log"), dest("good.txt")}));
    EXPECT_EQ(readFile(dest("_qzsetup.log")), logOf({{1, destination + "\\good.txt"}}));
  }
}

// Starts a program of the build machine on the host's names of paths: Wine starts those too,
// without a process to wait for. False where it cannot (not under Wine).
bool startOnHost(const char* program, const std::vector<fs::path>& paths) {
  auto unixName = reinterpret_cast<char* (*)(const wchar_t*)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
  if (!unixName) return false;
  std::string command = program;
  for (const fs::path& path : paths) command += std::string(" ") + unixName(path.c_str());
  // Its own output goes nowhere: a host program given the test's took the test's own with it.
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE nowhere = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0,
                               nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
  PROCESS_INFORMATION process;
  bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(nowhere);
  if (!started) return false;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

// Whether path is there as a reparse point, or (when wanted is false) not there at all, within
// a minute.
bool becomes(const fs::path& path, bool wanted) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(10)) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (wanted ? attributes != INVALID_FILE_ATTRIBUTES &&
                     (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
               : attributes == INVALID_FILE_ATTRIBUTES)
      return true;
  }
  return false;
}

// Wine 8 sets no reparse point (FSCTL_SET_REPARSE_POINT is not supported) but shows the host's
// symbolic link to a folder as a folder that is one: a junction as far as the stub can tell.
// Removed with the host's rm, since Wine's RemoveDirectory removes the folder it leads to.
struct Junction {
  Junction(const fs::path& path, const fs::path& target) : link(fs::absolute(path)) {
    planted = startOnHost("Z:\\bin\\ln -s", {fs::absolute(target), link}) && becomes(link, true);
  }
  ~Junction() {
    if (startOnHost("Z:\\bin\\rm", {link})) becomes(link, false);
  }
  fs::path link;
  bool planted;
};

TEST_F(InstallRun, AJunctionBelowTheDestinationIsRefusedWhileTheDestinationMayBeOne) {
  writeFile(folder / "a.txt", std::string("a"));
  fs::path elsewhere = folder / "elsewhere";
  struct Case {
    const char* link;  // below the destination, or "" for the destination itself
    const char* name;
    bool refused;
  };
  for (const Case& c : {Case{"sub", "sub\\a.txt", true}, Case{"x\\sub", "x\\sub\\y\\a.txt", true},
                        Case{"", "a.txt", false}}) {
    SCOPED_TRACE(c.name);
    freeSetupHeader();
    selectedRows.clear();
    package("title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [{ name = '" +
            std::string(c.name) + "', from = \"a.txt\" }]\n");
    fs::remove_all(dest());
    fs::remove_all(elsewhere);
    fs::create_directories(elsewhere);
    if (c.link[0]) fs::create_directories(dest(c.link).parent_path());
    Junction junction(c.link[0] ? dest(c.link) : fs::path(destination), elsewhere);
    if (!junction.planted) GTEST_SKIP() << "no junctions here (only Wine's are made)";
    InstallOutcome outcome = run(1);
    if (!c.refused) {
      EXPECT_EQ(outcome, installDone) << failure.path;
      EXPECT_EQ(readFile(elsewhere / "a.txt"), bytesOf("a"));
      continue;
    }
    ASSERT_EQ(outcome, installFailed);
    EXPECT_EQ(failure.fault, faultCannotWrite);
    EXPECT_EQ(std::string(failure.path), destination + "\\" + c.name);
    EXPECT_TRUE(fs::is_empty(elsewhere)) << "nothing written through the junction";
    EXPECT_EQ(readFile(dest("_qzsetup.log")), Bytes());
  }
}

TEST_F(InstallRun, CarrierCutShortInsideItsArchiveFailsPartWay) {
  writeFile(folder / "big.bin", mixedBytes(200000, 3));
  package("title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [\"big.bin\"]\n");
  Bytes bytes = readFile(packagePath);
  for (size_t keep : {bytes.size() - 1000, bytes.size() - 100000}) {
    useCarrier("");
    writeFile(folder / "cut.exe", Bytes(bytes.begin(), bytes.begin() + static_cast<long>(keep)));
    freeSetupHeader();
    load(folder / "cut.exe");
    fs::remove_all(dest());
    ASSERT_EQ(run(1), installFailed) << "kept " << keep;
    EXPECT_EQ(failure.fault, faultDamagedArchive);
    EXPECT_FALSE(fs::exists(dest("big.bin")));
  }
  // Cut before the archive's data: refused before anything is written.
  size_t archiveAt = header.archiveOffset;
  useCarrier("");
  writeFile(folder / "cut.exe",
            Bytes(bytes.begin(), bytes.begin() + static_cast<long>(archiveAt + 20)));
  freeSetupHeader();
  std::string cutPath = (folder / "cut.exe").string();
  useCarrier(cutPath);
  readSetupHeader(cutPath.c_str(), false, nullptr);
  fs::remove_all(dest());
  ASSERT_EQ(run(1), installFailed);
  EXPECT_EQ(failure.fault, faultDamagedArchive);
  EXPECT_FALSE(fs::exists(dest()));
}

TEST_F(InstallRun, UnwritableDestinationFailsPartWayNamingThePath) {
  writeFile(folder / "a.txt", std::string("a"));
  package("title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [\"a.txt\"]\n");
  writeFile(folder / "blocker", std::string("a file where the destination folder should be"));
  destination = (folder / "blocker").string();
  ASSERT_EQ(run(1), installFailed);
  EXPECT_EQ(failure.fault, faultCannotWrite);
  EXPECT_EQ(std::string(failure.path), destination + "\\_qzsetup.log");

  // An output path taken by a folder.
  destination = (folder / "dest").string();
  fs::create_directories(dest("a.txt"));
  ASSERT_EQ(run(1), installFailed);
  EXPECT_EQ(failure.fault, faultCannotWrite);
  EXPECT_EQ(std::string(failure.path), destination + "\\a.txt");
}

TEST_F(InstallRun, RetryAfterAPartWayFailureTakesTheNewDestinationAndFields) {
  writeFile(folder / "a.txt", std::string("a"));
  fs::path built = buildPackage(folder, R"(
title = "T"
shortcutFolder = "%PROGRAMDIR%\\Menu %NAME%"
[[field]]
caption = "Name"
variableName = "NAME"
[[component]]
name = "C"
files = [{ name = "%NAME%.txt", from = "a.txt" }]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\%NAME%.txt"
  linkName = "Run %NAME%"
)");
  // The first destination is a file, so the first run fails; the second may hold a '%'.
  for (auto [first, second] : {std::pair{"old", "new"}, std::pair{"50% Off", "100% Games"}}) {
    SCOPED_TRACE(second);
    freeSetupHeader();
    load(built);
    destination = (folder / first).string();
    writeFile(destination, std::string("a file where the destination folder should be"));
    fields = {"ann"};
    ASSERT_EQ(run(1), installFailed);
    destination = (folder / second).string();
    fields = {"bob"};
    ASSERT_EQ(run(1), installDone) << failure.path;
    EXPECT_EQ(readFile(dest("bob.txt")), bytesOf("a"));
    std::string link = destination + "\\Menu bob\\Run bob.lnk";
    EXPECT_EQ(readLink(link).path, destination + "\\bob.txt");
    EXPECT_EQ(readFile(dest("_qzsetup.log")), logOf({{1, destination + "\\bob.txt"}, {2, link}}));
  }
}

TEST_F(InstallRun, TheCarrierRenamedOrOverwrittenDuringARunIsReadAsItWas) {
  writeFile(folder / "a.txt", mixedBytes(200000, 1));
  writeFile(folder / "b.txt", mixedBytes(200000, 2));
  package("title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [\"a.txt\", \"b.txt\"]\n");
  Bytes original = readFile(packagePath), other = original;
  for (size_t at = header.archiveOffset + 100; at < other.size(); at += 997) other[at] ^= 0x20;
  std::string moved = packagePath + ".moved";
  // Once the run is under way, another program of the user tries to put another package in the
  // carrier's place; each says whether it did.
  struct Case {
    const char* what;
    std::function<bool()> swap;
  };
  for (const Case& c :
       {Case{"renamed and replaced",
             [&] {
               if (!MoveFileA(packagePath.c_str(), moved.c_str())) return false;
               writeFile(packagePath, other);
               return true;
             }},
        Case{"overwritten", [&] {
               HANDLE file = CreateFileA(packagePath.c_str(), GENERIC_WRITE, 7, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
               DWORD written = 0;
               if (file != INVALID_HANDLE_VALUE)
                 WriteFile(file, other.data(), DWORD(other.size()), &written, nullptr);
               CloseHandle(file);
               return written != 0;
             }}})
    for (const Sharing& s : sharings) {
      share(s);
      useCarrier("");
      fs::remove(moved);
      writeFile(packagePath, original);
      freeSetupHeader();
      selectedRows.clear();
      load(packagePath);
      fs::remove_all(dest());
      bool swapped = false;
      atFirstProgress = [&] { swapped = c.swap(); };
      InstallOutcome outcome = run(1);
      SCOPED_TRACE(c.what + std::string(swapped ? ", done" : ", refused") + ", " + s.what);
      ASSERT_EQ(outcome, installDone) << failure.path;
      EXPECT_EQ(readFile(dest("a.txt")), readFile(folder / "a.txt"));
      EXPECT_EQ(readFile(dest("b.txt")), readFile(folder / "b.txt"));
    }
}

TEST_F(InstallRun, PathsOver260CharactersAreRefusedNotCut) {
  writeFile(folder / "a.txt", std::string("a"));
  package("title = \"T\"\n[[component]]\nname = \"C\"\nfiles = [\"a.txt\"]\n");
  destination = "C:\\" + std::string(250, 'x');
  ASSERT_EQ(run(1), installFailed);
  EXPECT_EQ(failure.fault, faultCannotWrite);
  EXPECT_EQ(std::string(failure.path).size(), 260u);
}

TEST_F(InstallRun, RegistryDrivenMacrosFromRegAdd) {
  writeFile(folder / "a.txt", std::string("a"));
  package(R"(
title = "T"
[[component]]
name = "C"
files = ["a.txt"]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\a.txt"
  linkName = "%STARTMENU%\\Tarn\\A"
)");
  const char* key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::string menu = (folder / "menu").string();
  std::string command =
      std::string("reg add \"") + key + "\" /v \"Start Menu\" /d \"" + menu + "\" /f >NUL";
  ASSERT_EQ(std::system(command.c_str()), 0);
  InstallOutcome outcome = run(1);
  std::system((std::string("reg delete \"") + key + "\" /v \"Start Menu\" /f >NUL").c_str());
  ASSERT_EQ(outcome, installDone) << failure.path;
  EXPECT_TRUE(fs::exists(folder / "menu/Tarn/A.lnk"));
}

TEST(MakeDirectories, CreatesEveryFolderBeforeTheLastSeparatorAndRestoresTheWorkingFolder) {
  ScratchFolder folder;
  fs::path before = fs::current_path();
  std::string base = folder.path().string();
  makeDirectories((base + "\\one\\two\\three\\file.txt").c_str());
  EXPECT_TRUE(fs::is_directory(folder / "one/two/three"));
  EXPECT_FALSE(fs::exists(folder / "one/two/three/file.txt"));
  makeDirectories((base + "\\one\\two\\four\\file.txt").c_str());
  EXPECT_TRUE(fs::is_directory(folder / "one/two/four")) << "below folders that are there";
  makeDirectories((base + "\\dir\\no-slash").c_str());
  EXPECT_TRUE(fs::is_directory(folder / "dir"));
  EXPECT_FALSE(fs::exists(folder / "dir/no-slash")) << "after the last backslash: not a folder";
  makeDirectories((base + "/mixed/slashes/").c_str());
  EXPECT_TRUE(fs::is_directory(folder / "mixed/slashes"));
  makeDirectories("");
  makeDirectories(nullptr);
  EXPECT_EQ(fs::current_path(), before);
}

}  // namespace
