#include "install_log.h"

#include <string.h>

const char logName[] = "_qzsetup.log";
FILE* installLog;

bool writeLogType(unsigned char type) {
  return installLog && fputc(type, installLog) != EOF && !ferror(installLog);
}

bool writeLogString(FILE* file, const char* text) {
  size_t length = strlen(text) + 1;
  return file && fwrite(text, 1, length, file) == length && fflush(file) == 0;
}

LogStep readLogRecord(const char* bytes, size_t size, size_t* at, LogRecord* record) {
  size_t start = *at;
  if (start >= size) return logEnded;
  unsigned char type = static_cast<unsigned char>(bytes[start]);
  if (type != logFileRecord && type != logShortcutRecord) return logUnknownType;
  const char* path = bytes + start + 1;
  size_t left = size - start - 1;
  // Only the first logPathLimit + 1 bytes can hold a valid path's NUL.
  const void* end = memchr(path, 0, left < logPathLimit + 1 ? left : logPathLimit + 1);
  if (!end) return left <= logPathLimit ? logPathUnterminated : logPathTooLong;
  size_t length = static_cast<size_t>(static_cast<const char*>(end) - path);
  if (length == 0) return logPathEmpty;
  record->type = type;
  record->path = path;
  *at = start + 1 + length + 1;
  return logRecordRead;
}
