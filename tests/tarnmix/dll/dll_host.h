// A test host for tarnmix.dll: loads it by name and binds the exports by their plain names, the
// way a host program does; plus what the tests observe from outside (threads, files, waiting).
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "process_figures.h"
#include "tarnmix_api.h"

namespace dlltest {

// The DLL under test (QZ_TARNMIX_DLL, the build's own or the shipping one) loaded and bound;
// false if it cannot be loaded or an export is missing.
bool loadTarnmix(TarnmixApi* api);
// The Windows path of the DLL under test.
std::string tarnmixPath();

using figures::privateBytes;
using figures::threadCount;
// The thread count once it has stayed the same for half a second (Wine's sound drivers start
// threads of their own a while after DirectSound is opened), waiting up to 20 s.
int settledThreadCount();

// A file in the test program's folder.
std::string besideProgram(const char* name);
// The example module, copied beside the test program by the build.
std::string exampleModule();
// A second song of one note, written beside the test program; its first sample is named
// "second song".
std::string writeSecondSong();
// A Unix path as this Windows process sees it (Wine maps / to drive Z:).
std::string fromUnixPath(const std::string& path);

std::vector<uint8_t> readWholeFile(const std::string& path);

// Polls until done() or the time runs out; returns done().
bool waitUntil(const std::function<bool()>& done, int milliseconds);

// What the callbacks saw, filled on the playback thread and read by the test's thread.
struct Call {
  int code;
  intptr_t value;
  int extra;
};

struct CallLog {
  static constexpr int partCapacity = 1200;
  static constexpr int callCapacity = 40000;
  std::atomic<int> parts{0};
  std::atomic<int> calls{0};
  std::atomic<int> strayCalls{0};  // calls with a code the slot was not set for
  Call partCalls[partCapacity];
  uint8_t partBytes[partCapacity][2205];
  Call rowCalls[callCapacity];
};

extern CallLog* callLog;  // reset by resetCallLog
void resetCallLog();

// Records code 1 calls with a copy of the part.
void TARNMIX_CALL recordPart(int code, intptr_t value, int extra);
// Records code 2 and 3 calls.
void TARNMIX_CALL recordRowOrPattern(int code, intptr_t value, int extra);
// Counts calls that must never come.
void TARNMIX_CALL recordStray(int code, intptr_t value, int extra);

}  // namespace dlltest
