// Makes the fuzz targets' seed corpus with the packager: whole carrier files for the header
// target and their archives for the archive target.
#include <cstdio>
#include <filesystem>
#include <string>

#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const char* manifests[] = {"title = \"\"\ncompression = \"none\"\n",
                           R"(title = "Seed"
defaultDestination = "%PROGRAMFILES%\\Seed"
shortcutFolder = "%PROGRAMS%"
preInstallText = "hello\nworld"
lastWords = "bye"
background = true
compression = "none"
[[field]]
caption = "Name:"
variableName = "NAME"
required = true
[[component]]
name = "Main"
files = ["a.txt", "dir\\b.bin"]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\a.txt"
  arguments = "-v"
  workingDirectory = "%PROGRAMDIR%"
  linkName = "A"
[[component]]
name = "More"
selected = false
files = ["a.txt"]
)",
                           R"(title = "Packed"
compression = "bzip2"
blockSize = 1
[[component]]
name = "Main"
files = ["a.txt", "dir\\b.bin", "c.dat"]
)"};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds HEADER_DIR ARCHIVE_DIR\n");
    return 2;
  }
  fs::create_directories(argv[1]);
  fs::create_directories(argv[2]);
  int n = 0;
  for (const char* manifest : manifests) {
    ScratchFolder folder;
    writeFile(folder / "a.txt", std::string("abc"));
    writeFile(folder / "dir/b.bin", mixedBytes(3000, 1));
    writeFile(folder / "c.dat", Bytes());
    Bytes package = readFile(buildPackage(folder, manifest));
    uint32_t archive = getU32(package, getU32(package, 96));
    writeFile(fs::path(argv[1]) / ("package" + std::to_string(n)), package);
    writeFile(fs::path(argv[2]) / ("archive" + std::to_string(n)),
              Bytes(package.begin() + archive, package.end()));
    ++n;
  }
  return 0;
}
