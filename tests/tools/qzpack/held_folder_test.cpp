// Files made in a held folder: never over or through what is at their name, and folders walked
// without passing through a link.
#include "held_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// What is planted where a new file or a folder is wanted.
void plant(const std::string& what, [[maybe_unused]] const ScratchFolder& folder,
           const fs::path& at) {
  if (what == "file") writeFile(at, std::string("mine"));
#ifndef _WIN32  // Wine cannot make symbolic links
  if (what == "link to a file") fs::create_symlink(folder / "outside/keep.txt", at);
  if (what == "link to nothing") fs::create_symlink(folder / "outside/new.txt", at);
  if (what == "link to a folder") fs::create_directory_symlink(folder / "outside", at);
#endif
}

TEST(QzpackHeldFolder, ANewFileIsNeverMadeOverOrThroughWhatIsAtItsName) {
  std::vector<std::string> cases = {"file"};
#ifndef _WIN32
  cases.insert(cases.end(), {"link to a file", "link to nothing", "link to a folder"});
#endif
  for (const std::string& what : cases) {
    ScratchFolder folder;
    writeFile(folder / "outside/keep.txt", std::string("outside"));
    fs::create_directory(folder / "in");
    plant(what, folder, folder / "in/out.tmp");
    qzpack::HeldFolder held;
    ASSERT_EQ(qzpack::holdFolder(folder / "in", {}, held), "") << what;
    std::FILE* file = qzpack::createNewFile(held, "out.tmp");
    EXPECT_EQ(file, nullptr) << what;
    EXPECT_EQ(errno, EEXIST) << what;
    if (file) std::fclose(file);
    EXPECT_EQ(readFile(folder / "outside/keep.txt"), bytesOf("outside")) << what;
    EXPECT_FALSE(fs::exists(folder / "outside/new.txt")) << what;
    EXPECT_FALSE(fs::exists(folder / "outside/out.tmp")) << what;
  }
}

TEST(QzpackHeldFolder, AWalkStopsAtALinkOrAFileOnItsWayAndMakesNothingBeyond) {
  struct Case {
    const char* planted;  // at in/a/b, on the way to in/a/b/c
    const char* fault;
  };
  std::vector<Case> cases = {{"", ""}, {"file", "is a file where a folder is needed"}};
#ifndef _WIN32
  cases.push_back({"link to a folder", "is a symbolic link"});
#endif
  for (const Case& c : cases) {
    ScratchFolder folder;
    writeFile(folder / "outside/keep.txt", std::string("outside"));
    fs::create_directories(folder / "in/a");
    plant(c.planted, folder, folder / "in/a/b");
    qzpack::HeldFolder held;
    std::string fault = qzpack::holdFolder(folder / "in", {"a", "b", "c"}, held);
    if (!*c.fault) {
      ASSERT_EQ(fault, "");
      std::FILE* file = qzpack::createNewFile(held, "x.txt");
      ASSERT_NE(file, nullptr);
      std::fclose(file);
      EXPECT_TRUE(fs::is_regular_file(folder / "in/a/b/c/x.txt")) << "made where the walk led";
      continue;
    }
    EXPECT_NE(fault.find(c.fault), std::string::npos) << c.planted << ": " << fault;
    std::string stoppedAt = (folder.path() / "in" / "a" / "b").u8string();
    EXPECT_NE(fault.find(stoppedAt), std::string::npos) << "names where it stopped: " << fault;
    EXPECT_FALSE(fs::exists(folder / "outside/c")) << c.planted;
  }
}

}  // namespace
