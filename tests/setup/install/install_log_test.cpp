// The install log's format: what the writer puts down the reader takes back, and every kind of
// damage is found where it lies.
#include "install/install_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Read {
  std::vector<std::pair<int, std::string>> records;
  LogStep last;
  size_t at;
};

Read readAll(const std::string& bytes) {
  Read read{{}, logEnded, 0};
  LogRecord record;
  while ((read.last = readLogRecord(bytes.data(), bytes.size(), &read.at, &record)) ==
         logRecordRead)
    read.records.emplace_back(record.type, record.path);
  return read;
}

TEST(InstallLog, WhatTheWriterPutsDownTheReaderTakesBack) {
  const std::vector<std::pair<int, std::string>> records = {
      {logFileRecord, "C:\\Games\\Tarn\\data\\level.dat"},
      {logFileRecord, "C:\\Games\\Tarn\\" + std::string(246, 'x')},  // 260 characters
      {logShortcutRecord, "C:\\Menu\\Tarn\\Read me.lnk"},
  };
  installLog = std::tmpfile();
  ASSERT_NE(installLog, nullptr);
  for (const auto& [type, path] : records) {
    ASSERT_TRUE(writeLogType(static_cast<unsigned char>(type)));
    ASSERT_TRUE(writeLogString(installLog, path.c_str()));
  }
  std::string bytes(static_cast<size_t>(std::ftell(installLog)), '\0');
  std::rewind(installLog);
  ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), installLog), bytes.size());
  std::fclose(installLog);
  installLog = nullptr;
  EXPECT_EQ(records[1].second.size(), 260u);
  Read read = readAll(bytes);
  EXPECT_EQ(read.last, logEnded);
  EXPECT_EQ(read.records, records);
  EXPECT_FALSE(writeLogType(logFileRecord)) << "no open log";
}

TEST(InstallLog, DamageIsFoundAtTheRecordWhereItLies) {
  const std::string good = std::string("\x01") + "C:\\a.txt" + '\0';  // 10 bytes
  const struct {
    const char* what;
    std::string bytes;
    LogStep step;
    size_t at;
  } cases[] = {
      {"empty log", "", logEnded, 0},
      {"type 0", good + std::string("\x00C:\\b\x00", 6), logUnknownType, 10},
      {"type 3", good + "\x03" + "C:\\b" + '\0', logUnknownType, 10},
      {"path without its NUL", good + "\x02" + "C:\\b.lnk", logPathUnterminated, 10},
      {"type byte alone at the end", good + "\x01", logPathUnterminated, 10},
      {"path of 261 characters", good + "\x01" + std::string(261, 'p') + '\0', logPathTooLong, 10},
      {"long path cut short", "\x01" + std::string(300, 'p'), logPathTooLong, 0},
      {"empty path", good + "\x01" + '\0', logPathEmpty, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Read read = readAll(c.bytes);
    EXPECT_EQ(read.last, c.step);
    EXPECT_EQ(read.at, c.at) << "left at the damaged record's start";
    EXPECT_EQ(read.records.size(), c.at ? 1u : 0u) << "the records before it are read";
  }
}

}  // namespace
