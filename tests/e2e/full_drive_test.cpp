// setup.exe and uninstall.exe on a drive that fills up during the installation: a 1 MiB tmpfs
// that the small_drive fixture mounts outside Wine and shows to the prefix as a drive letter.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "silent_run.h"
#include "test_files.h"
#include "wizard_driver.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const fs::path setupExe = hostPath(QZ_SETUP_EXE), uninstallExe = hostPath(QZ_UNINSTALL_EXE);
const fs::path drive = QZ_SMALL_DRIVE "\\", dest = drive / "Tarn";
constexpr DWORD deadline = 60000;  // generous: the machine may be busy

uint64_t freeBytes() {
  ULARGE_INTEGER free{};
  GetDiskFreeSpaceExW(drive.c_str(), &free, nullptr, nullptr);
  return free.QuadPart;
}

uint64_t clusterSize() {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters, clusters;
  GetDiskFreeSpaceW(drive.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters);
  return uint64_t{sectorsPerCluster} * bytesPerSector;
}

class FullDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::path note = hostPath(QZ_SMALL_DRIVE_NOTE);
    if (fs::exists(note)) {
      Bytes why = readFile(note);
      GTEST_SKIP() << "no small drive: " << std::string(why.begin(), why.end());
    }
    ULARGE_INTEGER total{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(drive.c_str(), nullptr, &total, nullptr))
        << "no drive " << drive << ": the small_drive fixture of ctest makes it";
    ASSERT_EQ(total.QuadPart, 1u << 20) << "not the 1 MiB drive";
    fs::create_directories(temp);  // where the uninstaller's clean-up copy goes
    SetEnvironmentVariableA("TMP", temp.string().c_str());
    SetEnvironmentVariableA("TEMP", temp.string().c_str());
  }
  // Walks the wizard as proposed into the drive; *end is the message box the run ends with.
  void install(const fs::path& package, driver::MessageBox* end) {
    driver::Installer setup(package);
    driver::MessageBox box = setup.waitForMessageBox(deadline);
    ASSERT_TRUE(box.window) << "no confirmation";
    setup.answer(box, IDYES);
    ASSERT_TRUE(setup.waitForWizard(deadline));
    for (int page = 0; page < 4; ++page) setup.click(setup.next());
    *end = setup.waitForMessageBox(deadline);
    ASSERT_TRUE(end->window) << "the run ended without a message";
    setup.answer(*end, IDOK);
    setup.click(setup.cancel());
    driver::MessageBox cancel = setup.waitForMessageBox(deadline);
    ASSERT_TRUE(cancel.window) << "no question on Cancel";
    setup.answer(cancel, IDYES);
    EXPECT_EQ(setup.waitForExit(deadline), 0u);
  }

  ScratchFolder folder;
  const fs::path temp = folder / "tmp";
};

// The payload is written uninstall.exe, one.dat, two.dat, big.dat. A file that does not fit
// stops the run with its name and is not left part-written; the log lists exactly what is
// whole; with the drive then full to the last byte the uninstaller removes exactly that.
TEST_F(FullDrive, TheRunStopsAtTheFileThatDoesNotFitAndTheUninstallerRemovesWhatIsWhole) {
  const uint64_t cluster = clusterSize(), uninstallerSize = fs::file_size(uninstallExe);
  auto clusters = [&](uint64_t bytes) { return (bytes + cluster - 1) / cluster * cluster; };
  const struct {
    const char* what;
    size_t two;   // two.dat's size; 0: all the room the others leave it, to the last cluster
    int stopAt;   // index of the file the run stops at: 1 two.dat, 2 big.dat
  } cases[] = {
      {"big.dat stops part-way", 300000, 2},
      // The log's first record is on the drive before one.dat is written, so its cluster is
      // taken: two.dat is one cluster short.
      {"no room left for the log", 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // What the case before left (an empty drive root cannot be listed: it has no "." entry).
    fs::remove_all(dest);
    fs::remove(drive / "filler.bin");
    writeFile(drive / "notes.txt", std::string("the user's own"));
    const size_t one = 300000;
    const size_t two = c.two ? c.two : freeBytes() - clusters(uninstallerSize) - clusters(one);
    const std::vector<std::pair<std::string, Bytes>> payload = {
        {"one.dat", mixedBytes(one, 1)}, {"two.dat", mixedBytes(two, 2)},
        {"big.dat", mixedBytes(600000, 3)}};
    for (const auto& [name, bytes] : payload) writeFile(folder / "payload" / name, bytes);
    fs::path package = buildPackage(folder,
                                    "title = \"Full Drive\"\ndefaultDestination = '" +
                                        dest.string() +
                                        "'\nsource = \"payload\"\nuninstaller = true\n"
                                        "[[component]]\nname = \"Program\"\nrequired = true\n"
                                        "files = ['big.dat', 'two.dat', 'one.dat']\n",
                                    setupExe, uninstallExe);
    driver::MessageBox box;
    ASSERT_NO_FATAL_FAILURE(install(package, &box));
    const fs::path stopped = dest / payload[c.stopAt].first;
    EXPECT_EQ(box.text, "Could not write `" + stopped.string() +
                            "'.\nCheck that the disk has room and that you may write to the "
                            "destination.");
    EXPECT_EQ(box.caption, "Error");
    LogRecords whole = {{1, (dest / "uninstall.exe").string()}};
    EXPECT_EQ(readFile(dest / "uninstall.exe"), readFile(uninstallExe));
    for (int i = 0; i < 3; ++i) {
      const fs::path file = dest / payload[i].first;
      if (i < c.stopAt) {
        EXPECT_EQ(readFile(file), payload[i].second) << file;
        whole.emplace_back(1, file.string());
      } else {
        EXPECT_FALSE(fs::exists(file)) << file;
      }
    }
    EXPECT_EQ(logRecords(dest / "_qzsetup.log"), whole);

    // The user fills the drive to the last byte.
    writeFile(drive / "filler.bin", Bytes(freeBytes(), 0xAB));
    ASSERT_EQ(freeBytes(), 0u);
    Outcome run = runSilently(dest / "uninstall.exe", deadline);
    EXPECT_EQ(run.code, 0u) << run.errors;
    EXPECT_EQ(run.errors, "");
    EXPECT_TRUE(driver::waitUntil([&] { return !fs::exists(dest) && fs::is_empty(temp); },
                                  deadline))
        << "the install folder and the clean-up copy go";
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(drive)) left.push_back(entry.path());
    EXPECT_EQ(left.size(), 2u);
    EXPECT_EQ(readFile(drive / "notes.txt"), bytesOf("the user's own"));
    EXPECT_TRUE(fs::exists(drive / "filler.bin"));
  }
}

}  // namespace
