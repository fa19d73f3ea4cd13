// Folders and patterns in a component's files: what they take, in which order, and what they
// refuse.
#include "payload_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manifest.h"
#include "package_writer.h"
#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> names(const qzpack::ManifestComponent& c) {
  std::vector<std::string> result;
  for (const qzpack::ManifestFile& f : c.files) result.push_back(f.name);
  return result;
}

std::string readError(const ScratchFolder& folder, const std::string& manifest) {
  writeFile(folder / "manifest.toml", manifest);
  try {
    qzpack::readManifest(folder / "manifest.toml");
  } catch (const qzpack::BuildError& e) {
    return e.what();
  }
  return "";
}

TEST(QzpackPatterns, EachPatternTakesItsMatchesSortedByEntryNameInItsPlace) {
  ScratchFolder folder;
  for (const char* name : {"readme.txt", "B.txt", "a.txt", ".hidden", "data/x.dat", "data/.keep",
                           "data/Zeta.dat", "data/sub/y.dat", "data/sub/z.pdb", "logs/app.pdb"})
    writeFile(folder / "payload" / name, std::string(name));
  fs::create_directories(folder / "payload/data/void");  // empty folders are no entries
  writeFile(folder / "extra/r.bin", std::string("r"));
  writeFile(folder / "extra/p/q.bin", std::string("q"));
  writeFile(folder / "license-src.txt", std::string("license"));
  writeFile(folder / "manifest.toml", std::string(R"(
title = "Patterns"
source = "payload"
[[component]]
name = "Main"
files = ["readme.txt", "data/**", "?.txt", { folder = "extra", as = "more/x" },
         { name = "LICENSE.txt", from = "license-src.txt" }, "**\\*.PDB"]
exclude = ["data\\sub\\*.pdb"]
[[component]]
name = "Again"
files = ["readme.txt", "*.txt", { name = "LICENSE.txt", from = "extra/../license-src.txt" }]
)"));
  qzpack::Manifest m = qzpack::readManifest(folder / "manifest.toml");
  ASSERT_EQ(m.components.size(), 2u);
  EXPECT_EQ(
      names(m.components[0]),
      (std::vector<std::string>{"readme.txt", "data\\.keep", "data\\Zeta.dat", "data\\sub\\y.dat",
                                "data\\x.dat", "B.txt", "a.txt", "more\\x\\p\\q.bin",
                                "more\\x\\r.bin", "LICENSE.txt", "logs\\app.pdb"}));
  // A file shared with another component stays; one named twice in a component is taken once.
  EXPECT_EQ(names(m.components[1]),
            (std::vector<std::string>{"readme.txt", "B.txt", "a.txt", "LICENSE.txt"}));
  EXPECT_EQ(readFile(m.components[0].files[7].source), bytesOf("q"));
  // The same source, spelled another way in the other component, makes one entry.
  std::vector<qzpack::PackageEntry> entries = qzpack::planEntries(m);
  EXPECT_EQ(entries.size(), m.components[0].files.size());
}

// The walk of the source folder and the exclude test read a pattern the same way: what a
// pattern finds is exactly what it would exclude of the whole tree.
TEST(QzpackPatterns, APatternFindsWhatItWouldExclude) {
  ScratchFolder folder;
  std::vector<std::string> all;
  for (const char* name :
       {"a/x.txt", "a/b/x.txt", "a/b/c/b/q.txt", "a/y.dat", "c/z.txt", "top.txt", "d/e/x.txt"})
    writeFile(folder / name, std::string(name));
  for (const qzpack::ManifestFile& f : qzpack::findFiles(folder.path(), {"**"}))
    all.push_back(f.name);
  ASSERT_EQ(all.size(), 7u);
  const struct {
    const char* pattern;
    size_t found;
  } cases[] = {{"**", 7},        {"*", 1},           {"**/*.txt", 6},     {"a/**", 4},
               {"**/b/**", 2},   {"**/**/x.txt", 3}, {"a/*/x.txt", 1},    {"?/*.txt", 2},
               {"*/*/x.txt", 2}, {"a/b", 0},         {"a/**/b/*.txt", 2}, {"**/*/**/?.txt", 5}};
  for (const auto& c : cases) {
    std::vector<std::string> parts = qzpack::patternParts(c.pattern);
    std::vector<std::string> found, excluded;
    for (const qzpack::ManifestFile& f : qzpack::findFiles(folder.path(), parts))
      found.push_back(f.name);
    for (const std::string& name : all)
      if (qzpack::matchesAnyPattern({parts}, name)) excluded.push_back(name);
    EXPECT_EQ(found.size(), c.found) << c.pattern;
    EXPECT_EQ(found, excluded) << c.pattern;
  }
}

TEST(QzpackPatterns, BadPayloadsAreRefusedAtTheirPlaceInTheManifest) {
  struct Case {
    const char* what;
    const char* files;
    std::vector<std::string> expected;  // fragments of the message after manifest:3:9
  };
  const Case cases[] = {
      {"a pattern matching nothing", R"(["*.none"])", {"no file matches *.none"}},
      {"a plain name missing", R"(["data\\gone.dat"])", {"missing file", "gone.dat"}},
      {"a folder named as a file", R"(["data"])", {"is a folder", "data\\\\**"}},
      {"a missing folder", R"([{ folder = "nowhere" }])", {"missing folder", "nowhere"}},
      {"an empty folder", R"([{ folder = "payload/void" }])", {"holds no files"}},
      {"a pattern leaving source", R"(["../x.txt"])", {"must stay inside"}},
      {"two sources for one name",
       R"(["data\\x.dat", { name = "data/x.dat", from = "o.bin" }])",
       {"\"data\\x.dat\" (", "x.dat)", "o.bin)", "would be the same entry"}},
      {"names equal but for case",
       R"(["data\\x.dat", { name = "DATA\\X.dat", from = "o.bin" }])",
       {"\"data\\x.dat\" (", "\"DATA\\X.dat\" (", "differ only in letter case"}},
      {"a device name", R"([{ name = "aux.txt", from = "o.bin" }])", {"device name"}},
      {"a name with a colon", R"(["c:x.txt"])", {"holds ':'"}},
      {"a name not in Windows-1252", R"(["*.bin"])", {"\xE4\xB8\xAD.bin", "U+4E2D"}},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    writeFile(folder / "payload/data/x.dat", std::string("x"));
    writeFile(folder / "o.bin", std::string("o"));
    writeFile(folder.path() / fs::u8path("payload/\xE4\xB8\xAD.bin"), std::string("zh"));
    fs::create_directories(folder / "payload/void");
    std::string error = readError(
        folder, "title = \"t\"\nsource = \"payload\"\n[[component]]\nname = \"c\"\nfiles = " +
                    std::string(c.files) + "\n");
    EXPECT_NE(error.find("manifest.toml:5:"), std::string::npos) << c.what << ": " << error;
    for (const std::string& fragment : c.expected)
      EXPECT_NE(error.find(fragment), std::string::npos) << c.what << ": " << error;
  }
}

#ifndef _WIN32  // Wine cannot make symbolic links
TEST(QzpackPatterns, SymbolicLinksAreRefusedWithTheirPath) {
  for (const char* files : {R"(["data\\**"])", R"(["data\\*.txt"])", R"(["data\\link.txt"])"}) {
    ScratchFolder folder;
    writeFile(folder / "secret.txt", std::string("not for the package"));
    writeFile(folder / "payload/data/real.txt", std::string("real"));
    fs::create_symlink(folder / "secret.txt", folder / "payload/data/link.txt");
    std::string error = readError(folder,
                                  "title = \"t\"\nsource = \"payload\"\n[[component]]\n"
                                  "name = \"c\"\nfiles = " +
                                      std::string(files) + "\n");
    EXPECT_NE(error.find("payload/data/link.txt is a symbolic link"), std::string::npos)
        << files << ": " << error;
  }
}

// An exclude is applied before a file is judged; every clash is told in one run, a host name
// holding a backslash counting as the path Windows makes of it.
TEST(QzpackPatterns, ExcludesComeFirstAndEveryClashIsToldAtOnce) {
  ScratchFolder folder;
  writeFile(folder / "payload/data/real.txt", std::string("real"));
  fs::create_symlink(folder / "payload/data/real.txt", folder / "payload/data/link.txt");
  fs::create_symlink(folder / "payload", folder / "payload/data/loop");
  writeFile(folder / "payload/a/b.txt", std::string("b"));
  writeFile(folder / "payload/a\\b.txt", std::string("backslash"));
  writeFile(folder / "payload/A.TXT", std::string("upper"));
  writeFile(folder / "payload/a.txt", std::string("lower"));
  const std::string manifest = "title = \"t\"\nsource = \"payload\"\n[[component]]\nname = \"c\"\n";
  writeFile(
      folder / "manifest.toml",
      manifest + "files = [\"data\\\\**\"]\nexclude = [\"**\\\\link.txt\", \"data\\\\loop\"]\n");
  qzpack::Manifest m = qzpack::readManifest(folder / "manifest.toml");
  EXPECT_EQ(names(m.components[0]), std::vector<std::string>{"data\\real.txt"});
  std::string error =
      readError(folder, manifest + "files = [\"**\"]\nexclude = [\"data\\\\**\"]\n");
  const std::string at = folder.path().string() + "/manifest.toml:5:10: ";
  const std::string payload = folder.path().string() + "/payload/";
  EXPECT_EQ(error, at + "\"A.TXT\" (" + payload + "A.TXT) and \"a.txt\" (" + payload +
                       "a.txt) differ only in letter case, one file on Windows\n" + at +
                       "\"a\\b.txt\" (" + payload + "a/b.txt) and \"a\\b.txt\" (" + payload +
                       "a\\b.txt) would be the same entry");
}
#endif

}  // namespace
