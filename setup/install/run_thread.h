// The installation run's second thread, the lock under which the two threads share the decoding
// state, and one wake-up signal for each side (Win32 in run_thread_win32.cpp). There is one of
// each, for one run at a time.
#pragma once

enum RunSide { runSide, secondSide };

// Makes the lock and the signals and starts body on the second thread. False when the thread
// could not be made: the lock works all the same, and the run goes on alone.
bool startSecondThread(void (*body)());
// Waits until body has returned, then releases the thread, the lock and the signals.
void joinSecondThread();
void lockRun();
void unlockRun();
// With the lock held: wakes side if it sleeps in sleepLocked.
void wake(RunSide side);
// With the lock held: gives the lock up until side is woken, then takes it back. The caller
// checks again what it waited for: a wake-up may be meant for an earlier wait.
void sleepLocked(RunSide side);
