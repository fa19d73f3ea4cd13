#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "mod_builder.h"
#include "module.h"

using namespace modtest;

namespace {

using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

const Note& noteOf(const Module* m, int pattern, int channel, int row) {
  return m->patterns[(pattern * 4 + channel) * 64 + row];
}

TEST(Loader, ReadsHeaderFieldsAsStored) {
  ModDraft mod;
  mod.title = "tarn tune";
  mod.samples[0] = {"lead", 4, 0xF3, 100, 1, 3, filled(8, 1)};
  mod.samples[30] = {"last", 0, 0, 20, 7, 9, {}};  // an empty slot keeps its loop fields
  mod.songLength = 3;
  mod.restartPosition = 2;
  mod.orders[0] = 1;
  mod.orders[2] = 0;
  mod.orders[3] = 9;  // beyond songLength: not counted
  mod.setCell(1, 0, 0, 0, 0);
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->title, "tarn tune");
  EXPECT_STREQ(m->samples[0].name, "lead");
  EXPECT_EQ(m->samples[0].length, 8);
  EXPECT_EQ(m->samples[0].finetune, 0xF3);
  EXPECT_EQ(m->samples[0].volume, 100);  // above 64, unchanged
  EXPECT_EQ(m->samples[0].loopStart, 2);
  EXPECT_EQ(m->samples[0].loopLength, 6);  // start + length beyond the data, kept as read
  EXPECT_EQ(m->samples[30].length, 0);
  EXPECT_EQ(m->samples[30].data, nullptr);
  EXPECT_EQ(m->samples[30].loopStart, 14);
  EXPECT_EQ(m->samples[30].loopLength, 18);
  EXPECT_EQ(m->songLength, 3);
  EXPECT_EQ(m->restartPosition, 2);
  EXPECT_EQ(m->orders[3], 9);
  EXPECT_EQ(m->patternCount, 2);
}

TEST(Loader, DecodesCellsAndGroupsThemByChannel) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 0x1F, 0x358, 0xC, 0x40);
  mod.setCell(0, 5, 3, 0xFF, 0xFFF, 0xF, 0xFF);  // all high bits of b0 go into the sample number
  mod.setCell(0, 63, 2, 0x10, 1, 0, 0);
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  const Note& a = noteOf(m.get(), 0, 0, 0);
  EXPECT_EQ(a.sample, 0x1F);
  EXPECT_EQ(a.period, 0x358);
  EXPECT_EQ(a.effect, 0xC);
  EXPECT_EQ(a.param, 0x40);
  const Note& b = noteOf(m.get(), 0, 3, 5);
  EXPECT_EQ(b.sample, 0xFF);
  EXPECT_EQ(b.period, 0xFFF);
  EXPECT_EQ(b.effect, 0xF);
  EXPECT_EQ(b.param, 0xFF);
  EXPECT_EQ(noteOf(m.get(), 0, 2, 63).sample, 0x10);
  EXPECT_EQ(noteOf(m.get(), 0, 2, 63).period, 1);
  EXPECT_EQ(noteOf(m.get(), 0, 1, 5).period, 0);
}

TEST(Loader, IgnoresTheSignature) {
  for (const char* signature : {"M.K.", "M!K!", "6CHN", "\x01\x02\x03\x04", "    "}) {
    ModDraft mod;
    mod.signature = signature;
    mod.setCell(0, 1, 1, 1, 428);
    mod.setSample(1, {0x00, 0x7F, 0x80, 0xFF});
    ModulePtr m(load(mod.build()));
    ASSERT_TRUE(m) << signature;
    EXPECT_EQ(m->patternCount, 1);
    EXPECT_EQ(noteOf(m.get(), 0, 1, 1).period, 428);
    ASSERT_EQ(m->samples[0].length, 4);
    EXPECT_EQ(m->samples[0].data[3], 0x7F);
  }
}

TEST(Loader, CountsPatternsFromTheOrdersInUseOnly) {
  ModDraft none;
  none.songLength = 0;
  none.orders[0] = 7;
  none.setCell(0, 0, 0, 0, 0);
  ModulePtr m(load(none.build()));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->patternCount, 1);

  // Orders 0, 1, 5 with songLength 2: two patterns are read, and the third stored pattern is
  // taken as the start of the sample data.
  ModDraft mod;
  mod.songLength = 2;
  mod.orders = {0, 1, 5};
  mod.setCell(2, 0, 0, 0x12, 0x345, 6, 0x78);
  mod.samples[0].lengthWords = 2;
  m.reset(load(mod.build()));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->patternCount, 2);
  ASSERT_EQ(m->samples[0].length, 4);
  const uint8_t cell[4] = {0x13, 0x45, 0x26, 0x78};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(m->samples[0].data[i], (cell[i] + 0x80) & 0xFF);
}

TEST(Loader, TwoByteSlotIsEmptyAndItsBytesGoToTheNextSlotWithData) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 0, 0);
  mod.samples[0].lengthWords = 1;
  mod.samples[0].data = {0x10, 0x11};
  mod.samples[2].lengthWords = 2;
  mod.samples[2].data = {0x12, 0x13};
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->samples[0].length, 0);
  EXPECT_EQ(m->samples[0].data, nullptr);
  ASSERT_EQ(m->samples[2].length, 4);
  EXPECT_EQ(m->samples[2].data[0], 0x90);
  EXPECT_EQ(m->samples[2].data[1], 0x91);
  EXPECT_EQ(m->samples[2].data[2], 0x92);
}

// Playback goes by the loop flag and the end alone; the loader decides them from the fields.
TEST(Loader, DecidesEachSlotsLoopAndEndOnce) {
  struct Case {
    uint16_t startWords, lengthWords;
    bool looped;
    int32_t end;
  };
  const Case cases[] = {
      {0, 0, false, 100},  {10, 1, false, 100},  // one word or less: no loop
      {10, 2, true, 24},   {10, 60, true, 100},  // inside the data; reaching past it, cut there
      {50, 4, false, 100},                       // starting at the data's end: no loop
  };
  ModDraft mod;
  mod.setCell(0, 0, 0, 0, 0);
  for (int i = 0; i < 5; ++i)
    mod.setSample(i + 1, filled(100, 1), 64, cases[i].startWords, cases[i].lengthWords);
  mod.samples[5] = {"empty", 0, 0, 64, 0, 4, {}};
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(m->samples[i].looped, cases[i].looped) << i;
    EXPECT_EQ(m->samples[i].end, cases[i].end) << i;
  }
  EXPECT_FALSE(m->samples[5].looped);
  EXPECT_EQ(m->samples[5].end, 0);
}

TEST(Loader, StoresSampleBytesOffsetBy128) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 0, 0);
  mod.setSample(4, {0x00, 0x7F, 0x80, 0xFF});
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  const uint8_t expected[4] = {0x80, 0xFF, 0x00, 0x7F};
  EXPECT_EQ(std::memcmp(m->samples[3].data, expected, 4), 0);
}

TEST(Loader, CutsNamesAt22AndTheTitleAt20Characters) {
  ModDraft mod;
  mod.title = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  mod.samples[5].name = "0123456789012345678901234";
  mod.setCell(0, 0, 0, 0, 0);
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->title, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_STREQ(m->samples[5].name, "0123456789012345678901");
}

TEST(Loader, ReadsAFileLikeMemoryAndGivesNullForAMissingFile) {
  ModDraft mod;
  mod.title = "from file";
  mod.setCell(0, 3, 2, 1, 214, 0xA, 0x20);
  mod.setSample(1, filled(6, 0x40), 30, 1, 2);
  Bytes bytes = mod.build();
  ModulePtr fromFile(load(bytes, true));
  ModulePtr fromMemory(load(bytes));
  ASSERT_TRUE(fromFile);
  ASSERT_TRUE(fromMemory);
  EXPECT_STREQ(fromFile->title, "from file");
  for (int i = 0; i < 256; ++i) {
    const Note& a = fromFile->patterns[i];
    const Note& b = fromMemory->patterns[i];
    ASSERT_TRUE(a.sample == b.sample && a.period == b.period && a.effect == b.effect &&
                a.param == b.param)
        << i;
  }
  EXPECT_EQ(noteOf(fromFile.get(), 0, 2, 3).effect, 0xA);
  EXPECT_EQ(std::memcmp(fromFile->samples[0].data, fromMemory->samples[0].data, 6), 0);
  EXPECT_EQ(loadModule("/nonexistent/folder/song.mod"), nullptr);
  EXPECT_EQ(loadModule(nullptr), nullptr);
  freeModule(nullptr);
}

// Beyond the plain reading: values the file format allows but the record must not take over.

TEST(LoaderLimits, CutsASongLengthAbove128) {
  ModDraft mod;
  mod.songLength = 200;
  mod.orders[127] = 1;
  mod.setCell(1, 0, 0, 0, 0);
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->songLength, 128);
  EXPECT_EQ(m->patternCount, 2);
}

TEST(LoaderLimits, AnOrderEntryOf255Means256Patterns) {
  ModDraft mod;
  mod.orders[0] = 255;
  mod.setCell(255, 63, 3, 1, 0x123);
  ModulePtr m(load(mod.build()));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->patternCount, 256);
  EXPECT_EQ(noteOf(m.get(), 255, 3, 63).period, 0x123);
}

TEST(LoaderLimits, RefusesAFileThatEndsBeforeItsPatternsDo) {
  ModDraft mod;
  mod.songLength = 2;
  mod.orders = {0, 1};
  mod.setCell(1, 0, 0, 0, 0);
  Bytes whole = mod.build();
  ASSERT_EQ(whole.size(), 1084u + 2048u);
  for (size_t size : {size_t{0}, size_t{20}, size_t{951}, size_t{1083}, size_t{1084}, size_t{2000},
                      whole.size() - 1}) {
    Bytes cut(whole.begin(), whole.begin() + size);
    EXPECT_EQ(load(cut), nullptr) << size;
    EXPECT_EQ(load(cut, true), nullptr) << size;
  }
}

TEST(LoaderLimits, KeepsSampleDataCutShortByTheEndOfTheFile) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 0, 0);
  mod.setSample(1, filled(100, 1));
  mod.setSample(2, filled(100, 2), 64, 10, 40);
  mod.setSample(3, filled(100, 3));
  Bytes bytes = mod.build();
  bytes.resize(bytes.size() - 100 - 60);  // slot 2 keeps 40 bytes, slot 3 none
  ModulePtr m(load(bytes));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->samples[0].length, 100);
  EXPECT_EQ(m->samples[1].length, 40);
  EXPECT_EQ(m->samples[1].data[39], 0x82);
  EXPECT_EQ(m->samples[1].loopLength, 80);  // as read; the loop ends with the data kept
  EXPECT_TRUE(m->samples[1].looped);
  EXPECT_EQ(m->samples[1].end, 40);
  EXPECT_EQ(m->samples[2].length, 0);
  EXPECT_EQ(m->samples[2].data, nullptr);

  bytes.resize(bytes.size() - 38);  // two bytes of slot 2 are no sample either
  m.reset(load(bytes));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->samples[1].length, 0);
  EXPECT_EQ(m->samples[1].data, nullptr);
}

}  // namespace
