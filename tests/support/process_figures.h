// What a Windows process can measure about itself to show a leak: its handles, its threads and
// its private bytes, sampled over many cycles and judged against stated bounds on their growth.
#pragma once
#include <cstdio>

namespace figures {

struct Sample {
  long handles = 0;
  long threads = 0;
  long long privateBytes = 0;
};

// Threads of this process, counted in a Toolhelp snapshot.
int threadCount();
// GetProcessHandleCount, or under Wine, where that is always 0, the process's entries in the
// system's handle table; -1 when neither can be read.
long handleCount();
long long privateBytes();  // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage (under Wine PagefileUsage)
Sample sample();
// A sample taken once the thread count has stayed the same for half a second (Wine's sound
// drivers start and end threads of their own a while after DirectSound is opened or closed),
// waiting up to 20 s.
Sample settledSample();

// The most each figure may grow from the first sample to the last.
struct Bounds {
  long handles;
  long threads;
  long long privateBytes;
};

struct Track {
  int samples = 0;
  Sample first, last, max;
};
void add(Track& track, const Sample& sample);

// Prints first, last and max of each figure with its bound; true when no growth passes its bound.
bool judge(const Track& track, const Bounds& bounds, std::FILE* out);

}  // namespace figures
