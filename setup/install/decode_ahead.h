// Decoding of an installation run's files ahead of their writing. The run writes, logs and
// reports its files one after the other on its own thread; a second thread decodes the
// following entries meanwhile, each through an entry stream of its own, into chunks held in
// memory up to a limit. The run's thread decodes the file it writes itself when it gets there
// first, and decodes further ahead while it waits for the second thread.
#pragma once
#include <stdint.h>

struct ArchiveReader;

enum { chunkSize = 16384 };  // what one readEntry call asks for

enum DecodeSharing {
  decodeAlone,     // the run's thread decodes every file as it writes it
  decodeShared,    // as above, with the second thread decoding ahead
  decodeAllAhead,  // the second thread decodes every file; the run's thread only writes
};
// decodeShared unless a test or a benchmark chooses otherwise.
extern DecodeSharing decodeSharing;
// Bytes of decoded content (in whole chunks) held at most, 64 MiB; the file being written may
// always hold four chunks.
extern int64_t decodeAheadLimit;

struct DecodeAheadStats {
  int32_t filesBySecondThread;
  int64_t peakHeld;  // bytes of chunk memory, at most the limit
};
extern DecodeAheadStats decodeAheadStats;  // of the latest run

// Starts decoding the count entries named (pointers kept until endDecoding), in the order in
// which the run writes them; reader is kept too. False when there is no memory for it.
bool beginDecoding(ArchiveReader* reader, const char* const* names, int32_t count);

// Moves on to the next file and waits until its entry was opened. False when the entry is in
// the archive but its stream could not be opened; an entry missing from the archive reads as
// empty.
bool nextFile();
// The next chunk of the current file: its byte count (bytes at *bytes, valid until the next
// call), or 0 at the entry's end, whole or stalled.
int32_t nextChunk(const unsigned char** bytes);
// After nextChunk gave 0: whether the entry was cut short or corrupt.
bool fileFailed();
// Stops the second thread, closes every entry stream and frees every chunk. Safe to call when
// beginDecoding failed or was never called.
void endDecoding();
