// The installation run's decoding ahead, natively (under ThreadSanitizer in its own build) and
// under Wine: every way of sharing the decoding between the two threads installs the same files
// and log, with the same progress reports, as the run on one thread, and fails part-way the same.
#include "install/decode_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "install/install_run.h"
#include "package/archive.h"
#include "package/header.h"
#include "run_fixture.h"
#include "test_files.h"

#ifndef _WIN32
// Natively the run has no shortcuts to make, and no system to look folders up in.
#include "install/shortcut.h"
#include "install/system_lookup.h"

long createShortcut(const char*, const char*, const char*, const char*) {
  return 0;
}
const char* readRegistryString(RegistryRoot, const char*, const char*, const char* defaultText) {
  return defaultText;
}
void systemDirectory(char* buffer) {
  buffer[0] = 0;
}
void windowsDirectory(char* buffer) {
  buffer[0] = 0;
}
#endif

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

TEST_F(InstallRun, DecodingAheadInstallsTheSameFilesLogAndProgressWhateverTheSharing) {
  // Sizes around a chunk and a bzip2 block, an empty file, and one file in both components.
  const size_t sizes[] = {0, 1, 16383, 16384, 16385, 40000, 250000, 1200000};
  std::string first, second;
  for (int i = 0; i < 20; ++i) {
    std::string name = "f" + std::to_string(i);
    writeFile(folder / name, mixedBytes(i == 15 ? 250000 : sizes[i % 8], i));
    (i < 14 ? first : second) += "\"" + name + "\", ";
  }
  package("title = \"T\"\n[[component]]\nname = \"A\"\nfiles = [" + first +
          "]\n  [[component.shortcut]]\n  target = \"x\"\n  linkName = \"%PROGRAMDIR%\\\\L\"\n"
          "[[component]]\nname = \"B\"\nfiles = [" +
          second + "\"f3\"]\n");
  Bytes log;
  std::vector<std::pair<int32_t, int32_t>> reports;
  for (const Sharing& s : sharings) {
    SCOPED_TRACE(s.what);
    share(s);
    clearDestination();
    progress.clear();
    ASSERT_EQ(run(1), installDone) << failure.path;
    for (int i = 0; i < 20; ++i) {
      std::string name = "f" + std::to_string(i);
      EXPECT_TRUE(readFile(installed(name)) == readFile(folder / name)) << name;
    }
    if (log.empty()) {  // the run on one thread sets what the others must match
      log = readFile(installed("_qzsetup.log"));
      reports = progress;
    }
    EXPECT_EQ(readFile(installed("_qzsetup.log")), log);
    EXPECT_EQ(progress, reports) << "every report, in order";
    EXPECT_LE(decodeHooks.peakHeld, s.limit);
    if (s.secondThreadOnly) {
      EXPECT_EQ(decodeHooks.filesBySecondThread, 21);
    }
  }
}

TEST_F(InstallRun, PartWayFailuresWhileDecodingAheadAreReportedAsOnOneThread) {
  // A damaged entry, and a file that cannot be created, each after a file written whole and
  // before one that the second thread may already have decoded. Files go in the reverse of
  // the manifest's order.
  writeFile(folder / "first.bin", mixedBytes(300000, 1));
  writeFile(folder / "middle.bin", mixedBytes(300000, 2));
  writeFile(folder / "last.bin", mixedBytes(200000, 3));
  package(R"(
title = "T"
[[component]]
name = "C"
files = ["last.bin", "middle.bin", "first.bin"]
)");
  // A bit flipped halfway through middle.bin's stream.
  Bytes bytes = readFile(packagePath);
  ArchiveReader* reader = openArchive(packagePath.c_str(), header.archiveOffset);
  ASSERT_NE(reader, nullptr);
  uint32_t start = 0, end = static_cast<uint32_t>(bytes.size());
  for (int32_t i = 0; i < reader->count; ++i)
    if (std::string(reader->names[i]) == "middle.bin") start = reader->offsets[i];
  for (int32_t i = 0; i < reader->count; ++i)
    if (reader->offsets[i] > start && reader->offsets[i] < end) end = reader->offsets[i];
  freeArchive(reader);
  bytes[(start + end) / 2] ^= 0x08;
  writeFile(folder / "damaged.exe", bytes);
  struct Case {
    const char* what;
    bool damaged;  // else middle.bin's place is taken by a folder
    InstallFault fault;
  };
  for (const Case& c : {Case{"damaged", true, faultDamagedArchive},
                        Case{"cannot create", false, faultCannotWrite}}) {
    for (const Sharing& s : sharings) {
      SCOPED_TRACE(std::string(c.what) + ", " + s.what);
      share(s);
      freeSetupHeader();
      selectedRows.clear();
      load(c.damaged ? folder / "damaged.exe" : fs::path(packagePath));
      clearDestination();
      if (!c.damaged) fs::create_directories(installed("middle.bin"));
      ASSERT_EQ(run(1), installFailed);
      EXPECT_EQ(failure.fault, c.fault);
      EXPECT_EQ(std::string(failure.path),
                c.damaged ? "middle.bin" : installed("middle.bin").string());
      EXPECT_EQ(readFile(installed("first.bin")), readFile(folder / "first.bin"));
      EXPECT_EQ(fs::is_directory(installed("middle.bin")), !c.damaged) << "no partial file is left";
      EXPECT_FALSE(fs::exists(installed("last.bin")));
      EXPECT_EQ(readFile(installed("_qzsetup.log")), logOf({{1, destination + "\\first.bin"}}));
    }
  }
}

// A count from the environment, for longer runs by hand, or the given one.
int fromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// Often an edge (empty, or a byte either side of whole chunks), else anything up to 100 KB.
size_t randomSize(std::mt19937& random) {
  unsigned kind = random() % 4;
  if (kind == 0) return random() % 3;
  if (kind == 1) return size_t{chunkSize} * (1 + random() % 4) - 1 + random() % 3;
  return random() % 100000;
}

// From below one chunk, where only the file being written holds any, to more than a package
// holds; now and then the default.
int64_t randomLimit(std::mt19937& random) {
  return random() % 5 == 0 ? int64_t{64} << 20 : static_cast<int64_t>(random() % (640 << 10));
}

// What a run left: its outcome, each file's bytes, the log's, and every progress report.
struct RunResult {
  InstallOutcome outcome;
  std::vector<Bytes> files;
  Bytes log;
  std::vector<std::pair<int32_t, int32_t>> reports;
};

// Every sharing, at random limits, against the run on one thread, over packages of random files
// (bzip2 or plain, in one or two components): the same files, log and progress reports, and no
// more chunk memory than the limit (or the four chunks the file being written may always hold).
// The build sets how many rounds; the environment's QZ_DECODE_ROUNDS and QZ_DECODE_SEED vary it
// by hand.
TEST_F(InstallRun, EverySharingMatchesTheRunOnOneThreadOverRandomPackagesAndLimits) {
  const int rounds = fromEnvironment("QZ_DECODE_ROUNDS", QZ_DECODE_ROUNDS);
  const int seed = fromEnvironment("QZ_DECODE_SEED", 22);
  std::mt19937 random(static_cast<unsigned>(seed));
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
    int count = 1 + static_cast<int>(random() % 9);
    int split = static_cast<int>(random() % static_cast<unsigned>(count + 1));
    std::string lists[2];
    for (int i = 0; i < count; ++i) {
      std::string name = "f" + std::to_string(i);
      writeFile(folder / name,
                mixedBytes(randomSize(random), static_cast<uint32_t>(round * 16 + i)));
      lists[i < split] += "\"" + name + "\", ";
    }
    std::string manifest =
        random() % 4 ? "title = \"T\"\nblockSize = 1\n" : "title = \"T\"\ncompression = \"none\"\n";
    for (const std::string& list : lists)
      if (!list.empty()) manifest += "[[component]]\nname = \"C\"\nfiles = [" + list + "]\n";
    freeSetupHeader();
    selectedRows.clear();
    package(manifest);
    auto runOnce = [&] {
      clearDestination();
      progress.clear();
      RunResult result{run(1), {}, readFile(installed("_qzsetup.log")), progress};
      for (int i = 0; i < count; ++i)
        result.files.push_back(readFile(installed("f" + std::to_string(i))));
      return result;
    };
    share(sharings[0]);
    RunResult alone = runOnce();
    ASSERT_EQ(alone.outcome, installDone) << failure.path;
    for (int i = 0; i < count; ++i)
      ASSERT_TRUE(alone.files[i] == readFile(folder / ("f" + std::to_string(i)))) << i;
    for (const Sharing& s : {sharings[1], sharings[2]}) {
      Sharing limited = s;
      limited.limit = randomLimit(random);
      SCOPED_TRACE(std::string(s.what) + ", limit " + std::to_string(limited.limit));
      share(limited);
      RunResult shared = runOnce();
      ASSERT_EQ(shared.outcome, installDone) << failure.path;
      ASSERT_TRUE(shared.files == alone.files);
      ASSERT_EQ(shared.log, alone.log);
      ASSERT_EQ(shared.reports, alone.reports) << "every report, in order";
      ASSERT_LE(decodeHooks.peakHeld, std::max<int64_t>(limited.limit, 4 * (chunkSize + 64)));
      if (s.secondThreadOnly) {
        ASSERT_EQ(decodeHooks.filesBySecondThread, count);
      }
    }
  }
}

}  // namespace
