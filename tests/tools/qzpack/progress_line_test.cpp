#include "progress_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

using namespace testing_support;

namespace {

std::string contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

// qzpack draws its progress line on standard error only when that is a terminal.
TEST(QzpackProgress, OnlyATerminalGetsTheLine) {
  ScratchFolder folder;
  std::FILE* file = std::fopen((folder / "log.txt").string().c_str(), "w");
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(qzpack::isTerminal(file));
  std::fclose(file);
#ifndef _WIN32
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  std::FILE* piped = fdopen(pipeEnds[1], "w");
  EXPECT_FALSE(qzpack::isTerminal(piped));
  std::fclose(piped);
  close(pipeEnds[0]);

  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::FILE* terminal = std::fopen(ptsname(master), "w");
  ASSERT_NE(terminal, nullptr);
  EXPECT_TRUE(qzpack::isTerminal(terminal));
  std::fclose(terminal);
  close(master);
#endif
}

TEST(QzpackProgress, LineAppearsAfterItsDelayAndIsErasedAtTheEnd) {
  ScratchFolder folder;
  std::FILE* quick = std::fopen((folder / "quick.txt").string().c_str(), "w+b");
  ASSERT_NE(quick, nullptr);
  {
    qzpack::ProgressLine line(quick, 10, 8 << 20, std::chrono::hours(1));
    line.update(3, 2 << 20);
  }
  EXPECT_EQ(contents(quick), "") << "a quick build prints nothing extra";
  std::fclose(quick);

  std::FILE* slow = std::fopen((folder / "slow.txt").string().c_str(), "w+b");
  ASSERT_NE(slow, nullptr);
  qzpack::ProgressLine line(slow, 10, 8 << 20, std::chrono::milliseconds(0));
  line.update(3, 2 << 20);
  std::string drawn = contents(slow);
  EXPECT_EQ(drawn.rfind("\rqzpack: 3/10 files, 2.0 of 8.0 MiB, ", 0), 0u) << drawn;
  EXPECT_EQ(drawn.substr(drawn.size() - 6), " MiB/s") << drawn;
  EXPECT_EQ(drawn.find('\n'), std::string::npos) << "one line, redrawn in place";
  line.finish();
  std::string erased = contents(slow).substr(drawn.size());
  EXPECT_EQ(erased, "\r" + std::string(drawn.size() - 1, ' ') + "\r");
  std::fclose(slow);
}

}  // namespace
