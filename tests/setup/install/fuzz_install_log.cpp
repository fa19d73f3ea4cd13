// Fuzz target: any bytes as an install log, read record by record as the uninstaller checks it
// before removing anything, and each path then judged by the path rule against an install
// folder, as the uninstaller judges it (each byte read as one UTF-16 unit).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "install/install_log.h"
#include "uninstall/path_rule.h"

namespace {

void judge(const char* path) {
  wchar_t wide[logPathLimit + 1], normal[widePathSize];
  size_t i = 0;
  for (; path[i]; ++i) wide[i] = static_cast<unsigned char>(path[i]);
  wide[i] = 0;
  if (normalisePath(wide, normal, widePathSize) && pathInside(normal, L"C:\\Games\\Tarn"))
    isLinkName(normal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly size bytes, so that a read past the log's end is caught.
  char* bytes = static_cast<char*>(malloc(size ? size : 1));
  if (size) memcpy(bytes, data, size);
  size_t at = 0;
  LogRecord record;
  LogStep step;
  while ((step = readLogRecord(bytes, size, &at, &record)) == logRecordRead) {
    size_t length = strlen(record.path);
    bool whole = (record.type == logFileRecord || record.type == logShortcutRecord) &&
                 length > 0 && length <= logPathLimit && record.path + length + 1 == bytes + at;
    if (!whole) abort();  // a record that is not one, or a position that skips bytes
    judge(record.path);
  }
  // Damage is reported at the byte where its record starts.
  if (step != logEnded && at >= size) abort();
  if (step == logEnded && at != size) abort();
  free(bytes);
  return 0;
}
