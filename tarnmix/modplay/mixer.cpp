// The per-sample path: integer only, no division, no allocation.
#include "mixer.h"

#include "sequencer.h"

uint8_t* wave;
int volume = fullVolume;
std::atomic<int> channelVU[channelCount];

namespace {

enum { noLoopLimit = 2 };

// One channel's contribution to the current output sample; advances its position and ends or
// wraps the sample. A loop reaching past the data is cut at the data's end, and a loop starting
// past it is no loop, so data is only ever read below length.
inline int mixChannel(Channel* channel, int* peak) {
  const Sample* sample = channel->sample;
  if (!sample) return 0;
  int s = sample->data[channel->position >> 16] - 128;
  int v = (s * channel->volume) >> 6;
  v = (v * volume) >> 7;
  if (v + 128 > *peak) *peak = v + 128;
  channel->position += channel->step;
  int64_t index = channel->position >> 16;
  if (sample->loopLength > noLoopLimit && sample->loopStart < sample->length) {
    int32_t loopEnd = sample->loopStart + sample->loopLength;
    if (loopEnd > sample->length) loopEnd = sample->length;
    if (index >= loopEnd) channel->position = static_cast<int64_t>(sample->loopStart) << 16;
  } else if (index >= sample->length) {
    channel->sample = nullptr;
  }
  return v;
}

}  // namespace

void fillPart(Module* module) {
  if (!module) return;
  int peak[channelCount] = {0, 0, 0, 0};
  for (int n = 0; n < partSamples; ++n) {
    int sum = 0;
    for (int c = 0; c < channelCount; ++c) sum += mixChannel(&module->channels[c], &peak[c]);
    if (sum > 127) sum = 127;
    if (sum < -128) sum = -128;
    wave[n] = static_cast<uint8_t>(sum + 128);
    module->partSamplesWritten = n + 1;
    advanceClock(module);
  }
  for (int c = 0; c < channelCount; ++c) {
    int level = channelVU[c].load(std::memory_order_relaxed);
    if (peak[c] > level) level = peak[c];
    level -= vuDecay;
    channelVU[c].store(level < 0 ? 0 : level, std::memory_order_relaxed);
  }
}
