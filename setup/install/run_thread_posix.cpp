// The run's thread layer on POSIX threads: the native build runs the installation run in tests,
// under ThreadSanitizer among others. Same contract as the Win32 form.
#include <pthread.h>

#include "install/run_thread.h"

namespace {

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t signals[2] = {PTHREAD_COND_INITIALIZER, PTHREAD_COND_INITIALIZER};
pthread_t thread;
bool threadRunning;
// A wake-up given to a sleeper is kept until it wakes, as an auto-reset event keeps it.
bool woken[2];
bool sleeping[2];
void (*threadBody)();

void* threadEntry(void*) {
  threadBody();
  return nullptr;
}

}  // namespace

bool startSecondThread(void (*body)()) {
  threadBody = body;
  woken[runSide] = woken[secondSide] = false;
  threadRunning = body && pthread_create(&thread, nullptr, threadEntry, nullptr) == 0;
  return threadRunning;
}

void joinSecondThread() {
  if (threadRunning) pthread_join(thread, nullptr);
  threadRunning = false;
}

void lockRun() {
  pthread_mutex_lock(&lock);
}

void unlockRun() {
  pthread_mutex_unlock(&lock);
}

void wake(RunSide side) {
  if (!sleeping[side]) return;
  woken[side] = true;
  pthread_cond_signal(&signals[side]);
}

void sleepLocked(RunSide side) {
  sleeping[side] = true;
  while (!woken[side]) pthread_cond_wait(&signals[side], &lock);
  woken[side] = false;
  sleeping[side] = false;
}
