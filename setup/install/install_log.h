// The install log "_qzsetup.log": records back to back, each a type byte and the full ANSI path
// of what was created with its NUL; no header, count or end marker. The installation run writes
// it, the uninstaller reads it.
#pragma once
#include <stddef.h>
#include <stdio.h>

enum : unsigned char { logFileRecord = 1, logShortcutRecord = 2 };
enum { logPathLimit = 260 };  // characters of a path, without its NUL

extern const char logName[];  // "_qzsetup.log", in the destination folder
extern FILE* installLog;      // open for the length of one installation run

// Writes one record type byte to installLog; false when the write fails.
bool writeLogType(unsigned char type);
// Writes text and its NUL to file and flushes it, so that a record is on the disk once its path
// is written: held back, the records of whole files would need room only when the log is closed,
// and a disk that the next file filled would then keep none of them; a run killed part-way would
// leave a log cut inside a record, which the uninstaller refuses. False when either fails.
bool writeLogString(FILE* file, const char* text);

enum LogStep {
  logRecordRead,
  logEnded,             // no bytes left: the previous record was the last
  logUnknownType,       // a type byte other than 1 or 2
  logPathUnterminated,  // the log ends inside a path
  logPathTooLong,       // a path over logPathLimit characters
  logPathEmpty,
};

struct LogRecord {
  unsigned char type;
  const char* path;  // points into the log's bytes, NUL-terminated
};

// Reads the record that starts at *at in the log held in bytes[0, size) and moves *at past it.
// On a damaged record *at is left at its start, which is where the damage lies.
LogStep readLogRecord(const char* bytes, size_t size, size_t* at, LogRecord* record);
