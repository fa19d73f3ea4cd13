// qzpack extract: what it writes, and everything it refuses before writing anything.
#include "package_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "manifest.h"
#include "package_writer.h"
#include "test_files.h"
#include "uninstaller_entry.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome extract(const fs::path& package, const fs::path& folder,
                std::vector<std::string> names = {}, bool force = false) {
  std::ostringstream out, err;
  int status =
      qzpack::extractPackage({package.string(), folder, std::move(names), force}, out, err);
  return {status, out.str(), err.str()};
}

// A package whose plain archive holds these entries, whatever their names.
Bytes craftedPackage(const std::vector<std::pair<std::string, std::string>>& entries) {
  Bytes file = fakeStub();
  uint32_t headerOffset = static_cast<uint32_t>(file.size());
  for (int i = 0; i < 4; ++i) file[96 + i] = static_cast<unsigned char>(headerOffset >> (8 * i));
  qzpack::Manifest m;
  m.title = "crafted";
  Bytes header = qzpack::headerBytes(m, 0);
  header = qzpack::headerBytes(m, headerOffset + static_cast<uint32_t>(header.size()));
  file.insert(file.end(), header.begin(), header.end());
  uint32_t dataStart = 9;
  for (const auto& e : entries) dataStart += static_cast<uint32_t>(e.first.size() + 9);
  putU32(file, dataStart);
  putU32(file, 0);
  uint32_t offset = 0;
  for (const auto& [name, content] : entries) {
    putString(file, name);
    putU32(file, offset);
    putU32(file, static_cast<uint32_t>(content.size()));
    offset += static_cast<uint32_t>(content.size());
  }
  file.push_back(0);
  for (const auto& e : entries) file.insert(file.end(), e.second.begin(), e.second.end());
  return file;
}

// Every file below folder with its bytes, by path relative to it.
std::vector<std::pair<std::string, Bytes>> tree(const fs::path& folder) {
  std::vector<std::pair<std::string, Bytes>> files;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
    if (entry.is_regular_file())
      files.emplace_back(entry.path().lexically_relative(folder).generic_string(),
                         readFile(entry.path()));
  std::sort(files.begin(), files.end());
  return files;
}

TEST(QzpackExtract, RefusesEverythingUnsafeAndThenWritesNothing) {
  struct Case {
    const char* what;
    std::string entry;    // besides "ok.txt", which must not be written either
    const char* prepare;  // "file": DIR/x.txt exists; "dirlink"/"filelink": DIR/x is a link
    std::vector<std::string> names;
    const char* expected;
  };
  std::vector<Case> cases = {
      {"parent folder", "..\\evil.txt", "", {}, "refused"},
      {"parent folder inside", "a\\..\\..\\evil.txt", "", {}, "refused"},
      {"absolute", "\\evil.txt", "", {}, "absolute"},
      {"drive letter", "C:\\evil.txt", "", {}, "refused"},
      {"drive relative", "c:evil.txt", "", {}, "refused"},
      {"forward slashes", "a/../../evil.txt", "", {}, "refused"},
      {"device name", "aux.txt", "", {}, "device name"},
      {"existing file", "x.txt", "file", {}, "is there already (--force replaces it)"},
      {"unknown name", "x.txt", "", {"x.txt", "nope.txt"}, "no entry is named \"nope.txt\""},
#ifndef _WIN32  // Wine cannot make symbolic links
      {"folder link", "x\\evil.txt", "dirlink", {}, "is a symbolic link"},
      {"file link", "x", "filelink", {}, "is a symbolic link"},
#endif
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    writeFile(folder / "package.exe", craftedPackage({{"ok.txt", "fine"}, {c.entry, "evil"}}));
    fs::path dir = folder / "out" / "inner";
    fs::create_directories(dir);
    writeFile(folder / "outside/keep.txt", std::string("outside"));
    std::string prepare = c.prepare;
    if (prepare == "file") writeFile(dir / "x.txt", std::string("mine"));
#ifndef _WIN32
    if (prepare == "dirlink") fs::create_directory_symlink(folder / "outside", dir / "x");
    if (prepare == "filelink") fs::create_symlink(folder / "outside/keep.txt", dir / "x");
#endif
    auto before = tree(folder.path());
    Outcome run = extract(folder / "package.exe", dir, c.names);
    EXPECT_EQ(run.status, 1) << c.what;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.what << ":\n" << run.err;
    EXPECT_NE(run.err.find("nothing extracted"), std::string::npos) << c.what << ":\n" << run.err;
    EXPECT_EQ(tree(folder.path()), before) << c.what << ": something was written";
  }
}

TEST(QzpackExtract, ADamagedEntryIsNotLeftBehindAndTheOthersAreWritten) {
  ScratchFolder folder;
  writeFile(folder / "one.txt", std::string("first file"));
  writeFile(folder / "data/two.bin", mixedBytes(100000, 3));
  fs::path package = buildPackage(folder, R"(
title = "Demo"
[[component]]
name = "Main"
files = ["one.txt", "data\\two.bin"]
)");
  Bytes bytes = readFile(package);
  bytes[bytes.size() - 2000] ^= 0x10;  // inside the last entry's bzip2 stream
  writeFile(package, bytes);
  Outcome run = extract(package, folder / "out");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"data\\\\two.bin\" stops at byte"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("1 of 2 files extracted"), std::string::npos) << run.err;
  auto written = tree(folder / "out");
  ASSERT_EQ(written.size(), 1u) << "no partly written file, under any name";
  EXPECT_EQ(written[0].first, "one.txt");
}

TEST(QzpackExtract, NamedEntriesAndForceReplaceOnlyWhatIsAsked) {
  ScratchFolder folder;
  writeFile(folder / "package.exe",
            craftedPackage({{"a.txt", "new a"}, {"sub\\b.txt", "new b"}, {"c.txt", "new c"}}));
  writeFile(folder / "out/sub/b.txt", std::string("old b"));
  writeFile(folder / "out/c.txt", std::string("old c"));
  Outcome run = extract(folder / "package.exe", folder / "out", {"a.txt", "sub/b.txt"}, true);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(tree(folder / "out"),
            (std::vector<std::pair<std::string, Bytes>>{{"a.txt", bytesOf("new a")},
                                                        {"c.txt", bytesOf("old c")},
                                                        {"sub/b.txt", bytesOf("new b")}}));
}

TEST(QzpackExtract, TheExamplePackageGivesBackItsPayloadByteForByte) {
  ScratchFolder folder;
  writeFile(folder / "stub.exe", fakeStub());
  writeFile(folder / "uninstall.exe", std::string("the uninstaller"));
  fs::path example = hostPath(QZ_SOURCE_DIR "/examples/demo");
  qzpack::Manifest manifest = qzpack::readManifest(example / "demo.toml");
  manifest.branding = {};  // the fake stub has no resources to brand (branding_test brands real ones)
  qzpack::addUninstaller(manifest, folder / "uninstall.exe");
  qzpack::buildPackage(manifest, folder / "stub.exe", folder / "demo.exe");
  Outcome run = extract(folder / "demo.exe", folder / "out");
  EXPECT_EQ(run.status, 0) << run.err;
  auto payload = tree(example / "payload");
  EXPECT_GE(payload.size(), 5u);
  payload.push_back({"uninstall.exe", bytesOf("the uninstaller")});
  std::sort(payload.begin(), payload.end());
  EXPECT_EQ(tree(folder / "out"), payload);
}

}  // namespace
