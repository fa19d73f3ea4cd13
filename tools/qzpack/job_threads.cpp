#include "job_threads.h"

#ifdef QZPACK_WIN32_THREADS
#include <process.h>
#include <windows.h>

#include <memory>
#include <stdexcept>

namespace qzpack {

static_assert(sizeof(void*) == sizeof(SRWLOCK) && sizeof(void*) == sizeof(CONDITION_VARIABLE),
              "the stand-ins hold these in one pointer");

void JobMutex::lock() {
  AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_));
}

void JobMutex::unlock() {
  ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_));
}

void JobSignal::wait(std::unique_lock<JobMutex>& lock) {
  SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&variable_),
                            reinterpret_cast<PSRWLOCK>(&lock.mutex()->lock_), INFINITE, 0);
}

void JobSignal::wait_for(std::unique_lock<JobMutex>& lock, std::chrono::milliseconds timeout) {
  SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&variable_),
                            reinterpret_cast<PSRWLOCK>(&lock.mutex()->lock_),
                            static_cast<DWORD>(timeout.count()), 0);
}

void JobSignal::notify_all() {
  WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&variable_));
}

namespace {

unsigned __stdcall runBody(void* body) {
  std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
  (*owned)();
  return 0;
}

}  // namespace

JobThread::JobThread(std::function<void()> body) {
  auto* owned = new std::function<void()>(std::move(body));
  // _beginthreadex rather than CreateThread: the body uses the C runtime.
  handle_ = reinterpret_cast<void*>(_beginthreadex(nullptr, 0, runBody, owned, 0, nullptr));
  if (!handle_) {
    delete owned;
    throw std::runtime_error("cannot start a thread");
  }
}

JobThread::~JobThread() {
  join();
}

void JobThread::join() {
  if (!handle_) return;
  WaitForSingleObject(handle_, INFINITE);
  CloseHandle(handle_);
  handle_ = nullptr;
}

unsigned coreCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

}  // namespace qzpack

#else

namespace qzpack {

unsigned coreCount() {
  unsigned cores = std::thread::hardware_concurrency();
  return cores ? cores : 1;
}

}  // namespace qzpack

#endif
