#include "parallel_store.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "build_error.h"
#include "job_threads.h"

namespace qzpack {
namespace {

using Lock = std::unique_lock<JobMutex>;

// Stored bytes of the entry being written that may wait in memory: enough to keep its worker
// busy while the writer is at the disk, whatever the memory allowance of the others.
constexpr size_t headLimit = size_t{1} << 20;
// What a piece costs beyond its bytes, counted so that tiny pieces cannot pass the allowance.
constexpr size_t pieceCost = 64;
// How often the writer wakes to redraw the progress while it waits.
constexpr std::chrono::milliseconds progressTick(100);

// Thrown inside a worker once the build has stopped.
struct Stopped {};

// One entry's stored bytes on their way to the output: pieces in memory, then, if the memory
// allowance ran out before its turn came, a run of its worker's spill file.
struct Result {
  std::vector<std::vector<char>> pieces;
  size_t held = 0;  // what the pieces cost
  int spill = -1;   // the worker whose spill file holds the rest
  uint64_t spillStart = 0, spillLength = 0;
  bool done = false, failed = false;
  uint64_t stored = 0;
  std::string error;
};

// Workers claim entries in order and compress them; the calling thread writes the entries one
// after the other, each as its pieces come. Memory stays bounded: an entry waiting for its turn
// holds pieces only while the allowance lasts and spills the rest to a file.
class Pipeline {
 public:
  Pipeline(const std::vector<PackageEntry>& entries, const StoreSettings& settings,
           const std::filesystem::path& output);
  ~Pipeline() { stop(); }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  void write(PendingOutput& out, const EntryStored& stored, const StoreProgress& progress);

 private:
  void stop();
  void work(unsigned worker);
  bool store(size_t index, unsigned worker);
  void deliver(size_t index, unsigned worker, const char* data, size_t size);
  void drain(size_t index, PendingOutput& out, const StoreProgress& progress);

  const std::vector<PackageEntry>& entries_;
  const StoreSettings& settings_;
  std::filesystem::path output_;
  JobMutex mutex_;
  JobSignal writerWake_, workerWake_;
  std::vector<Result> results_;
  std::vector<std::unique_ptr<SpillFile>> spills_;  // one per worker, made when first needed
  size_t next_ = 0;                                 // the next entry to claim
  size_t claimEnd_ = 0;  // entries from here on are not claimed: one before them failed
  size_t head_ = 0;      // the entry being written
  size_t held_ = 0;      // what the pieces of every entry cost
  std::atomic<bool> stop_{false};
  std::atomic<size_t> finished_{0};
  std::atomic<uint64_t> consumed_{0};
  std::vector<JobThread> threads_;
};

Pipeline::Pipeline(const std::vector<PackageEntry>& entries, const StoreSettings& settings,
                   const std::filesystem::path& output)
    : entries_(entries),
      settings_(settings),
      output_(output),
      results_(entries.size()),
      claimEnd_(entries.size()) {
  unsigned jobs = static_cast<unsigned>(std::min<size_t>(settings.jobs, entries.size()));
  spills_.resize(jobs);
  threads_.reserve(jobs);
  try {
    for (unsigned worker = 0; worker < jobs; ++worker)
      threads_.emplace_back([this, worker] { work(worker); });
  } catch (const std::exception& e) {
    stop();
    throw BuildError("cannot start " + std::to_string(jobs) + " jobs: " + e.what());
  }
}

void Pipeline::stop() {
  {
    Lock lock(mutex_);
    stop_ = true;
  }
  workerWake_.notify_all();
  for (JobThread& thread : threads_)
    if (thread.joinable()) thread.join();
}

void Pipeline::work(unsigned worker) {
  for (;;) {
    size_t index;
    {
      Lock lock(mutex_);
      if (stop_ || next_ >= claimEnd_) return;
      index = next_++;
    }
    if (!store(index, worker)) return;
  }
}

// Compresses one entry; false when the build stopped meanwhile.
bool Pipeline::store(size_t index, unsigned worker) {
  Result& result = results_[index];
  uint64_t length = 0;
  std::string error;
  bool failed = false;
  try {
    length = storeEntry(
        entries_[index], settings_.blockSize,
        [&](const char* data, size_t size) { deliver(index, worker, data, size); },
        [&](size_t got) {
          consumed_ += got;
          if (stop_) throw Stopped{};
        });
    if (result.spill >= 0) spills_[worker]->flush();
  } catch (const Stopped&) {
    return false;
  } catch (const std::exception& e) {
    failed = true;
    error = e.what();
  }
  Lock lock(mutex_);
  result.done = true;
  result.failed = failed;
  result.error = error;
  result.stored = length;
  if (failed) claimEnd_ = std::min(claimEnd_, index + 1);
  ++finished_;
  writerWake_.notify_all();
  return true;
}

void Pipeline::deliver(size_t index, unsigned worker, const char* data, size_t size) {
  Result& result = results_[index];
  if (result.spill < 0) {
    Lock lock(mutex_);
    while (index == head_ && result.held >= headLimit && !stop_) workerWake_.wait(lock);
    if (stop_) throw Stopped{};
    if (index == head_ || held_ + size + pieceCost <= settings_.bufferLimit) {
      result.pieces.emplace_back(data, data + size);
      result.held += size + pieceCost;
      held_ += size + pieceCost;
      if (index == head_) writerWake_.notify_all();
      return;
    }
    result.spill = static_cast<int>(worker);
  }
  // Only this worker touches its spill file, and the entry's run of it, until the entry is done.
  std::unique_ptr<SpillFile>& spill = spills_[worker];
  if (!spill) spill = std::make_unique<SpillFile>(output_);
  if (result.spillLength == 0) result.spillStart = spill->size();
  spill->append(data, size);
  result.spillLength += size;
}

// Writes the entry's pieces as they come, until its worker is done with it.
void Pipeline::drain(size_t index, PendingOutput& out, const StoreProgress& progress) {
  Result& result = results_[index];
  Lock lock(mutex_);
  head_ = index;
  workerWake_.notify_all();
  for (;;) {
    if (!result.pieces.empty()) {
      std::vector<std::vector<char>> pieces;
      pieces.swap(result.pieces);
      size_t bytes = result.held;
      result.held = 0;
      lock.unlock();
      for (const std::vector<char>& piece : pieces) out.write(piece.data(), piece.size());
      lock.lock();
      held_ -= bytes;
      workerWake_.notify_all();
    } else if (result.done) {
      return;
    } else {
      writerWake_.wait_for(lock, progressTick);
      lock.unlock();
      progress(finished_, consumed_);
      lock.lock();
    }
  }
}

void Pipeline::write(PendingOutput& out, const EntryStored& stored, const StoreProgress& progress) {
  for (size_t index = 0; index < entries_.size(); ++index) {
    drain(index, out, progress);
    Result& result = results_[index];
    if (result.failed) throw BuildError(result.error);
    if (result.spillLength)
      spills_[result.spill]->copyTo(out, result.spillStart, result.spillLength);
    stored(index, result.stored);
    progress(finished_, consumed_);
    result = Result();
  }
}

// Stores the entries on the calling thread, one after the other.
void storeInOrder(const std::vector<PackageEntry>& entries, const StoreSettings& settings,
                  PendingOutput& out, const EntryStored& stored, const StoreProgress& progress) {
  uint64_t bytes = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    uint64_t length = storeEntry(
        entries[i], settings.blockSize,
        [&](const char* data, size_t size) { out.write(data, size); },
        [&](size_t got) {
          bytes += got;
          progress(i, bytes);
        });
    stored(i, length);
    progress(i + 1, bytes);
  }
}

}  // namespace

void storeEntries(const std::vector<PackageEntry>& entries, const StoreSettings& settings,
                  PendingOutput& out, const EntryStored& stored, const StoreProgress& progress) {
  if (settings.jobs <= 1 || entries.size() <= 1) {
    storeInOrder(entries, settings, out, stored, progress);
    return;
  }
  Pipeline pipeline(entries, settings, out.target());
  pipeline.write(out, stored, progress);
}

}  // namespace qzpack
