#include <windows.h>

#include "install/run_thread.h"

namespace {

CRITICAL_SECTION lock;
HANDLE thread;
HANDLE signals[2];  // auto-reset: a wake-up given before its sleeper waits is not lost
bool sleeping[2];
void (*threadBody)();

DWORD WINAPI threadEntry(LPVOID) {
  threadBody();
  return 0;
}

}  // namespace

bool startSecondThread(void (*body)()) {
  InitializeCriticalSection(&lock);
  threadBody = body;
  for (HANDLE& signal : signals) signal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (body && signals[runSide] && signals[secondSide])
    thread = CreateThread(nullptr, 0, threadEntry, nullptr, 0, nullptr);
  return thread != nullptr;
}

void joinSecondThread() {
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
  }
  for (HANDLE& signal : signals) {
    if (signal) CloseHandle(signal);
    signal = nullptr;
  }
  DeleteCriticalSection(&lock);
}

void lockRun() {
  EnterCriticalSection(&lock);
}

void unlockRun() {
  LeaveCriticalSection(&lock);
}

void wake(RunSide side) {
  // Only a sleeper needs the signal; under Wine each one is a round trip to the server.
  if (sleeping[side]) SetEvent(signals[side]);
}

void sleepLocked(RunSide side) {
  sleeping[side] = true;
  LeaveCriticalSection(&lock);
  WaitForSingleObject(signals[side], INFINITE);
  EnterCriticalSection(&lock);
  sleeping[side] = false;
}
