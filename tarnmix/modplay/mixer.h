// The mixer: four channels into one part of 2205 unsigned 8-bit mono samples at 44100 Hz, the
// sequencer clock run after every sample, and the per-channel VU levels.
#pragma once
#include <stdint.h>

#include <atomic>

#include "module.h"

enum {
  partSamples = 2205,  // 50 ms
  vuDecay = 16,
};

// Where fillPart writes: 2205 writable bytes.
extern uint8_t* wave;
// Master volume, 64; nothing in the library changes it.
extern int volume;
// Written once per part on the playback thread, read whole by the host at any time.
extern std::atomic<int> channelVU[channelCount];

// Mixes one part of module at wave. A null module writes nothing and leaves channelVU alone.
void fillPart(Module* module);
