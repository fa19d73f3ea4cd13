#include "package/archive.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

using namespace testing_support;

namespace {

struct ArchiveEntry {
  std::string name;
  Bytes stored;
  uint32_t size;
};

// An archive laid out as a packaging step writes it, entries back to back in directory order.
Bytes archiveBytes(const std::vector<ArchiveEntry>& entries, uint32_t flags) {
  Bytes directory;
  uint32_t dataStart = 9;
  for (const ArchiveEntry& e : entries) dataStart += static_cast<uint32_t>(e.name.size() + 9);
  putU32(directory, dataStart);
  putU32(directory, flags);
  uint32_t offset = 0;
  for (const ArchiveEntry& e : entries) {
    putString(directory, e.name);
    putU32(directory, offset);
    putU32(directory, e.size);
    offset += static_cast<uint32_t>(e.stored.size());
  }
  directory.push_back(0);
  for (const ArchiveEntry& e : entries)
    directory.insert(directory.end(), e.stored.begin(), e.stored.end());
  return directory;
}

Bytes bzip2(const Bytes& content, int blockSize = 9) {
  unsigned int length = static_cast<unsigned int>(content.size() + content.size() / 100 + 700);
  Bytes out(length);
  char none = 0;  // libbz2 refuses a null source even when it is empty
  char* source =
      content.empty() ? &none : const_cast<char*>(reinterpret_cast<const char*>(content.data()));
  int ret = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &length, source,
                                     static_cast<unsigned int>(content.size()), blockSize, 0, 0);
  EXPECT_EQ(ret, BZ_OK);
  out.resize(length);
  return out;
}

ArchiveEntry plainEntry(const std::string& name, const Bytes& content) {
  return {name, content, static_cast<uint32_t>(content.size())};
}
ArchiveEntry packedEntry(const std::string& name, const Bytes& content) {
  return {name, bzip2(content), static_cast<uint32_t>(content.size())};
}

// Reads a whole entry through its stream in chunks; fails the test on a stalled read.
Bytes drain(EntryStream* stream, int32_t chunk, bool* failed = nullptr) {
  Bytes content;
  std::vector<unsigned char> buffer(static_cast<size_t>(chunk));
  while (!entryAtEnd(stream)) {
    int32_t got = readEntry(stream, buffer.data(), chunk);
    if (got == 0) break;
    EXPECT_LE(got, chunk);
    content.insert(content.end(), buffer.begin(), buffer.begin() + got);
  }
  if (failed) *failed = entryFailed(stream);
  return content;
}

class ArchiveTest : public ::testing::Test {
 protected:
  // Places the archive behind some leading bytes, as in a carrier file; returns the path.
  // The fixture's reader goes first: it holds the file open, and Windows lets nobody write it.
  std::string carrierWith(const Bytes& archive, uint32_t lead = 300) {
    freeArchive(reader);
    reader = nullptr;
    Bytes file(lead, 0xAA);
    file.insert(file.end(), archive.begin(), archive.end());
    writeFile(folder / "carrier.exe", file);
    return (folder / "carrier.exe").string();
  }
  ArchiveReader* open(const Bytes& archive, uint32_t lead = 300) {
    reader = openArchive(carrierWith(archive, lead).c_str(), lead);
    return reader;
  }
  void TearDown() override { freeArchive(reader); }

  ScratchFolder folder;
  ArchiveReader* reader = nullptr;
};

TEST_F(ArchiveTest, PlainSingleEntryExampleByteForByte) {
  Bytes archive = archiveBytes({plainEntry("a.txt", bytesOf("abc"))}, 0);
  Bytes expected = {0x17, 0, 0, 0, 0, 0, 0, 0, 'a', '.', 't', 'x', 't',
                    0,    0, 0, 0, 0, 3, 0, 0, 0,   0,   'a', 'b', 'c'};
  ASSERT_EQ(archive, expected);

  // The packager writes the same archive for that file.
  ScratchFolder build;
  writeFile(build / "a.txt", std::string("abc"));
  Bytes package = readFile(buildPackage(build, R"(
title = "t"
compression = "none"
[[component]]
name = "c"
files = ["a.txt"]
)"));
  ASSERT_GE(package.size(), expected.size());
  EXPECT_EQ(Bytes(package.end() - static_cast<long>(expected.size()), package.end()), expected);

  ASSERT_NE(open(archive, 1000), nullptr);
  EXPECT_EQ(reader->status, archiveOk);
  EXPECT_EQ(reader->archiveFlags, 0u);
  ASSERT_EQ(reader->count, 1);
  uint32_t offset = 0;
  int32_t size = 0;
  ASSERT_EQ(findEntry(reader, "a.txt", &offset, &size), 1);
  EXPECT_EQ(offset, 1000u + 23u);
  EXPECT_EQ(size, 3);
  EntryStream* stream = openEntry(reader, "a.txt");
  EXPECT_EQ(drain(stream, 16384), bytesOf("abc"));
  EXPECT_FALSE(entryFailed(stream));
  closeEntry(stream);
}

TEST_F(ArchiveTest, PlainEntriesDeliverExactlyTheirSizeWhenOthersFollow) {
  ASSERT_NE(
      open(archiveBytes({plainEntry("one", bytesOf("11111")), plainEntry("two", bytesOf("22")),
                         plainEntry("three", bytesOf("333"))},
                        0)),
      nullptr);
  for (auto [name, content] : {std::pair{"one", "11111"}, {"two", "22"}, {"three", "333"}}) {
    EntryStream* stream = openEntry(reader, name);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(drain(stream, 4), bytesOf(content)) << name;
    EXPECT_EQ(readEntry(stream, nullptr, 10), 0) << "nothing past the entry's size";
    closeEntry(stream);
  }
}

TEST_F(ArchiveTest, CompressedEntriesOfDifferentLengthsReadInChunksEndExactlyAtSize) {
  std::vector<Bytes> contents = {mixedBytes(0, 1),       mixedBytes(1, 2),
                                 mixedBytes(16384, 3),   mixedBytes(16385, 4),
                                 mixedBytes(1000000, 5), mixedBytes(70000, 6)};
  std::vector<ArchiveEntry> entries;
  for (size_t i = 0; i < contents.size(); ++i)
    entries.push_back(packedEntry("e" + std::to_string(i), contents[i]));
  ASSERT_NE(open(archiveBytes(entries, archiveCompressed)), nullptr);
  ASSERT_EQ(reader->status, archiveOk);
  for (size_t i = 0; i < contents.size(); ++i) {
    EntryStream* stream = openEntry(reader, ("e" + std::to_string(i)).c_str());
    ASSERT_NE(stream, nullptr);
    bool failed = true;
    Bytes content = drain(stream, 16384, &failed);
    EXPECT_EQ(content.size(), contents[i].size()) << "entry " << i;
    EXPECT_TRUE(content == contents[i]) << "entry " << i;
    EXPECT_FALSE(failed) << "entry " << i;
    EXPECT_EQ(stream->position, stream->size);
    closeEntry(stream);
  }
}

TEST_F(ArchiveTest, LookupIsCaseSensitiveAndTheFirstOfEqualNamesWins) {
  ASSERT_NE(open(archiveBytes({plainEntry("Readme.txt", bytesOf("upper")),
                               plainEntry("readme.txt", bytesOf("lower")),
                               plainEntry("readme.txt", bytesOf("second"))},
                              0)),
            nullptr);
  uint32_t offset = 7;
  int32_t size = 7;
  EXPECT_EQ(findEntry(reader, "README.TXT", &offset, &size), 0);
  EXPECT_EQ(offset, 7u) << "outputs stay untouched";
  EXPECT_EQ(size, 7);
  EXPECT_EQ(openEntry(reader, "README.TXT"), nullptr);
  EntryStream* lower = openEntry(reader, "readme.txt");
  EXPECT_EQ(drain(lower, 100), bytesOf("lower"));
  closeEntry(lower);
  EntryStream* upper = openEntry(reader, "Readme.txt");
  EXPECT_EQ(drain(upper, 100), bytesOf("upper"));
  closeEntry(upper);
}

TEST_F(ArchiveTest, LookupAmongThousandsOfEntriesFindsTheFirstOfEqualNames) {
  // Names n0..n1999 three times over, each entry one byte of its own.
  std::vector<ArchiveEntry> entries;
  for (int i = 0; i < 6000; ++i)
    entries.push_back(
        plainEntry("n" + std::to_string(i % 2000), Bytes{static_cast<unsigned char>(i)}));
  ASSERT_NE(open(archiveBytes(entries, 0)), nullptr);
  ASSERT_EQ(reader->status, archiveOk);
  ASSERT_EQ(reader->count, 6000);
  for (int i = 0; i < 2000; ++i) {
    uint32_t offset = 0;
    int32_t size = 0;
    ASSERT_EQ(findEntry(reader, ("n" + std::to_string(i)).c_str(), &offset, &size), 1) << i;
    EXPECT_EQ(offset, reader->offsets[i]) << "n" << i << " is found at its first entry";
  }
  for (const char* absent : {"n2000", "", "N1", "n01"}) {
    uint32_t offset;
    int32_t size;
    EXPECT_EQ(findEntry(reader, absent, &offset, &size), 0) << absent;
  }
}

TEST_F(ArchiveTest, OneEntryOpenedTwiceReadsFromTheStartInEachStream) {
  Bytes content = mixedBytes(50000, 9);
  ASSERT_NE(open(archiveBytes({packedEntry("x", content)}, archiveCompressed)), nullptr);
  EntryStream* first = openEntry(reader, "x");
  EntryStream* second = openEntry(reader, "x");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  unsigned char head[100];
  ASSERT_EQ(readEntry(first, head, 100), 100);
  EXPECT_EQ(drain(second, 16384), content);
  Bytes rest = drain(first, 16384);
  rest.insert(rest.begin(), head, head + 100);
  EXPECT_EQ(rest, content);
  closeEntry(first);
  closeEntry(second);
}

TEST_F(ArchiveTest, ReopeningThroughASpentStreamReadsEachEntryWhole) {
  // After a whole entry, one left half-read, a damaged one and a missing name; plain and bzip2.
  Bytes a = mixedBytes(50000, 1), b = mixedBytes(30000, 2), c = mixedBytes(70000, 3);
  for (uint32_t flags : {0u, uint32_t{archiveCompressed}}) {
    SCOPED_TRACE(flags);
    auto entry = flags ? packedEntry : plainEntry;
    ArchiveEntry damaged = entry("bad", c);
    damaged.stored[damaged.stored.size() / 2] ^= 0x40;
    damaged.stored.resize(damaged.stored.size() - 10);  // plain data: cut at the file's end
    ASSERT_NE(open(archiveBytes({entry("a", a), entry("b", b), entry("c", c), damaged}, flags)),
              nullptr);
    EntryStream* stream = openEntry(reader, "a");
    EXPECT_EQ(drain(stream, 16384), a);
    stream = reopenEntry(reader, "b", stream);
    unsigned char head[100];
    ASSERT_EQ(readEntry(stream, head, 100), 100);
    stream = reopenEntry(reader, "bad", stream);
    bool failed = false;
    drain(stream, 16384, &failed);
    EXPECT_TRUE(failed);
    stream = reopenEntry(reader, "c", stream);
    EXPECT_EQ(drain(stream, 16384, &failed), c);
    EXPECT_FALSE(failed) << "the damage before is not this entry's";
    stream = reopenEntry(reader, "b", stream);
    EXPECT_EQ(drain(stream, 16384), b);
    EXPECT_EQ(reopenEntry(reader, "missing", stream), nullptr) << "the spent stream is closed";
  }
}

TEST_F(ArchiveTest, EmptyDirectoryAndNullStreams) {
  ASSERT_NE(open(archiveBytes({}, 0)), nullptr);
  EXPECT_EQ(reader->count, 0);
  EXPECT_EQ(reader->status, archiveOk);
  EXPECT_EQ(openEntry(reader, "anything"), nullptr);
  EXPECT_TRUE(entryAtEnd(nullptr));
  EXPECT_EQ(readEntry(nullptr, nullptr, 10), 0);
  EXPECT_TRUE(entryFailed(nullptr));
  closeEntry(nullptr);  // does nothing
  EXPECT_EQ(openArchive((folder / "missing.exe").string().c_str(), 0), nullptr);
}

TEST_F(ArchiveTest, NamesUpTo260CharactersAreTakenLongerOnesEndTheDirectory) {
  std::string longest(260, 'n');
  ASSERT_NE(open(archiveBytes({plainEntry(longest, bytesOf("ok")),
                               plainEntry(longest + "x", bytesOf("no")), plainEntry("after", {})},
                              0)),
            nullptr);
  EXPECT_EQ(reader->status, archiveNameTooLong);
  ASSERT_EQ(reader->count, 1);
  EntryStream* stream = openEntry(reader, longest.c_str());
  EXPECT_EQ(drain(stream, 10), bytesOf("ok"));
  closeEntry(stream);
}

TEST_F(ArchiveTest, DirectoryCutAnywhereKeepsOnlyWholeEntries) {
  Bytes whole =
      archiveBytes({plainEntry("first", bytesOf("1")), plainEntry("second", bytesOf("2"))}, 0);
  size_t directoryEnd = 8 + 14 + 15 + 1;
  for (size_t length = 0; length < directoryEnd; ++length) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(length));
    ArchiveReader* r = openArchive(carrierWith(cut).c_str(), 300);
    ASSERT_NE(r, nullptr);
    EXPECT_NE(r->status, archiveOk) << "cut at " << length;
    // Only an entry read whole may be kept, never one with made-up values.
    if (length < 22) {
      EXPECT_EQ(r->count, 0) << "cut at " << length;
    }
    for (int32_t i = 0; i < r->count; ++i) {
      EXPECT_STREQ(r->names[i], "first");
      EXPECT_EQ(r->sizes[i], 1);
    }
    freeArchive(r);
  }
}

TEST_F(ArchiveTest, DataPastTheEndOfTheFileMarksTheArchiveDamaged) {
  Bytes archive = archiveBytes({plainEntry("a", bytesOf("abcdef"))}, 0);
  archive.resize(archive.size() - 2);  // a download cut inside the data area
  ASSERT_NE(open(archive), nullptr);
  EXPECT_EQ(reader->status, archiveDataOutside);

  Bytes packed = archiveBytes({packedEntry("a", bytesOf("x"))}, archiveCompressed);
  packed[0] = 0xFF;  // dataStart far past the end
  packed[1] = 0xFF;
  ArchiveReader* beyond = openArchive(carrierWith(packed).c_str(), 300);
  EXPECT_EQ(beyond->status, archiveDataOutside);
  EXPECT_EQ(beyond->count, 0);
  freeArchive(beyond);
}

TEST_F(ArchiveTest, ShortOrCorruptStoredDataStallsTheStreamAndMarksItFailed) {
  Bytes content = mixedBytes(200000, 11);
  Bytes stored = bzip2(content);

  // Cut inside the bzip2 stream.
  Bytes cut = archiveBytes(
      {{"a", Bytes(stored.begin(), stored.begin() + static_cast<long>(stored.size() / 2)),
        static_cast<uint32_t>(content.size())}},
      archiveCompressed);
  ASSERT_NE(open(cut), nullptr);
  EntryStream* stream = openEntry(reader, "a");
  ASSERT_NE(stream, nullptr);
  bool failed = false;
  EXPECT_LT(drain(stream, 16384, &failed).size(), content.size());
  EXPECT_TRUE(failed);
  EXPECT_LT(stream->position, stream->size);
  closeEntry(stream);

  // A flipped byte inside the compressed data.
  Bytes corrupt = stored;
  corrupt[corrupt.size() / 2] ^= 0x40;
  reader =
      openArchive(carrierWith(archiveBytes({{"a", corrupt, static_cast<uint32_t>(content.size())}},
                                           archiveCompressed))
                      .c_str(),
                  300);
  stream = openEntry(reader, "a");
  drain(stream, 16384, &failed);
  EXPECT_TRUE(failed);
  closeEntry(stream);

  // Not bzip2 data at all.
  reader = openArchive(
      carrierWith(archiveBytes({{"a", bytesOf("plain text here"), 15}}, archiveCompressed)).c_str(),
      300);
  stream = openEntry(reader, "a");
  if (stream) {
    EXPECT_EQ(drain(stream, 16384, &failed).size(), 0u);
    EXPECT_TRUE(failed);
    closeEntry(stream);
  }
}

TEST_F(ArchiveTest, StreamThatDoesNotEndAtTheEntrySizeIsFailed) {
  Bytes content = mixedBytes(30000, 12);
  // The directory claims fewer bytes than the stream holds: every byte read is right, but the
  // stream does not end where the entry does.
  ASSERT_NE(open(archiveBytes({{"short", bzip2(content), 20000}}, archiveCompressed)), nullptr);
  EntryStream* stream = openEntry(reader, "short");
  bool failed = false;
  Bytes read = drain(stream, 16384, &failed);
  EXPECT_EQ(read, Bytes(content.begin(), content.begin() + 20000));
  EXPECT_TRUE(failed);
  closeEntry(stream);

  // And more bytes than it holds: the stream ends early.
  reader = openArchive(
      carrierWith(archiveBytes({{"long", bzip2(content), 40000}}, archiveCompressed)).c_str(), 300);
  stream = openEntry(reader, "long");
  read = drain(stream, 16384, &failed);
  EXPECT_EQ(read, content);
  EXPECT_TRUE(failed);
  closeEntry(stream);
}

}  // namespace
