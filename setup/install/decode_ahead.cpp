#include "install/decode_ahead.h"

#include <stdlib.h>

#include "install/run_thread.h"
#include "package/archive.h"

DecodeSharing decodeSharing = decodeShared;
int64_t decodeAheadLimit = int64_t{64} << 20;
DecodeAheadStats decodeAheadStats;

namespace {

enum { reserveChunks = 4 };  // the file being written may always hold this many

struct Chunk {
  Chunk* next;
  int32_t count;
  unsigned char bytes[chunkSize];
};

enum Owner : unsigned char { nobody, runThread, secondThread };

// One file of the run. Its stream belongs to its owner, who reads it outside the lock; the
// rest is shared under the lock, and only the owner publishes what decoding found.
struct PlannedFile {
  const char* name;
  int32_t size;
  EntryStream* stream;
  Chunk* first;  // decoded, waiting to be written
  Chunk* last;
  int32_t held;  // chunks taken for it: queued, being filled or being written
  Owner owner;
  bool inArchive, opened, unopenable, done, failed;
};

// What one step of decoding found.
struct Step {
  bool unopenable, done, failed;
};

ArchiveReader* reader;
PlannedFile* files;
int32_t fileCount;
int32_t nextClaim;      // the first file without an owner
int32_t current = -1;   // the file being written
int32_t ownAhead = -1;  // the file the run's thread decodes ahead while it waits
int32_t heldTotal;      // chunks taken for files
int32_t aheadChunks;    // a file other than the current one takes a chunk only below this
int32_t chunksMade;
Chunk* spare;
Chunk* writing;  // handed out by nextChunk, taken back at the next call
Chunk direct;    // the run's thread decodes a file it writes straight into this one
DecodeSharing sharing;
bool threadStarted, stopping;
// Each thread's last finished stream, by owner: the next entry it opens goes through the same
// package file. Only that thread touches its own.
EntryStream* spent[3];

// Opens the entry, or reads its next chunk into chunk. By the file's owner, on its own thread,
// outside the lock.
Step advance(PlannedFile* file, Chunk* chunk) {
  Step step = {false, false, false};
  EntryStream*& mySpent = spent[file->owner];
  if (!file->opened) {
    file->stream = reopenEntry(reader, file->name, mySpent);
    mySpent = nullptr;
    // Not in the archive: created empty. In it but not readable (the carrier renamed or
    // locked, the decoder refusing to start): a file left empty would pass for installed.
    step.unopenable = !file->stream && file->inArchive;
    step.done = entryAtEnd(file->stream);
  } else {
    chunk->count = readEntry(file->stream, chunk->bytes, chunkSize);
    step.done = chunk->count == 0 || entryAtEnd(file->stream);  // 0: cut short or corrupt
  }
  if (step.done && file->stream) {
    step.failed = entryFailed(file->stream);
    closeEntry(mySpent);  // one kept from another file this thread had open at the same time
    mySpent = file->stream;
    file->stream = nullptr;
  }
  return step;
}

Chunk* takeChunk(PlannedFile* file) {
  Chunk* chunk = spare;
  if (chunk) {
    spare = chunk->next;
  } else if ((chunk = static_cast<Chunk*>(malloc(sizeof(Chunk))))) {
    ++chunksMade;
    decodeAheadStats.peakHeld = int64_t{chunksMade} * int64_t{sizeof(Chunk)};
  }
  if (chunk) {
    ++heldTotal;
    ++file->held;
  }
  return chunk;
}

void releaseChunk(PlannedFile* file, Chunk* chunk) {
  --heldTotal;
  --file->held;
  chunk->next = spare;
  spare = chunk;
}

// Under the lock, by the file's owner; chunk is null for an opening or a read into direct.
void publish(PlannedFile* file, Chunk* chunk, const Step& step) {
  file->opened = true;
  file->unopenable = step.unopenable;
  file->done = step.done;
  file->failed = step.failed;
  if (!chunk) return;
  if (chunk->count == 0) {
    releaseChunk(file, chunk);
    return;
  }
  chunk->next = nullptr;
  (file->last ? file->last->next : file->first) = chunk;
  file->last = chunk;
}

void claim(int32_t index, Owner owner) {
  files[index].owner = owner;
  while (nextClaim < fileCount && files[nextClaim].owner != nobody) ++nextClaim;
}

// The largest of the next few files without an owner: the two threads then end on small
// files, and neither waits long for the other at the end of the run.
int32_t largestAhead() {
  int32_t largest = nextClaim;
  for (int32_t i = nextClaim, seen = 0; i < fileCount && seen < 16; ++i) {
    if (files[i].owner != nobody) continue;
    ++seen;
    if (files[i].size > files[largest].size) largest = i;
  }
  return largest;
}

bool hasRoom(int32_t index) {
  return heldTotal < aheadChunks || (index == current && files[index].held < reserveChunks);
}

// Takes the owner's next step on files[index] if there is room for it: the lock is given up
// for the decoding. False when there is no room (or no memory).
bool stepAhead(int32_t index) {
  PlannedFile* file = &files[index];
  Chunk* chunk = nullptr;
  if (file->opened && (!hasRoom(index) || !(chunk = takeChunk(file)))) return false;
  unlockRun();
  Step step = advance(file, chunk);
  lockRun();
  publish(file, chunk, step);
  return true;
}

void secondThreadBody() {
  lockRun();
  int32_t mine = -1;
  while (!stopping) {
    if (mine >= 0 && files[mine].done) mine = -1;
    // From the run's first file on; sharing, the largest of the next few first.
    if (mine < 0 && current >= 0 && nextClaim < fileCount) {
      mine = sharing == decodeShared ? largestAhead() : nextClaim;
      claim(mine, secondThread);
      ++decodeAheadStats.filesBySecondThread;
    }
    if (mine >= 0 && stepAhead(mine)) {
      wake(runSide);
    } else if (mine >= 0 && hasRoom(mine) && files[mine].opened) {
      // Room but no memory: the run's thread takes this file over and goes on alone.
      files[mine].owner = runThread;
      sharing = decodeAlone;
      wake(runSide);
      break;
    } else {
      sleepLocked(secondSide);
    }
  }
  unlockRun();
}

// The current file is the second thread's and has nothing to write yet: decode ahead
// meanwhile if sharing allows, else sleep until the second thread has something.
void helpOrWait() {
  if (sharing == decodeShared) {
    if (ownAhead >= 0 && files[ownAhead].done) ownAhead = -1;
    if (ownAhead < 0 && nextClaim < fileCount && hasRoom(nextClaim)) {
      ownAhead = nextClaim;
      claim(ownAhead, runThread);
    }
    if (ownAhead >= 0 && stepAhead(ownAhead)) return;
  }
  sleepLocked(runSide);
}

// Wakes the second thread if it may go on now: at the first file, when the file being written
// is its own and unfinished, or once half the room is free again. A wake-up for each chunk
// written would cost a round trip to the server under Wine, for one chunk of room each.
void wakeSecond() {
  const PlannedFile& file = files[current];
  if (current == 0 || (file.owner == secondThread && !file.done) || heldTotal <= aheadChunks / 2)
    wake(secondSide);
}

void releaseWriting() {
  if (!writing) return;
  releaseChunk(&files[current], writing);
  writing = nullptr;
  wakeSecond();
}

}  // namespace

bool beginDecoding(ArchiveReader* archive, const char* const* names, int32_t count) {
  files = static_cast<PlannedFile*>(calloc(count > 0 ? count : 1, sizeof(PlannedFile)));
  if (!files) return false;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t offset;
    files[i].name = names[i];
    files[i].inArchive = findEntry(archive, names[i], &offset, &files[i].size);
  }
  reader = archive;
  fileCount = count;
  nextClaim = heldTotal = chunksMade = 0;
  current = ownAhead = -1;
  stopping = false;
  int64_t limit = decodeAheadLimit / int64_t{sizeof(Chunk)} - reserveChunks;
  aheadChunks = limit < 0 ? 0 : limit > 0x7FFFFF ? 0x7FFFFF : static_cast<int32_t>(limit);
  decodeAheadStats = DecodeAheadStats{0, 0};
  sharing = count > 0 ? decodeSharing : decodeAlone;
  threadStarted = startSecondThread(sharing == decodeAlone ? nullptr : secondThreadBody);
  if (!threadStarted) sharing = decodeAlone;
  return true;
}

bool nextFile() {
  lockRun();
  releaseWriting();
  PlannedFile* file = &files[++current];
  if (file->owner == nobody && sharing != decodeAllAhead) claim(current, runThread);
  wakeSecond();
  while (!file->opened) {
    if (file->owner != runThread)
      helpOrWait();
    else
      stepAhead(current);  // an opening always has room
  }
  bool openable = !file->unopenable;
  unlockRun();
  return openable;
}

int32_t nextChunk(const unsigned char** bytes) {
  lockRun();
  releaseWriting();
  PlannedFile* file = &files[current];
  int32_t count = 0;
  for (;;) {
    if ((writing = file->first)) {
      if (!(file->first = writing->next)) file->last = nullptr;
      *bytes = writing->bytes;
      count = writing->count;
      break;
    }
    if (file->done) break;
    if (file->owner != runThread) {
      helpOrWait();
      continue;
    }
    unlockRun();
    Step step = advance(file, &direct);
    lockRun();
    publish(file, nullptr, step);
    if (direct.count > 0) {
      *bytes = direct.bytes;
      count = direct.count;
      break;
    }
  }
  unlockRun();
  return count;
}

bool fileFailed() {
  lockRun();
  bool failed = files[current].failed;
  unlockRun();
  return failed;
}

void endDecoding() {
  if (!files) return;
  if (threadStarted) {
    lockRun();
    stopping = true;
    wake(secondSide);
    unlockRun();
  }
  joinSecondThread();
  for (int32_t i = 0; i < fileCount; ++i) {
    closeEntry(files[i].stream);
    while (Chunk* chunk = files[i].first) {
      files[i].first = chunk->next;
      free(chunk);
    }
  }
  for (EntryStream*& stream : spent) {
    closeEntry(stream);
    stream = nullptr;
  }
  free(writing);
  while (Chunk* chunk = spare) {
    spare = chunk->next;
    free(chunk);
  }
  free(files);
  files = nullptr;
  writing = nullptr;
}
