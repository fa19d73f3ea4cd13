// Decoding of an installation run's files ahead of their writing. The run writes, logs and
// reports its files one after the other on its own thread; a second thread decodes the
// following files meanwhile, each through an entry stream of its own, into chunks held in
// memory up to a limit. The run's thread decodes the file it writes itself when it gets there
// first, and decodes further ahead while it waits for the second thread. When the second thread
// cannot start or memory runs short, the run's thread decodes every file as it writes it.
#pragma once
#include <stdint.h>

struct ArchiveReader;
struct PlannedFile;

enum { chunkSize = 16384 };  // what one readEntry call asks for

// Starts decoding the plan's count files (kept, like reader, until endDecoding), which the run
// writes in the plan's order. False when there is no memory for it.
bool beginDecoding(ArchiveReader* reader, const PlannedFile* plan, int32_t count);

// Makes plan[index], the file after the one written before, the one being written, and waits
// until its entry was opened. False when the entry is in the archive but its stream could not
// be opened; an entry missing from the archive reads as empty.
bool openFile(int32_t index);
// The next chunk of the file being written, plan[index]: its byte count (bytes at *bytes, valid
// until the next call), or 0 at the entry's end, whole or stalled.
int32_t nextChunk(int32_t index, const unsigned char** bytes);
// After nextChunk gave 0: whether plan[index]'s entry was cut short or corrupt.
bool fileFailed(int32_t index);
// Stops the second thread, closes every entry stream and frees every chunk. Safe to call when
// beginDecoding failed or was never called.
void endDecoding();

// What tests and benchmarks may set before a run and read after it; setup.exe leaves the
// settings as they start.
struct DecodeHooks {
  // Bytes of decoded content (in whole chunks) held at most, 64 MiB; the file being written may
  // always hold four chunks.
  int64_t limit;
  bool oneThread;  // no second thread, as when it cannot be started
  // The run's thread decodes nothing and only writes: every file crosses from one thread to the
  // other, and the run waits on the second thread for each.
  bool secondThreadOnly;
  // Of the latest run.
  int32_t filesBySecondThread;
  int64_t peakHeld;  // bytes of chunk memory, at most the limit
};
extern DecodeHooks decodeHooks;
