#include "sequencer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "mixer.h"
#include "mod_builder.h"

using namespace modtest;

namespace {

using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

struct Call {
  int code;
  intptr_t value;
  int extra;
  long samples;  // output samples clocked before the call
};

std::vector<Call> calls;
long samplesClocked;

void TARNMIX_CALL record(int code, intptr_t value, int extra) {
  calls.push_back({code, value, extra, samplesClocked});
}

class Sequencer : public ::testing::Test {
 public:
  void SetUp() override {
    buildFreqTable();
    calls.clear();
    samplesClocked = 0;
    newRow = record;
    newPattern = record;
  }
  void TearDown() override {
    newRow = nullptr;
    newPattern = nullptr;
  }

  // Loads the mod (slot 1 gets a default looped sample if it has none) and prepares it.
  void start(ModDraft& mod) {
    if (mod.samples[0].data.empty()) mod.setSample(1, filled(64, 0x20), 40, 0, 32);
    module.reset(load(mod.build()));
    ASSERT_TRUE(module);
    prepareForPlayback(module.get());
  }
  void clock(long samples) {
    for (long i = 0; i < samples; ++i) {
      ++samplesClocked;
      advanceClock(module.get());
    }
  }
  void clockRows(int rows) { clock(rows * 5292L); }
  std::vector<Call> callsOf(int code) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.code == code) out.push_back(c);
    return out;
  }
  Channel& channel(int c) { return module->channels[c]; }

  ModulePtr module;
};

constexpr long rowSamples = 5292;

TEST_F(Sequencer, StartsAtRowZeroAndCallsBackFirstAfterSample5292) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 1, 428);
  start(mod);
  EXPECT_TRUE(calls.empty());  // row 0 is applied without a callback
  EXPECT_EQ(channel(0).sample, &module->samples[0]);
  EXPECT_EQ(channel(0).step, 12315);
  clock(rowSamples - 1);
  EXPECT_TRUE(calls.empty());
  clock(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].code, 2);
  EXPECT_EQ(calls[0].value, 1);
  EXPECT_EQ(calls[0].extra, 63);
  EXPECT_EQ(calls[0].samples, rowSamples);
}

TEST_F(Sequencer, CallsNewPatternBeforeTheRowIsAppliedAndNewRowAfter) {
  ModDraft mod;
  mod.songLength = 2;
  mod.orders = {0, 1};
  mod.setCell(1, 0, 2, 1, 214);
  start(mod);
  static Sample* seenAtPattern;
  static Sample* seenAtRow;
  static Sequencer* fixture;
  fixture = this;
  newPattern = [](int code, intptr_t value, int extra) {
    seenAtPattern = fixture->channel(2).sample;
    record(code, value, extra);
  };
  newRow = [](int code, intptr_t value, int extra) {
    seenAtRow = fixture->channel(2).sample;
    record(code, value, extra);
  };
  clockRows(64);
  ASSERT_GE(calls.size(), 2u);
  const Call& pattern = calls[calls.size() - 2];
  const Call& row = calls.back();
  EXPECT_EQ(pattern.code, 3);
  EXPECT_EQ(pattern.value, 1);
  EXPECT_EQ(pattern.extra, 0);
  EXPECT_EQ(pattern.samples, 64 * rowSamples);
  EXPECT_EQ(row.code, 2);
  EXPECT_EQ(row.value, 0);
  EXPECT_EQ(row.extra, 63);
  EXPECT_EQ(seenAtPattern, nullptr);
  EXPECT_EQ(seenAtRow, &module->samples[0]);
  EXPECT_EQ(module->orderIndex, 1);
}

TEST_F(Sequencer, WrapsToPositionZeroAndIgnoresTheRestartPosition) {
  ModDraft mod;
  mod.songLength = 1;
  mod.restartPosition = 5;
  mod.orders[0] = 2;
  mod.setCell(2, 0, 0, 0, 0);
  start(mod);
  clockRows(64 * 3);
  std::vector<Call> patterns = callsOf(3);
  ASSERT_EQ(patterns.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(patterns[i].value, 2);
    EXPECT_EQ(patterns[i].samples, (i + 1) * 64 * rowSamples);
  }
  EXPECT_EQ(module->orderIndex, 0);

  ModDraft three;
  three.songLength = 3;
  three.restartPosition = 1;
  three.orders = {0, 1, 2};
  three.setCell(2, 0, 0, 0, 0);
  calls.clear();
  start(three);
  clockRows(64 * 3);
  patterns = callsOf(3);
  ASSERT_EQ(patterns.size(), 3u);
  EXPECT_EQ(patterns[2].value, 0);
  EXPECT_EQ(module->orderIndex, 0);
}

TEST_F(Sequencer, PositionJumpGoesToRowZeroOfThePositionWithoutNewPattern) {
  ModDraft mod;
  mod.songLength = 3;
  mod.orders = {0, 1, 2};
  mod.setCell(0, 1, 3, 0, 0, 0xB, 2);
  mod.setCell(2, 0, 0, 0, 0, 0xB, 3);  // 3 is not below songLength: position 0
  start(mod);
  clockRows(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].value, -1);
  EXPECT_EQ(module->orderIndex, 2);
  EXPECT_EQ(module->currentPattern, 2);
  clockRows(1);
  EXPECT_EQ(calls.back().value, -1);
  EXPECT_EQ(module->orderIndex, 0);
  EXPECT_TRUE(callsOf(3).empty());
}

TEST_F(Sequencer, PatternBreakContinuesAtTheTargetRowOfTheNextPosition) {
  struct Case {
    int songLength;
    int param;
    int reported;    // newRow value on the row of the break
    int orderIndex;  // position one row later
    int row;         // row one row later
    size_t newPatterns;
  };
  for (Case c : {Case{4, 0x10, 9, 1, 10, 0}, Case{4, 0x0F, 14, 1, 15, 0},
                 Case{4, 0x64, 63, 2, 0, 1}, Case{4, 0x00, -1, 1, 0, 0}, Case{4, 0x99, 98, 2, 0, 1},
                 Case{4, 0xFF, 164, 2, 0, 1}, Case{1, 0x10, 9, 0, 10, 0}}) {
    ModDraft mod;
    mod.songLength = static_cast<uint8_t>(c.songLength);
    mod.orders = {0, 1, 2, 3};
    mod.setCell(0, 1, 1, 0, 0, 0xD, c.param);
    if (c.songLength == 4) mod.setCell(3, 0, 0, 0, 0);
    calls.clear();
    start(mod);
    clockRows(1);
    ASSERT_EQ(calls.size(), 1u) << c.param;
    EXPECT_EQ(calls[0].value, c.reported) << c.param;
    clockRows(1);
    EXPECT_EQ(module->orderIndex, c.orderIndex) << c.param;
    EXPECT_EQ(module->row, c.row) << c.param;
    EXPECT_EQ(callsOf(3).size(), c.newPatterns) << c.param;
  }
}

TEST_F(Sequencer, TwoBreaksInOneRowAdvanceByTwoAndAllChannelsReadTheSameRow) {
  ModDraft mod;
  mod.songLength = 4;
  mod.orders = {0, 1, 2, 3};
  mod.setCell(0, 1, 0, 0, 0, 0xD, 0x05);
  mod.setCell(0, 1, 2, 0, 0, 0xD, 0x07);
  mod.setCell(0, 1, 3, 1, 856);  // read from pattern 0 row 1 although channel 0 broke
  mod.setCell(3, 0, 0, 0, 0);
  start(mod);
  clockRows(1);
  EXPECT_EQ(module->orderIndex, 2);
  EXPECT_EQ(module->row, 6);
  EXPECT_EQ(channel(3).step, 6156);
}

TEST_F(Sequencer, SpeedSetsTicksPerRowAndTempoSetsTickLength) {
  struct Tempo {
    int param, samplesPerTick;
  };
  for (Tempo t : {Tempo{32, 3675}, Tempo{125, 882}, Tempo{126, 882}, Tempo{127, 882},
                  Tempo{128, 864}, Tempo{150, 735}, Tempo{255, 432}}) {
    ModDraft mod;
    mod.setCell(0, 0, 0, 0, 0, 0xF, t.param);
    start(mod);
    EXPECT_EQ(module->samplesPerTick, t.samplesPerTick) << t.param;
    EXPECT_EQ(module->samplesLeft, t.samplesPerTick) << t.param;
  }

  // Speed 3 at tempo 150: rows of 3 ticks of 735 samples; the first row already has that length.
  // Tempo 255 on row 2 gives that row ticks of 432.
  ModDraft mod;
  mod.setCell(0, 0, 0, 0, 0, 0xF, 3);
  mod.setCell(0, 0, 1, 0, 0, 0xF, 150);
  mod.setCell(0, 2, 3, 0, 0, 0xF, 255);
  calls.clear();
  start(mod);
  clock(3 * 735 * 2 + 3 * 432);
  std::vector<Call> rows = callsOf(2);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].samples, 3 * 735);
  EXPECT_EQ(rows[1].samples, 6 * 735);
  EXPECT_EQ(rows[2].samples, 6 * 735 + 3 * 432);
}

TEST_F(Sequencer, SpeedEqualToTheCurrentLeavesTicksLeft) {
  ModDraft mod;
  mod.setCell(0, 1, 0, 0, 0, 0xF, 6);
  mod.setCell(0, 1, 1, 0, 0, 0xF, 5);
  start(mod);
  clock(rowSamples + 882 * 2);  // into row 1, two ticks along
  EXPECT_EQ(module->speed, 5);
  EXPECT_EQ(module->ticksLeft, 3);
  processNewRow(module.get(), 1);  // F 5 again: the row keeps its remaining ticks
  EXPECT_EQ(module->ticksLeft, 3);
  processNewRow(module.get(), 0);  // F 6 differs: the row gets the new length
  EXPECT_EQ(module->ticksLeft, 6);
}

TEST_F(Sequencer, SpeedZeroHaltsRowsWhileChannelsSoundAndSlide) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 1, 428, 0xA, 0x10);
  mod.setCell(0, 0, 1, 0, 0, 0xF, 0);
  mod.setSample(1, filled(64, 0x20), 10, 0, 32);
  start(mod);
  EXPECT_EQ(module->speed, 0);
  EXPECT_EQ(module->ticksLeft, 0);
  clock(100 * 882);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(module->row, 0);
  EXPECT_LT(module->ticksLeft, 0);
  EXPECT_EQ(channel(0).volume, 64);  // slid up 1 per tick and clamped
  EXPECT_EQ(channel(0).sample, &module->samples[0]);
  // Mixed on, the channel keeps sounding through its loop and still no row begins.
  std::vector<uint8_t> part(partSamples);
  wave = part.data();
  for (int p = 0; p < 20; ++p) fillPart(module.get());
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(part[partSamples - 1], 128 + ((0x20 * 64) >> 7));
}

TEST_F(Sequencer, NotesStartOnlyWithASampleNumber) {
  ModDraft mod;
  mod.setSample(2, filled(40, 0x10), 33);
  mod.setSample(3, {});  // empty slot
  mod.setCell(0, 0, 0, 1, 428);
  mod.setCell(0, 1, 0, 0, 214);  // period alone: nothing new
  mod.setCell(0, 0, 1, 2, 0);    // period 0: holds the first byte
  mod.setCell(0, 0, 2, 1, 428);
  mod.setCell(0, 1, 2, 3, 428);  // empty slot: silence
  mod.setCell(0, 0, 3, 1, 428);
  mod.setCell(0, 1, 3, 40, 428);  // no such slot: silence
  start(mod);
  EXPECT_EQ(channel(1).sample, &module->samples[1]);
  EXPECT_EQ(channel(1).step, 0);
  EXPECT_EQ(channel(1).volume, 33);
  channel(0).position = 5 << 16;
  clockRows(1);
  EXPECT_EQ(channel(0).step, 12315);
  EXPECT_EQ(channel(0).position, 5 << 16);
  EXPECT_EQ(channel(0).period, 428);
  EXPECT_EQ(channel(2).sample, nullptr);
  EXPECT_EQ(channel(3).sample, nullptr);
}

TEST_F(Sequencer, StepFollowsTheFreqTable) {
  EXPECT_EQ(freq[0], 0);
  EXPECT_EQ(freq[113], 31388);
  EXPECT_EQ(freq[428], 8287);
  EXPECT_EQ(freq[856], 4143);
  EXPECT_EQ(freq[1712], 2071);
  EXPECT_EQ(stepForPeriod(428), 12315);
  EXPECT_EQ(stepForPeriod(214), 24630);
  EXPECT_EQ(stepForPeriod(113), 46644);
  EXPECT_EQ(stepForPeriod(856), 6156);
  EXPECT_EQ(stepForPeriod(0), 0);
  EXPECT_EQ(stepForPeriod(1), 5270957);  // 3546894 Hz, formed without overflow
  // Past the table the same formula: 7093789 / 8190 = 866 Hz.
  EXPECT_EQ(stepForPeriod(4095), 866 * 65536 / 44100);
}

TEST_F(Sequencer, VolumeSlideRunsOnInBetweenTicksAcrossRowsUntilAnotherCommand) {
  ModDraft mod;
  mod.setSample(1, filled(64, 0x20), 10, 0, 32);
  mod.setCell(0, 0, 0, 1, 428, 0xA, 0x20);  // +2 per tick
  mod.setCell(0, 2, 0, 1, 428);             // new note without effect: slide goes on
  mod.setCell(0, 3, 0, 0, 0, 0x0, 0x01);    // any parameter ends it
  start(mod);
  EXPECT_EQ(channel(0).volumeSlide, 2);
  clockRows(1);
  EXPECT_EQ(channel(0).volume, 20);  // five in-between ticks
  clockRows(1);
  EXPECT_EQ(channel(0).volume, 10);  // row 2's note took the slot's volume again
  EXPECT_EQ(channel(0).volumeSlide, 2);
  clock(882 * 2);
  EXPECT_EQ(channel(0).volume, 14);
  clock(rowSamples - 882 * 2);
  EXPECT_EQ(channel(0).volume, 20);
  EXPECT_EQ(channel(0).volumeSlide, 0);
  clockRows(1);
  EXPECT_EQ(channel(0).volume, 20);
}

TEST_F(Sequencer, VolumeSlideClampsAndEnds) {
  struct Case {
    int slotVolume, param, afterFirstTick, slideAfterFirst, afterSecondTick;
  };
  for (Case c : {Case{62, 0x40, 64, 0, 64}, Case{62, 0x20, 64, 2, 64}, Case{62, 0x21, 64, 2, 64},
                 Case{100, 0x01, 64, 0, 64}, Case{3, 0x05, 0, 0, 0}, Case{5, 0x05, 0, -5, 0}}) {
    ModDraft mod;
    mod.setSample(1, filled(64, 0x20), static_cast<uint8_t>(c.slotVolume), 0, 32);
    mod.setCell(0, 0, 0, 1, 428, 0xA, c.param);
    start(mod);
    EXPECT_EQ(channel(0).volume, c.slotVolume);  // no slide on the tick a row begins with
    clock(882);
    EXPECT_EQ(channel(0).volume, c.afterFirstTick) << c.param;
    EXPECT_EQ(channel(0).volumeSlide, c.slideAfterFirst) << c.param;
    clock(882);
    EXPECT_EQ(channel(0).volume, c.afterSecondTick) << c.param;
    EXPECT_EQ(channel(0).volumeSlide, 0) << c.param;
  }
}

TEST_F(Sequencer, SetVolumeClampsTo64) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 1, 428, 0xC, 0x50);
  mod.setCell(0, 0, 1, 1, 428, 0xC, 0x20);
  start(mod);
  EXPECT_EQ(channel(0).volume, 64);
  EXPECT_EQ(channel(1).volume, 32);
}

TEST_F(Sequencer, SampleOffset) {
  ModDraft mod;
  mod.setSample(1, filled(1024, 0x20));
  mod.setSample(2, filled(40000, 0x20));
  mod.setCell(0, 0, 0, 1, 428, 0x9, 0x02);
  mod.setCell(0, 1, 0, 0, 0, 0x9, 0x03);    // no note: acts on the sounding sample
  mod.setCell(0, 2, 0, 0, 0, 0x9, 0x00);    // param 0: nothing
  mod.setCell(0, 3, 0, 0, 0, 0x9, 0x04);    // at the end: silence
  mod.setCell(0, 4, 0, 0, 0, 0x9, 0x01);    // silent channel: nothing
  mod.setCell(0, 0, 1, 2, 428, 0x9, 0x90);  // 36864, past a 16-bit integer part
  start(mod);
  EXPECT_EQ(channel(0).position, 0x200LL << 16);
  EXPECT_EQ(channel(1).position, 0x9000LL << 16);
  EXPECT_EQ(channel(1).sample, &module->samples[1]);
  clockRows(1);
  EXPECT_EQ(channel(0).position >> 16, 0x300);
  clockRows(1);
  EXPECT_EQ(channel(0).position >> 16, 0x300);
  clockRows(1);
  EXPECT_EQ(channel(0).sample, nullptr);
  clockRows(1);
  EXPECT_EQ(channel(0).sample, nullptr);
}

TEST_F(Sequencer, KeepNoteChangesTheSampleButNotThePosition) {
  ModDraft mod;
  mod.setSample(1, filled(2000, 0x20), 50);
  mod.setSample(2, filled(100, 0x10), 20);          // shorter, no loop
  mod.setSample(3, filled(100, 0x10), 20, 10, 20);  // shorter, looped from 20
  mod.setCell(0, 0, 0, 1, 428);
  mod.setCell(0, 1, 0, 2, 214, 0x3, 0);
  mod.setCell(0, 0, 1, 1, 428);
  mod.setCell(0, 1, 1, 3, 214, 0x3, 0);
  mod.setCell(0, 0, 2, 1, 428);
  mod.setCell(0, 1, 2, 2, 214, 0x3, 0);
  start(mod);
  channel(0).position = 50 << 16;
  channel(1).position = 500 << 16;
  channel(2).position = 500 << 16;
  clockRows(1);
  EXPECT_EQ(channel(0).sample, &module->samples[1]);
  EXPECT_EQ(channel(0).position, 50 << 16);  // inside the new sample: kept
  EXPECT_EQ(channel(0).period, 428);
  EXPECT_EQ(channel(0).volume, 50);
  EXPECT_EQ(channel(1).sample, &module->samples[2]);
  EXPECT_EQ(channel(1).position, 20 << 16);  // past it: on at the loop
  EXPECT_EQ(channel(2).sample, nullptr);     // past it, no loop: played out
}

TEST_F(Sequencer, KeepNoteGlidesToTheNotesPeriodAndStopsThere) {
  ModDraft mod;
  mod.setCell(0, 0, 0, 1, 428);
  mod.setCell(0, 1, 0, 0, 400, 0x3, 0x08);
  mod.setCell(0, 0, 1, 1, 400);
  mod.setCell(0, 1, 1, 0, 428, 0x3, 0x05);
  start(mod);
  clockRows(1);
  EXPECT_EQ(channel(0).period, 428);
  clock(882);
  EXPECT_EQ(channel(0).period, 420);
  EXPECT_EQ(channel(0).step, stepForPeriod(420));
  EXPECT_EQ(channel(1).period, 405);
  clock(882 * 3);
  EXPECT_EQ(channel(0).period, 400);  // 404 - 8 would pass the target
  EXPECT_EQ(channel(0).portaSpeed, 0);
  EXPECT_EQ(channel(1).period, 420);
  clockRows(1);
  EXPECT_EQ(channel(0).period, 400);
  EXPECT_EQ(channel(1).period, 428);
  EXPECT_EQ(channel(1).step, stepForPeriod(428));
}

TEST_F(Sequencer, KeepNoteWithParamZeroGlidesAtTheLastRateTowardsItsTarget) {
  struct Cell {
    int period, effect, param;
  };
  struct Lane {
    int startPeriod;
    Cell rows[3];        // rows 1, 2 and 3
    int periodAfter[3];  // at the end of rows 1, 2 and 3
  };
  const Lane lanes[channelCount] = {
      // Turned round mid-glide, then on to the last target.
      {428, {{400, 3, 2}, {450, 3, 0}, {0, 3, 0}}, {418, 428, 438}},
      // The same, upwards first.
      {400, {{428, 3, 4}, {300, 3, 0}, {0, 3, 0}}, {420, 400, 380}},
      // No earlier rate: no glide.
      {428, {{400, 3, 0}, {0, 0, 0}, {0, 0, 0}}, {428, 428, 428}},
      // Turned round after a glide that reached its target.
      {428, {{400, 3, 8}, {480, 3, 0}, {0, 3, 0}}, {400, 440, 480}},
  };
  ModDraft mod;
  for (int c = 0; c < channelCount; ++c) {
    mod.setCell(0, 0, c, 1, lanes[c].startPeriod);
    for (int r = 0; r < 3; ++r) {
      const Cell& cell = lanes[c].rows[r];
      mod.setCell(0, r + 1, c, 0, cell.period, cell.effect, cell.param);
    }
  }
  start(mod);
  clockRows(1);
  for (int r = 0; r < 3; ++r) {
    clockRows(1);  // a row's start changes no period: this is where the row before ended
    for (int c = 0; c < channelCount; ++c) {
      EXPECT_EQ(channel(c).period, lanes[c].periodAfter[r]) << "channel " << c << " row " << r + 1;
      EXPECT_EQ(channel(c).step, stepForPeriod(lanes[c].periodAfter[r])) << c;
    }
  }
}

TEST_F(Sequencer, SongLengthZeroRunsThroughTheWholeOrderTable) {
  ModDraft mod;
  mod.songLength = 0;  // so only pattern 0 is loaded: the others read as empty
  for (int i = 0; i < 128; ++i) mod.orders[i] = static_cast<uint8_t>(i);
  mod.orders[5] = 200;
  mod.setCell(0, 0, 0, 0, 0, 0xF, 1);  // one tick of 432 samples a row
  mod.setCell(0, 0, 1, 0, 0, 0xF, 255);
  start(mod);
  clock(129L * 64 * 432);
  std::vector<Call> patterns = callsOf(3);
  ASSERT_EQ(patterns.size(), 129u);
  for (int i = 0; i < 129; ++i) {
    int position = (i + 1) % 128;
    EXPECT_EQ(patterns[i].value, position == 5 ? 200 : position) << i;
  }
  EXPECT_EQ(module->orderIndex, 1);
}

}  // namespace
