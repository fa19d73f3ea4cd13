// Threads for the parallel build: the standard library's, except under mingw's win32 thread
// model (the shipping i686 qzpack.exe), whose libstdc++ has neither std::thread nor std::mutex.
// There, small stand-ins over the Win32 API offer the members the build uses.
#pragma once
#include <chrono>
#include <functional>
#include <mutex>  // std::unique_lock, and whether the thread model has the rest

#if defined(_WIN32) && defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define QZPACK_WIN32_THREADS 1
#else
#include <condition_variable>
#include <thread>
#endif

namespace qzpack {

#ifdef QZPACK_WIN32_THREADS
class JobMutex {
 public:
  JobMutex() = default;
  JobMutex(const JobMutex&) = delete;
  JobMutex& operator=(const JobMutex&) = delete;
  void lock();
  void unlock();

 private:
  friend class JobSignal;
  void* lock_ = nullptr;  // an SRWLOCK, all zero when unlocked
};

class JobSignal {
 public:
  JobSignal() = default;
  JobSignal(const JobSignal&) = delete;
  JobSignal& operator=(const JobSignal&) = delete;
  void wait(std::unique_lock<JobMutex>& lock);
  void wait_for(std::unique_lock<JobMutex>& lock, std::chrono::milliseconds timeout);
  void notify_all();

 private:
  void* variable_ = nullptr;  // a CONDITION_VARIABLE, all zero when new
};

class JobThread {
 public:
  explicit JobThread(std::function<void()> body);  // throws std::runtime_error
  JobThread(JobThread&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;
  ~JobThread();  // joins a thread that was not joined
  bool joinable() const { return handle_ != nullptr; }
  void join();

 private:
  void* handle_ = nullptr;
};
#else
using JobMutex = std::mutex;
using JobSignal = std::condition_variable;
using JobThread = std::thread;
#endif

// The machine's processors; at least 1.
unsigned coreCount();

}  // namespace qzpack
