// Mixing in runs: each channel is mixed alone over the stretch up to the sequencer's next tick
// (nothing can change a channel before it), into an accumulator, with the per-sample arithmetic
// of one output sample at a time, so the bytes are the same. Integer only, no division, no
// allocation.
#include "mixer.h"

#include "sequencer.h"

uint8_t* wave;
int volume = fullVolume;
std::atomic<int> channelVU[channelCount];

namespace {

enum {
  runLimit = 1024,  // samples mixed at once: the accumulator stays small on the stack
};

// A channel's position split for 32-bit arithmetic: sample byte index and 16-bit fraction.
struct Voice {
  const uint8_t* data;
  const int16_t* level;  // each stored byte scaled by the channel and master volume
  int32_t index;
  uint32_t fraction;
  uint32_t step;
  int highest;  // highest contribution so far
  bool store;
};

// Each stored byte scaled as one output sample scales it; rebuilt only when a volume changed.
// With the master volume at 64 a contribution stays within -255..253, so four of them sum
// within 16 bits.
const int16_t* levelsFor(Module* module, int c) {
  int channelVolume = module->channels[c].volume;
  int16_t* level = module->levels[c];
  if (module->levelsVolume[c] == channelVolume && module->levelsMaster[c] == volume) return level;
  for (int b = 0; b < 256; ++b)
    level[b] = static_cast<int16_t>((((b - 128) * channelVolume) >> 6) * volume >> 7);
  module->levelsVolume[c] = channelVolume;
  module->levelsMaster[c] = volume;
  return level;
}

// Up to `count` reads added to `mix`, or stored there by the run's first channel (no clearing, no
// reading back): the first `safe` untested, the rest each tested after its step, stopping after
// the one that reaches byte `end`. Offsets count from the first byte read: at most 1024 reads of
// at most a byte each stay below 2^27. Returns the reads.
// Out of line on purpose: inlined into mixChannel's loop, the read loops run short of registers
// (clang -O3 recomputes the level table's address every other read; gcc -Os keeps the position
// and the store flag on the stack), and the mixer bench ran 6 to 8 % slower with clang -O3 and
// 11 to 17 % slower with gcc -Os. Kept out of line, it costs tarnmix.dll 60 bytes of code.
__attribute__((noinline)) int mixReads(Voice* voice, int16_t* __restrict mix, int safe, int count,
                                       int32_t end) {
  const uint8_t* __restrict from = voice->data + voice->index;
  const int16_t* __restrict level = voice->level;
  const uint32_t step = voice->step;
  const bool store = voice->store;
  uint32_t offset = voice->fraction;
  int i = 0;
  for (; i < safe; ++i) {
    int v = level[from[offset >> 16]];
    mix[i] = static_cast<int16_t>(store ? v : mix[i] + v);
    offset += step;
  }
  // Past the end already (a loop's end before a kept position): one read, then the test.
  int32_t bytes = end - voice->index;
  const uint32_t limit = bytes <= 0 ? 0 : bytes > 0xFFFF ? 0xFFFFFFFFu : uint32_t(bytes) << 16;
  while (i < count) {
    int v = level[from[offset >> 16]];
    mix[i] = static_cast<int16_t>(store ? v : mix[i] + v);
    offset += step;
    ++i;
    if (offset >= limit) break;
  }
  // The highest contribution: at a step of at most one byte every byte from the first index to
  // the last is read and the scaling is monotonic, so the smallest and largest bytes decide.
  uint32_t last = (offset - step) >> 16;
  uint8_t low = 255, high = 0;
  for (uint32_t j = 0; j <= last; ++j) {
    low = from[j] < low ? from[j] : low;
    high = from[j] > high ? from[j] : high;
  }
  int v = level[low] > level[high] ? level[low] : level[high];
  if (v > voice->highest) voice->highest = v;
  voice->index += static_cast<int32_t>(offset >> 16);
  voice->fraction = offset & 0xFFFF;
  return i;
}

// How many reads from here stay short of byte `end` without a test, each advancing at most
// 2^-doublings of a byte: (room - 1) >> (16 - doublings) in 1/65536 bytes. No division; a room of
// more than `most` bytes holds `most` reads outright, which keeps the arithmetic in 32 bits.
int readsBefore(const Voice* voice, int32_t end, int doublings, int most) {
  int32_t bytes = end - voice->index;
  if (bytes <= 0) return 0;
  if (bytes > most) return most;
  int32_t reads = (static_cast<int32_t>(bytes << 16) - static_cast<int32_t>(voice->fraction) - 1) >>
                  (16 - doublings);
  return reads < most ? reads : most;
}

// Adds `count` output samples of one channel to `mix` and raises `peak` to its highest level.
// Each position is tested after its step against the sample's end, as the one-sample mixer did:
// a looped sample wraps to its loop start, dropping the fraction; any other ends, silent from
// the next sample on. The loader keeps the end within the data, so data is only read below it.
bool mixChannel(Module* module, int c, int16_t* mix, int count, int* peak, bool store) {
  Channel* channel = &module->channels[c];
  const Sample* sample = channel->sample;
  if (!sample) return false;
  const bool looped = sample->looped;
  const int32_t end = sample->end;
  Voice voice = {sample->data,
                 levelsFor(module, c),
                 static_cast<int32_t>(channel->position >> 16),
                 static_cast<uint32_t>(channel->position & 0xFFFF),
                 static_cast<uint32_t>(channel->step),
                 *peak - 128,
                 store};
  // Faster than a byte a sample (periods below 108) the bytes between two reads are not all
  // read: such reads go one at a time, so the level is taken read by read.
  bool oneByOne = voice.step > 0x10000;
  int doublings = 0;
  while (doublings < 16 && (voice.step << (doublings + 1)) <= 0x10000) ++doublings;
  for (int i = 0; i < count;) {
    int most = oneByOne ? 1 : count - i;
    i += mixReads(&voice, mix + i, oneByOne ? 0 : readsBefore(&voice, end, doublings, most), most,
                  end);
    if (voice.index < end) continue;
    if (!looped) {
      channel->sample = nullptr;
      if (store)
        for (; i < count; ++i) mix[i] = 0;  // the rest of the run is silence so far
      break;
    }
    voice.index = sample->loopStart;
    voice.fraction = 0;
  }
  channel->position = static_cast<int64_t>(voice.index) << 16 | voice.fraction;
  *peak = voice.highest + 128;
  return true;
}

void writeClipped(const int16_t* mix, uint8_t* out, int count) {
  for (int i = 0; i < count; ++i) {
    int sum = mix[i];
    if (sum > 127) sum = 127;
    if (sum < -128) sum = -128;
    out[i] = static_cast<uint8_t>(sum + 128);
  }
}

}  // namespace

void fillPart(Module* module) {
  if (!module) return;
  int peak[channelCount] = {0, 0, 0, 0};
  int16_t mix[runLimit];
  for (int n = 0; n < partSamples;) {
    int run = partSamples - n;
    if (run > runLimit) run = runLimit;
    if (module->samplesLeft > 0 && module->samplesLeft < run) run = module->samplesLeft;
    bool mixed = false;
    for (int c = 0; c < channelCount; ++c)
      mixed = mixChannel(module, c, mix, run, &peak[c], !mixed) || mixed;
    if (!mixed)
      for (int i = 0; i < run; ++i) mix[i] = 0;
    writeClipped(mix, wave + n, run);
    n += run;
    // Callbacks of the tick that ends here see every sample before them written.
    module->partSamplesWritten = n;
    advanceClock(module, run);
  }
  for (int c = 0; c < channelCount; ++c) {
    int level = channelVU[c].load(std::memory_order_relaxed);
    if (peak[c] > level) level = peak[c];
    level -= vuDecay;
    channelVU[c].store(level < 0 ? 0 : level, std::memory_order_relaxed);
  }
}
