#include <gtest/gtest.h>

#include <string>

#include "manifest.h"
#include "package_writer.h"
#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Large files first and in the middle, many small ones around them: the first entries keep
// the writer waiting while the others are compressed ahead.
qzpack::Manifest manyFiles(const ScratchFolder& folder, const std::string& compression) {
  writeFile(folder / "payload/a-large.bin", mixedBytes(700000, 1));
  writeFile(folder / "payload/m-large.bin", mixedBytes(300000, 2));
  for (int i = 0; i < 120; ++i) {
    std::string name = std::string(1, static_cast<char>(i < 60 ? 'b' : 'n')) + std::to_string(i);
    writeFile(folder / ("payload/" + name + ".txt"), mixedBytes(static_cast<size_t>(i * 97), i));
  }
  writeFile(folder / "payload/z-empty.txt", std::string());
  writeFile(folder / "manifest.toml",
            "title = \"Many\"\ncompression = \"" + compression +
                "\"\nblockSize = 1\nsource = \"payload\"\n[[component]]\nname = \"All\"\n"
                "files = [\"**\"]\n");
  writeFile(folder / "stub.exe", fakeStub());
  return qzpack::readManifest(folder / "manifest.toml");
}

bool temporaryFilesLeft(const ScratchFolder& folder) {
  for (const auto& entry : fs::directory_iterator(folder.path()))
    if (entry.path().extension() == ".tmp") return true;
  return false;
}

TEST(QzpackJobs, OutputIsTheSameWhateverTheJobs) {
  const struct {
    unsigned jobs;
    size_t bufferLimit;  // 0: every entry that waits for its turn spills to a file
  } runs[] = {{4, qzpack::StoreSettings().bufferLimit}, {4, 0}, {2, 20000}, {16, 0}};
  for (const char* compression : {"bzip2", "none"}) {
    ScratchFolder folder;
    qzpack::Manifest m = manyFiles(folder, compression);
    qzpack::buildPackage(m, folder / "stub.exe", folder / "one.exe");
    Bytes reference = readFile(folder / "one.exe");
    ASSERT_GT(reference.size(), 500000u) << compression;
    for (const auto& run : runs) {
      qzpack::BuildOptions options;
      options.jobs = run.jobs;
      options.bufferLimit = run.bufferLimit;
      qzpack::buildPackage(m, folder / "stub.exe", folder / "many.exe", options);
      EXPECT_TRUE(readFile(folder / "many.exe") == reference)
          << compression << ", " << run.jobs << " jobs, limit " << run.bufferLimit;
      EXPECT_FALSE(temporaryFilesLeft(folder)) << "spill files are removed";
    }
  }
}

// Sizes are taken when the build starts; a file that then changes stops it with the fault of
// the first such file in entry order, and leaves nothing behind, however many jobs run.
TEST(QzpackJobs, AFileThatChangesWhilePackingStopsTheBuild) {
  const struct {
    const char* what;
    void (*change)(const ScratchFolder&);
    const char* fault;
  } cases[] = {
      {"grows",
       [](const ScratchFolder& f) { writeFile(f / "payload/b30.txt", mixedBytes(5000, 9)); },
       "b30.txt changed size while it was being packed"},
      {"shrinks",
       [](const ScratchFolder& f) { writeFile(f / "payload/b30.txt", std::string("x")); },
       "b30.txt changed size while it was being packed"},
      {"vanishes", [](const ScratchFolder& f) { fs::remove(f / "payload/b30.txt"); }, "b30.txt: "},
      {"two change: the first in order is named",
       [](const ScratchFolder& f) {
         writeFile(f / "payload/n90.txt", std::string("y"));
         writeFile(f / "payload/b30.txt", std::string("x"));
       },
       "b30.txt changed size"},
  };
  for (unsigned jobs : {1u, 4u}) {
    for (const auto& c : cases) {
      ScratchFolder folder;
      qzpack::Manifest m = manyFiles(folder, "bzip2");
      std::vector<qzpack::PackageEntry> entries = qzpack::planEntries(m);
      c.change(folder);
      qzpack::BuildOptions options;
      options.jobs = jobs;
      options.bufferLimit = 0;
      std::string error;
      try {
        qzpack::writePackage(m, entries, folder / "stub.exe", folder / "out.exe", options);
      } catch (const qzpack::BuildError& e) {
        error = e.what();
      }
      EXPECT_NE(error.find(c.fault), std::string::npos)
          << c.what << ", " << jobs << " jobs: " << error;
      EXPECT_FALSE(fs::exists(folder / "out.exe")) << c.what << ", " << jobs << " jobs";
      EXPECT_FALSE(temporaryFilesLeft(folder)) << c.what << ", " << jobs << " jobs";
    }
  }
}

}  // namespace
