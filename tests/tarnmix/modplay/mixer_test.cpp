#include "mixer.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "mod_builder.h"
#include "sequencer.h"

using namespace modtest;

namespace {

using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

// A module with empty patterns, so the clock never touches the channels; each test sets the
// channel state it mixes.
class Mixer : public ::testing::Test {
 protected:
  void SetUp() override {
    buildFreqTable();
    for (auto& level : channelVU) level = 0;
  }
  void start(ModDraft& mod) {
    mod.setCell(0, 0, 0, 0, 0);
    module.reset(load(mod.build()));
    ASSERT_TRUE(module);
    prepareForPlayback(module.get());
  }
  // Slot number n (1..31) on channel c at the given step and volume.
  void play(int c, int n, int32_t step, int32_t channelVolume = 64) {
    Channel& channel = module->channels[c];
    channel.sample = &module->samples[n - 1];
    channel.position = 0;
    channel.step = step;
    channel.volume = channelVolume;
  }
  std::array<uint8_t, partSamples> mix() {
    std::array<uint8_t, partSamples> part;
    wave = part.data();
    fillPart(module.get());
    return part;
  }
  std::array<int, 4> vu() const { return {channelVU[0], channelVU[1], channelVU[2], channelVU[3]}; }

  ModulePtr module;
};

TEST_F(Mixer, NullModuleWritesNothingAndKeepsTheLevels) {
  std::array<uint8_t, partSamples> part;
  part.fill(7);
  channelVU[2] = 99;
  wave = part.data();
  fillPart(nullptr);
  for (uint8_t b : part) ASSERT_EQ(b, 7);
  EXPECT_EQ(channelVU[2], 99);
}

TEST_F(Mixer, SilentChannelsGive128AndLevelsFallBy16) {
  ModDraft mod;
  start(mod);
  channelVU[0] = 40;
  channelVU[1] = 10;
  for (uint8_t b : mix()) ASSERT_EQ(b, 128);
  EXPECT_EQ(vu(), (std::array<int, 4>{24, 0, 0, 0}));
}

TEST_F(Mixer, ScalesByChannelAndMasterVolume) {
  struct Case {
    uint8_t fileByte;
    int32_t channelVolume;
    int channels;
    uint8_t out;
  };
  // File byte 0x7F is stored 255 (+127), 0x80 is stored 0 (-128).
  for (Case c : {Case{0x7F, 64, 1, 191}, Case{0x80, 64, 1, 64}, Case{0x7F, 64, 4, 255},
                 Case{0x80, 64, 4, 0}, Case{0x7F, 32, 1, 159}, Case{0x7F, 0, 1, 128},
                 Case{0x81, 64, 1, 64}, Case{0x7F, 255, 1, 255}}) {
    ModDraft mod;
    mod.setSample(1, filled(4, c.fileByte), 64, 0, 2);
    start(mod);
    for (int ch = 0; ch < c.channels; ++ch) play(ch, 1, 0, c.channelVolume);
    std::array<uint8_t, partSamples> part = mix();
    EXPECT_EQ(part[0], c.out) << int(c.fileByte) << " " << c.channelVolume;
    EXPECT_EQ(part[partSamples - 1], c.out);
  }
}

TEST_F(Mixer, ASampleWithoutLoopPlaysExactlyItsLengthThenStops) {
  for (uint16_t loopWords : {0, 1}) {  // loop length 0 or 2 bytes: no loop
    ModDraft mod;
    mod.setSample(1, filled(100, 0x7F), 64, 0, loopWords);
    start(mod);
    play(0, 1, 65536);
    std::array<uint8_t, partSamples> part = mix();
    for (int n = 0; n < 100; ++n) ASSERT_EQ(part[n], 191) << n;
    for (int n = 100; n < partSamples; ++n) ASSERT_EQ(part[n], 128) << n;
    EXPECT_EQ(module->channels[0].sample, nullptr);
  }
}

TEST_F(Mixer, ALoopOfFourOrMoreBytesRepeats) {
  ModDraft mod;
  mod.setSample(1, filled(100, 0x7F), 64, 40, 2);  // loop of 4 bytes at 80
  start(mod);
  play(0, 1, 65536);
  for (int p = 0; p < 3; ++p)
    for (uint8_t b : mix()) ASSERT_EQ(b, 191);
  int64_t position = module->channels[0].position >> 16;
  EXPECT_GE(position, 80);
  EXPECT_LT(position, 84);
}

TEST_F(Mixer, DropsTheFractionWhenALoopWraps) {
  ModDraft mod;
  // Bytes 0..3 read back as 0, 1, 3, 0, 1, 3: mark each by its value.
  mod.setSample(1, {0x10, 0x20, 0x30, 0x40, 0x00, 0x00}, 64, 0, 2);
  start(mod);
  play(0, 1, 98304);
  std::array<uint8_t, partSamples> part = mix();
  const int expectedIndex[] = {0, 1, 3, 0, 1, 3, 0, 1, 3};
  const uint8_t value[] = {0x10, 0x20, 0x30, 0x40};
  for (int n = 0; n < 9; ++n) EXPECT_EQ(part[n], 128 + ((value[expectedIndex[n]] * 64) >> 7)) << n;
}

TEST_F(Mixer, LevelsFollowThePeakAndDecay) {
  ModDraft mod;
  mod.setSample(1, filled(2205, 0x7F));
  start(mod);
  play(0, 1, 65536);
  play(1, 1, 65536, 32);
  mix();
  EXPECT_EQ(vu(), (std::array<int, 4>{175, 143, 0, 0}));
  std::vector<int> levels;
  for (int p = 0; p < 11; ++p) {
    mix();
    levels.push_back(channelVU[0]);
  }
  EXPECT_EQ(levels, (std::vector<int>{159, 143, 127, 111, 95, 79, 63, 47, 31, 15, 0}));

  // A sounding channel at volume 0 or on silence shows 128 - 16.
  play(0, 1, 0, 0);
  mix();
  EXPECT_EQ(channelVU[0], 112);
}

TEST_F(Mixer, ASlotVolumeAbove64LiftsTheLevelAbove175) {
  struct Case {
    uint8_t slotVolume;
    int level;
  };
  for (Case c : {Case{64, 175}, Case{100, 211}, Case{255, 365}}) {
    ModDraft mod;
    mod.setSample(1, filled(64, 0x7F), c.slotVolume, 0, 32);
    mod.setCell(0, 0, 1, 1, 428);  // the note starts with the slot's volume, unclamped
    start(mod);
    for (auto& level : channelVU) level = 0;
    mix();
    EXPECT_EQ(channelVU[1], c.level) << int(c.slotVolume);
  }
}

TEST_F(Mixer, AdvancesTheClockAfterEverySample) {
  ModDraft mod;
  mod.setSample(1, filled(8000, 0x7F));
  mod.setCell(0, 0, 0, 0, 0);
  mod.setCell(0, 1, 0, 1, 428);
  mod.setCell(0, 1, 1, 0, 0, 0xC, 0);  // nothing on channel 1 yet: no effect
  mod.setCell(0, 2, 0, 0, 0, 0xC, 0);  // volume 0 at sample 10584
  module.reset(load(mod.build()));
  ASSERT_TRUE(module);
  prepareForPlayback(module.get());
  std::vector<uint8_t> out;
  for (int p = 0; p < 5; ++p) {
    std::array<uint8_t, partSamples> part = mix();
    out.insert(out.end(), part.begin(), part.end());
  }
  EXPECT_EQ(out[5291], 128);
  EXPECT_EQ(out[5292], 191);  // the note of row 1 sounds from the next sample on
  EXPECT_EQ(out[10583], 191);
  EXPECT_EQ(out[10584], 128);
}

// Beyond the plain reading: sample data and loops that a 16.16 position or the loop fields
// alone would take outside the data.

TEST_F(Mixer, PlaysSamplesLongerThan32767BytesWhole) {
  ModDraft mod;
  Bytes data = filled(131070, 0x00);
  data[64000] = 0x7F;
  data[131008] = 0x7F;  // the last byte that a step of 64 reaches
  mod.setSample(1, data);
  start(mod);
  play(0, 1, 65536 * 64);
  std::array<uint8_t, partSamples> part = mix();
  EXPECT_EQ(part[999], 128);
  EXPECT_EQ(part[1000], 191);
  EXPECT_EQ(part[2046], 128);
  EXPECT_EQ(part[2047], 191);
  EXPECT_EQ(part[2048], 128);
  EXPECT_EQ(module->channels[0].sample, nullptr);
}

TEST_F(Mixer, ALoopReachingPastTheDataEndsAtTheData) {
  ModDraft mod;
  mod.setSample(1, {0, 0, 0, 0, 0x40, 0x7F}, 64, 2, 10);  // loop 4..24 over 6 bytes of data
  start(mod);
  play(0, 1, 65536);
  std::array<uint8_t, partSamples> part = mix();
  const uint8_t expected[] = {128, 128, 128, 128, 160, 191, 160, 191, 160, 191};
  for (int n = 0; n < 10; ++n) EXPECT_EQ(part[n], expected[n]) << n;
  EXPECT_EQ(part[partSamples - 1], 160);  // index 2204 is even, like 4
  EXPECT_NE(module->channels[0].sample, nullptr);
}

TEST_F(Mixer, ALoopStartingPastTheDataIsNoLoop) {
  ModDraft mod;
  mod.setSample(1, filled(10, 0x7F), 64, 20, 4);
  start(mod);
  play(0, 1, 65536);
  std::array<uint8_t, partSamples> part = mix();
  EXPECT_EQ(part[9], 191);
  EXPECT_EQ(part[10], 128);
  EXPECT_EQ(module->channels[0].sample, nullptr);
}

}  // namespace
