#include "install/decode_ahead.h"

#include <assert.h>
#include <stdlib.h>

#include "install/run_plan.h"
#include "install/run_thread.h"
#include "package/archive.h"

DecodeHooks decodeHooks = {int64_t{64} << 20, false, false, 0, 0};

namespace {

enum { reserveChunks = 4 };  // the file being written may always hold this many

struct Chunk {
  Chunk* next;
  int32_t count;
  unsigned char bytes[chunkSize];
};

enum Owner : unsigned char { unclaimed, runThread, secondThread };

// One planned file's decoding; under the lock unless said otherwise.
struct FileDecoding {
  EntryStream* stream;  // its owner's alone, used outside the lock; null once the entry is done
  Chunk* first;         // decoded, waiting to be written
  Chunk* last;
  int32_t held;  // chunks taken for it: queued, being filled or being written
  // Set once by a claim. When memory runs out, the second thread gives its file to the run's
  // thread, between two steps.
  Owner owner;
  bool stepping;  // its owner decodes it outside the lock
  // What decoding found, published by the owner alone.
  bool opened, unopenable, done, failed;
};

// One run's decoding. Who may touch each part is written above it: "fixed" parts are set by
// beginDecoding before the second thread starts and read by both threads without the lock.
//
// The rules of the hand-over between the threads, checked where they are kept:
// - A chunk is in one place at a time: the spare list, a file's queue, the hands of the file's
//   owner filling it outside the lock, or the hands of the run's thread writing it out. It
//   changes place only under the lock, and only the run's thread takes chunks out of a queue:
//   those of the file it writes.
// - A chunk taken counts in its file's held and in heldTotal until it is back on the spare list;
//   at most aheadChunks + reserveChunks are taken at once, and a file's chunks are all back
//   before the next file is opened for writing. Chunks go back to the heap only in endDecoding,
//   once the second thread has ended. A thread's finished stream serves its next opening, or is
//   closed when another of its streams finishes, or by endDecoding.
// - The run's thread sleeps only while the file it writes is not its own, has nothing queued
//   and is unfinished, and has room: the second thread then goes on with it and wakes the run's
//   thread at each step. The second thread sleeps only with no file to claim or no room for its
//   own; the run's thread wakes it when it opens a file, while the file it writes is the second
//   thread's, and once half the room is free again.
struct Decoder {
  // Fixed.
  ArchiveReader* reader;
  const PlannedFile* plan;
  FileDecoding* files;
  int32_t count;
  int32_t aheadChunks;    // a file other than the one being written takes a chunk only below this
  bool runThreadDecodes;  // false under the secondThreadOnly hook
  // Under the lock.
  int32_t nextClaim;   // the first file without an owner
  int32_t current;     // the file being written, -1 before the first
  int32_t heldTotal;   // chunks taken for files
  int32_t chunksMade;  // from the heap, all of them taken or spare
  Chunk* spare;
  bool alone;  // the run's thread decodes every file it writes, with no help
  bool stopping;
  // The run's thread's own.
  bool threadStarted;
  int32_t ownAhead;  // the file it decodes ahead while it waits, or -1
  Chunk* writing;    // handed out by nextChunk, taken back at the next call
  Chunk direct;      // a file it decodes itself goes straight into this one, not queued
  // Each thread's last finished stream: the next entry it opens takes over its record.
  EntryStream* runSpent;
  // The second thread's own.
  EntryStream* secondSpent;
};

Decoder decoder;  // one run at a time

struct Step {
  bool unopenable, done, failed;
};

// Opens files[index]'s entry, or reads its next chunk into chunk. By the file's owner, on its
// own thread, outside the lock.
Step advance(int32_t index, Owner by, Chunk* chunk) {
  Decoder& d = decoder;
  FileDecoding* file = &d.files[index];
  assert(file->owner == by && file->stepping);
  EntryStream*& spent = by == runThread ? d.runSpent : d.secondSpent;
  Step step = {false, false, false};
  if (!file->opened) {
    file->stream = reopenEntry(d.reader, d.plan[index].name, spent);
    spent = nullptr;
    // Not in the archive: created empty. In it but not readable (no memory for its decoder): a
    // file left empty would pass for installed.
    step.unopenable = !file->stream && d.plan[index].inArchive;
    step.done = entryAtEnd(file->stream);
  } else {
    chunk->count = readEntry(file->stream, chunk->bytes, chunkSize);
    step.done = chunk->count == 0 || entryAtEnd(file->stream);  // 0: cut short or corrupt
  }
  if (step.done && file->stream) {
    step.failed = entryFailed(file->stream);
    closeEntry(spent);  // one kept from another file this thread had open at the same time
    spent = file->stream;
    file->stream = nullptr;
  }
  return step;
}

Chunk* takeChunk(FileDecoding* file) {
  Decoder& d = decoder;
  Chunk* chunk = d.spare;
  if (chunk) {
    d.spare = chunk->next;
  } else if ((chunk = static_cast<Chunk*>(malloc(sizeof(Chunk))))) {
    ++d.chunksMade;
    decodeHooks.peakHeld = int64_t{d.chunksMade} * int64_t{sizeof(Chunk)};
  }
  if (chunk) {
    ++d.heldTotal;
    ++file->held;
    assert(d.heldTotal <= d.aheadChunks + reserveChunks);
  }
  return chunk;
}

void releaseChunk(FileDecoding* file, Chunk* chunk) {
  assert(file->held > 0);
  --decoder.heldTotal;
  --file->held;
  chunk->next = decoder.spare;
  decoder.spare = chunk;
}

// One step of files[index] by its owner, the lock given up meanwhile; then what it found is
// published, and chunk queued unless it is direct (or null, for an opening).
void takeStep(int32_t index, Owner by, Chunk* chunk) {
  FileDecoding* file = &decoder.files[index];
  assert(!file->done && !file->stepping);
  file->stepping = true;
  unlockRun();
  Step step = advance(index, by, chunk);
  lockRun();
  file->stepping = false;
  file->opened = true;
  file->unopenable = step.unopenable;
  file->done = step.done;
  file->failed = step.failed;
  if (!chunk || chunk == &decoder.direct) return;
  if (chunk->count == 0) {
    releaseChunk(file, chunk);
    return;
  }
  chunk->next = nullptr;
  (file->last ? file->last->next : file->first) = chunk;
  file->last = chunk;
}

void claim(int32_t index, Owner owner) {
  Decoder& d = decoder;
  assert(d.files[index].owner == unclaimed);
  d.files[index].owner = owner;
  while (d.nextClaim < d.count && d.files[d.nextClaim].owner != unclaimed) ++d.nextClaim;
}

// The largest of the next few files without an owner: the two threads then end on small
// files, and neither waits long for the other at the end of the run.
int32_t largestAhead() {
  const Decoder& d = decoder;
  int32_t largest = d.nextClaim;
  for (int32_t i = d.nextClaim, seen = 0; i < d.count && seen < 16; ++i) {
    if (d.files[i].owner != unclaimed) continue;
    ++seen;
    if (d.plan[i].size > d.plan[largest].size) largest = i;
  }
  return largest;
}

bool hasRoom(int32_t index) {
  const Decoder& d = decoder;
  return d.heldTotal < d.aheadChunks || (index == d.current && d.files[index].held < reserveChunks);
}

// Takes the owner's next step on files[index] if there is room for it. False when there is no
// room (or no memory).
bool stepAhead(int32_t index, Owner by) {
  FileDecoding* file = &decoder.files[index];
  Chunk* chunk = nullptr;
  if (file->opened && (!hasRoom(index) || !(chunk = takeChunk(file)))) return false;
  takeStep(index, by, chunk);
  return true;
}

void secondThreadBody() {
  Decoder& d = decoder;
  lockRun();
  int32_t mine = -1;
  while (!d.stopping) {
    if (mine >= 0 && d.files[mine].done) mine = -1;
    // From the run's first file on. When the run's thread decodes nothing, in the order of
    // writing: it waits on each file in turn, and this thread holds one at a time.
    if (mine < 0 && d.current >= 0 && d.nextClaim < d.count) {
      mine = d.runThreadDecodes ? largestAhead() : d.nextClaim;
      claim(mine, secondThread);
      ++decodeHooks.filesBySecondThread;
    }
    if (mine >= 0 && stepAhead(mine, secondThread)) {
      wake(runSide);
    } else if (mine >= 0 && hasRoom(mine) && d.files[mine].opened) {
      // Room but no memory: the run's thread takes this file over and goes on alone.
      d.files[mine].owner = runThread;
      d.alone = true;
      wake(runSide);
      break;
    } else {
      assert(mine < 0 ? d.current < 0 || d.nextClaim == d.count : !hasRoom(mine));
      sleepLocked(secondSide);
    }
  }
  unlockRun();
}

// The file being written is not the run's thread's and has nothing to write yet: decode ahead
// meanwhile if sharing allows, else sleep until the second thread has something.
void helpOrWait() {
  Decoder& d = decoder;
  if (d.runThreadDecodes && !d.alone) {
    if (d.ownAhead >= 0 && d.files[d.ownAhead].done) d.ownAhead = -1;
    if (d.ownAhead < 0 && d.nextClaim < d.count && hasRoom(d.nextClaim)) {
      d.ownAhead = d.nextClaim;
      claim(d.ownAhead, runThread);
    }
    if (d.ownAhead >= 0 && stepAhead(d.ownAhead, runThread)) return;
  }
  assert(!d.alone && d.files[d.current].owner != runThread && !d.files[d.current].first &&
         !d.files[d.current].done && d.files[d.current].held < reserveChunks);
  sleepLocked(runSide);
}

// Wakes the second thread if it may go on now: at the first file, when the file being written
// is its own and unfinished, or once half the room is free again. A wake-up for each chunk
// written would cost a round trip to the server under Wine, for one chunk of room each.
void wakeSecond() {
  const Decoder& d = decoder;
  const FileDecoding& file = d.files[d.current];
  if (d.current == 0 || (file.owner == secondThread && !file.done) ||
      d.heldTotal <= d.aheadChunks / 2)
    wake(secondSide);
}

void releaseWriting() {
  Decoder& d = decoder;
  if (!d.writing) return;
  releaseChunk(&d.files[d.current], d.writing);
  d.writing = nullptr;
  wakeSecond();
}

}  // namespace

bool beginDecoding(ArchiveReader* reader, const PlannedFile* plan, int32_t count) {
  Decoder& d = decoder;
  d.files = static_cast<FileDecoding*>(calloc(count > 0 ? count : 1, sizeof(FileDecoding)));
  if (!d.files) return false;
  d.reader = reader;
  d.plan = plan;
  d.count = count;
  d.nextClaim = d.heldTotal = d.chunksMade = 0;
  d.current = d.ownAhead = -1;
  d.stopping = false;
  int64_t limit = decodeHooks.limit / int64_t{sizeof(Chunk)} - reserveChunks;
  d.aheadChunks = limit < 0 ? 0 : limit > 0x7FFFFF ? 0x7FFFFF : static_cast<int32_t>(limit);
  decodeHooks.filesBySecondThread = 0;
  decodeHooks.peakHeld = 0;
  d.runThreadDecodes = !decodeHooks.secondThreadOnly;
  d.alone = count == 0 || decodeHooks.oneThread;
  d.threadStarted = startSecondThread(d.alone ? nullptr : secondThreadBody);
  if (!d.threadStarted) d.alone = true;
  return true;
}

bool openFile(int32_t index) {
  Decoder& d = decoder;
  lockRun();
  releaseWriting();
  assert(index == d.current + 1 && index < d.count);
  assert(d.current < 0 || (d.files[d.current].done && d.files[d.current].held == 0));
  FileDecoding* file = &d.files[d.current = index];
  if (file->owner == unclaimed && (d.runThreadDecodes || d.alone)) claim(index, runThread);
  wakeSecond();
  while (!file->opened) {
    if (file->owner != runThread)
      helpOrWait();
    else
      stepAhead(index, runThread);  // an opening always has room
  }
  bool openable = !file->unopenable;
  unlockRun();
  return openable;
}

int32_t nextChunk(int32_t index, const unsigned char** bytes) {
  Decoder& d = decoder;
  lockRun();
  releaseWriting();
  assert(index == d.current);
  FileDecoding* file = &d.files[index];
  Chunk* chunk = nullptr;
  for (;;) {
    if ((chunk = d.writing = file->first)) {
      if (!(file->first = chunk->next)) file->last = nullptr;
      break;
    }
    if (file->done) break;
    if (file->owner != runThread) {
      helpOrWait();
      continue;
    }
    takeStep(index, runThread, &d.direct);
    if (d.direct.count > 0) {
      chunk = &d.direct;
      break;
    }
  }
  unlockRun();
  if (!chunk) return 0;
  *bytes = chunk->bytes;
  return chunk->count;
}

bool fileFailed(int32_t index) {
  lockRun();
  assert(index == decoder.current);
  bool failed = decoder.files[index].failed;
  unlockRun();
  return failed;
}

void endDecoding() {
  Decoder& d = decoder;
  if (!d.files) return;
  if (d.threadStarted) {
    lockRun();
    d.stopping = true;
    wake(secondSide);
    unlockRun();
  }
  joinSecondThread();
  for (int32_t i = 0; i < d.count; ++i) {
    assert(!d.files[i].stepping);
    closeEntry(d.files[i].stream);
    while (Chunk* chunk = d.files[i].first) {
      d.files[i].first = chunk->next;
      free(chunk);
      --d.heldTotal;
    }
  }
  if (d.writing) --d.heldTotal;
  assert(d.heldTotal == 0);  // the chunks being filled or written were counted, and no others
  closeEntry(d.runSpent);
  closeEntry(d.secondSpent);
  d.runSpent = d.secondSpent = nullptr;
  free(d.writing);
  while (Chunk* chunk = d.spare) {
    d.spare = chunk->next;
    free(chunk);
  }
  free(d.files);
  d.files = nullptr;
  d.writing = nullptr;
}
