// Rows, ticks and effects. Row commands are applied once when a row begins; slides run on the
// ticks in between.
#include "sequencer.h"

int32_t freq[freqTableSize];
std::atomic<ModuleCallback> newRow;
std::atomic<ModuleCallback> newPattern;

namespace {

enum : uint8_t {
  effectKeepNote = 3,
  effectSampleOffset = 9,
  effectVolumeSlide = 10,
  effectPositionJump = 11,
  effectSetVolume = 12,
  effectPatternBreak = 13,
  effectSpeed = 15,
};

enum {
  lastSpeedParam = 31,  // F below this sets ticks per row, above it the tempo
  offsetUnit = 256,
};

const Note silentNote = {0, 0, 0, 0};

// Orders can name patterns that were never loaded (songLength 0 looks at no entry): such a
// pattern reads as empty rather than past the pattern data.
const Note* noteAt(const Module* module, int pattern, int channel, int row) {
  if (pattern < 0 || pattern >= module->patternCount || row < 0 || row >= rowsPerPattern)
    return &silentNote;
  return &module
              ->patterns[(static_cast<size_t>(pattern) * channelCount + channel) * rowsPerPattern +
                         row];
}

// Numbers past the 31 slots name no sample, like an empty slot.
Sample* slotOf(Module* module, int number) {
  if (number < 1 || number > sampleSlots) return nullptr;
  Sample* sample = &module->samples[number - 1];
  return sample->length > 0 ? sample : nullptr;
}

// After a sample change without a note start the kept position may lie past the new sample: a
// looped sample goes on at its loop, any other has simply been played to its end.
void keepPositionInside(Channel* channel) {
  const Sample* sample = channel->sample;
  if ((channel->position >> 16) < sample->length) return;
  if (sample->looped)
    channel->position = static_cast<int64_t>(sample->loopStart) << 16;
  else
    channel->sample = nullptr;
}

void startNote(Channel* channel, const Note* note) {
  channel->position = 0;
  channel->period = note->period;
  channel->step = stepForPeriod(note->period);
  channel->volume = channel->sample->volume;
  channel->portaSpeed = 0;
}

void applySampleNumber(Module* module, Channel* channel, const Note* note) {
  channel->sample = slotOf(module, note->sample);
  if (!channel->sample) return;
  if (note->effect == effectKeepNote)
    keepPositionInside(channel);
  else
    startNote(channel, note);
}

// Effect 3 keeps the note from starting and glides the sounding period to the note's, by param
// periods per in-between tick. Param 0 glides on at the channel's last rate, towards the row's
// period or, without one, the last target; the direction is taken afresh each time.
void startTonePortamento(Channel* channel, const Note* note) {
  if (note->period) channel->portaTarget = note->period;
  if (note->param) channel->portaRate = note->param;
  int32_t target = channel->portaTarget, rate = channel->portaRate;
  if (rate == 0 || channel->period == 0 || target == 0 || target == channel->period)
    channel->portaSpeed = 0;
  else
    channel->portaSpeed = target < channel->period ? -rate : rate;
}

void applySampleOffset(Channel* channel, uint8_t param) {
  if (param == 0 || !channel->sample) return;
  int32_t offset = param * offsetUnit;
  if (offset >= channel->sample->length)
    channel->sample = nullptr;
  else
    channel->position = static_cast<int64_t>(offset) << 16;
}

void setVolumeSlide(Channel* channel, uint8_t param) {
  int up = param >> 4, down = param & 0x0F;
  channel->volumeSlide = up ? up : -down;
}

void jumpToPosition(Module* module, uint8_t param) {
  module->orderIndex = param < module->songLength ? param : 0;
  module->currentPattern = module->orders[module->orderIndex];
  module->row = -1;
}

// With songLength 0 the position never meets the length: it runs to the end of the order table
// and starts again there.
int nextOrder(const Module* module) {
  int next = module->orderIndex + 1;
  return next == module->songLength || next >= orderSlots ? 0 : next;
}

void breakPattern(Module* module, uint8_t param) {
  // A target past row 63 is kept as it is: newRow reports it, and the next row wraps to row 0
  // of the position after the next, as 64 itself does.
  int target = (param >> 4) * 10 + (param & 0x0F);
  module->orderIndex = nextOrder(module);
  module->currentPattern = module->orders[module->orderIndex];
  module->row = target - 1;
}

void setSpeedOrTempo(Module* module, uint8_t param) {
  if (param <= lastSpeedParam) {
    if (param != module->speed) module->speed = module->ticksLeft = param;
    return;
  }
  int ticksPerSecond = 4 * param / 10;
  module->samplesPerTick = module->samplesLeft = outputRate / ticksPerSecond;
}

void setVolume(Channel* channel, uint8_t param) {
  channel->volume = param > fullVolume ? int32_t{fullVolume} : param;
}

void applyRowEffect(Module* module, Channel* channel, const Note* note) {
  switch (note->effect) {
    case effectKeepNote:
      startTonePortamento(channel, note);
      break;
    case effectSampleOffset:
      applySampleOffset(channel, note->param);
      break;
    case effectVolumeSlide:
      setVolumeSlide(channel, note->param);
      break;
    case effectPositionJump:
      jumpToPosition(module, note->param);
      break;
    case effectSetVolume:
      setVolume(channel, note->param);
      break;
    case effectPatternBreak:
      breakPattern(module, note->param);
      break;
    case effectSpeed:
      setSpeedOrTempo(module, note->param);
      break;
    default:
      break;
  }
}

void slideVolume(Channel* channel) {
  if (channel->volumeSlide == 0) return;
  channel->volume += channel->volumeSlide;
  if (channel->volume > fullVolume) {
    channel->volume = fullVolume;
    channel->volumeSlide = 0;
  } else if (channel->volume < 0) {
    channel->volume = 0;
    channel->volumeSlide = 0;
  }
}

// Stops on the target itself: a glide that overshot would leave the note out of tune.
void slidePeriod(Channel* channel) {
  if (channel->portaSpeed == 0) return;
  channel->period += channel->portaSpeed;
  bool reached = channel->portaSpeed < 0 ? channel->period <= channel->portaTarget
                                         : channel->period >= channel->portaTarget;
  if (reached) {
    channel->period = channel->portaTarget;
    channel->portaSpeed = 0;
  }
  channel->step = stepForPeriod(channel->period);
}

void applyRow(Module* module) {
  module->notePattern = module->currentPattern;
  module->noteRow = module->row;
  for (int c = 0; c < channelCount; ++c) processNewRow(module, c);
}

void beginRow(Module* module) {
  module->ticksLeft = module->speed;
  if (++module->row >= rowsPerPattern) {
    module->row = 0;
    module->orderIndex = nextOrder(module);
    module->currentPattern = module->orders[module->orderIndex];
    if (ModuleCallback callback = newPattern.load(std::memory_order_relaxed))
      callback(tarnmixNewPattern, module->currentPattern, 0);
  }
  applyRow(module);
  if (ModuleCallback callback = newRow.load(std::memory_order_relaxed))
    callback(tarnmixNewRow, module->row, rowsPerPattern - 1);
}

}  // namespace

void buildFreqTable() {
  freq[0] = 0;
  for (int p = 1; p < freqTableSize; ++p) freq[p] = paulaClock / (2 * p);
}

// Periods past the table (the cell allows 4095) get the same formula rather than an index.
// rate * 65536 / 44100 in two 32-bit parts: the remainder times 65536 stays below 2^32, so the
// result is exact without a 64-bit division (which would pull a runtime helper into the DLL).
int32_t stepForPeriod(int32_t period) {
  if (period <= 0) return 0;
  uint32_t rate = period < freqTableSize ? freq[period] : paulaClock / (2 * period);
  uint32_t whole = rate / outputRate, rest = rate % outputRate;
  return static_cast<int32_t>((whole << 16) + (rest << 16) / outputRate);
}

void prepareForPlayback(Module* module) {
  module->speed = module->ticksLeft = startSpeed;
  module->samplesPerTick = module->samplesLeft = startSamplesPerTick;
  for (Channel& channel : module->channels) {
    channel.sample = nullptr;
    channel.step = 0;
    channel.position = 0;
    channel.volume = fullVolume;
    channel.volumeSlide = 0;
    channel.portaSpeed = 0;
    channel.portaRate = 0;
  }
  module->currentPattern = module->orders[0];
  module->orderIndex = 0;
  module->row = 0;
  applyRow(module);
}

void processNewRow(Module* module, int channelNumber) {
  if (channelNumber < 0 || channelNumber >= channelCount) return;
  const Note* note = noteAt(module, module->notePattern, channelNumber, module->noteRow);
  Channel* channel = &module->channels[channelNumber];
  if (note->sample) applySampleNumber(module, channel, note);
  if (note->effect || note->param) channel->volumeSlide = 0;
  applyRowEffect(module, channel, note);
}

void advanceClock(Module* module, int32_t samples) {
  module->samplesLeft -= samples;
  if (module->samplesLeft > 0) return;
  module->samplesLeft = module->samplesPerTick;
  // Halted rows (speed 0) count below zero; stop short of the int32 limit.
  if (module->ticksLeft > -1000000) --module->ticksLeft;
  if (module->ticksLeft == 0) {
    beginRow(module);
    return;
  }
  for (Channel& channel : module->channels) {
    slideVolume(&channel);
    slidePeriod(&channel);
  }
}
