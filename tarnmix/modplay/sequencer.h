// The sequencer: output samples, ticks and rows; notes and effect commands applied to the four
// channels; the row and pattern callbacks. It computes no audio.
#pragma once
#include <stdint.h>

#include <atomic>

#include "module.h"
#include "tarnmix.h"

enum {
  outputRate = 44100,
  freqTableSize = 1713,  // periods 0..1712
  paulaClock = 7093789,  // entry p of freq is paulaClock / (2 p)
  startSpeed = 6,
  startSamplesPerTick = 882,
  fullVolume = 64,
};

// Period-to-frequency table, built once the output opens; read by the sequencer only.
extern int32_t freq[freqTableSize];
// Host callbacks for codes 2 and 3, set by the host's thread, called on the playback thread.
extern std::atomic<ModuleCallback> newRow;
extern std::atomic<ModuleCallback> newPattern;

void buildFreqTable();
// The channel step (16.16 bytes per output sample) of an Amiga period.
int32_t stepForPeriod(int32_t period);

void prepareForPlayback(Module* module);
void processNewRow(Module* module, int channel);
// The clock step, run after every output sample; `samples` steps at once when none of them but
// the last can end a tick (samples <= samplesLeft).
void advanceClock(Module* module, int32_t samples = 1);
