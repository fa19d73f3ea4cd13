#include "install_run.h"

#include <stdlib.h>
#include <string.h>

#include "install/directories.h"
#include "install/macros.h"
#include "install/shortcut.h"
#include "package/archive.h"
#include "package/header.h"
#include "package/services.h"

const char* carrierPath;
FILE* installLog;
int64_t progressDone;
int64_t progressTotal;

namespace {

enum { chunkSize = 16384, pathSize = 261 };
enum : unsigned char { logFileRecord = 1, logShortcutRecord = 2 };

const char logName[] = "_qzsetup.log";
char logPath[pathSize];

bool fail(InstallFailure* failure, InstallFault fault, const char* path) {
  failure->fault = fault;
  size_t length = strlen(path);
  if (length >= sizeof failure->path) length = sizeof failure->path - 1;
  memcpy(failure->path, path, length);
  failure->path[length] = 0;
  return false;
}

// Appends text to path (a 261-byte buffer); false when the result would pass 260 characters.
bool appendPath(char* path, const char* text) {
  size_t length = strlen(path), extra = strlen(text);
  if (length + extra >= pathSize) return false;
  memcpy(path + length, text, extra + 1);
  return true;
}

// A path cut at 260 characters, for the message about it.
void cutPath(char* path, const char* a, const char* b) {
  path[0] = 0;
  strncat(path, a, pathSize - 1);
  strncat(path, b, pathSize - 1 - strlen(path));
}

void reportProgress() {
  int32_t done, total;
  scaleProgress(progressDone, progressTotal, &done, &total);
  drawProgress(done, total);
}

bool logRecord(unsigned char type, const char* path, InstallFailure* failure) {
  if (!writeLogType(type) || !writeLogString(installLog, path))
    return fail(failure, faultCannotWrite, logPath);
  return true;
}

// Copies one entry to outputPath; a failed copy leaves no partial file behind.
bool extractFile(ArchiveReader* reader, const char* name, const char* outputPath,
                 InstallFailure* failure) {
  static unsigned char chunk[chunkSize];
  if (strchr(name, '\\') || strchr(name, '/')) makeDirectories(outputPath);
  EntryStream* entry = openEntry(reader, name);  // missing from the archive: created empty
  FILE* output = fopen(outputPath, "wb");
  if (!output) {
    closeEntry(entry);
    return fail(failure, faultCannotWrite, outputPath);
  }
  InstallFault fault = faultNone;
  while (!entryAtEnd(entry)) {
    int32_t count = readEntry(entry, chunk, chunkSize);
    if (count == 0) break;  // cut short or corrupt: reading again would not help
    progressDone += count;
    reportProgress();
    if (fwrite(chunk, 1, static_cast<size_t>(count), output) != static_cast<size_t>(count)) {
      fault = faultCannotWrite;
      break;
    }
    progressDone += count;
    reportProgress();
  }
  if (fault == faultNone && entry && entryFailed(entry)) fault = faultDamagedArchive;
  if (fclose(output) != 0 && fault == faultNone) fault = faultCannotWrite;
  closeEntry(entry);
  if (fault != faultNone) {
    remove(outputPath);
    return fail(failure, fault, fault == faultDamagedArchive ? name : outputPath);
  }
  return true;
}

bool installShortcut(const ShortcutDefinition* shortcut, InstallFailure* failure) {
  char linkPath[pathSize] = "";
  const char* folder = header.shortcutFolder ? header.shortcutFolder : "";
  const char* linkName = expandMacros(shortcut->linkName);
  if ((folder[0] && (!appendPath(linkPath, folder) || !appendPath(linkPath, "\\"))) ||
      !appendPath(linkPath, linkName) || !appendPath(linkPath, ".lnk")) {
    cutPath(linkPath, folder, linkName);
    return fail(failure, faultCannotWrite, linkPath);
  }
  makeDirectories(linkPath);
  size_t targetSize = strlen(expandMacros(shortcut->target)) + 1;
  char* target = static_cast<char*>(malloc(targetSize));
  if (target) memcpy(target, textBuffer, targetSize);
  const char* expandedDirectory = expandMacros(shortcut->workingDirectory);
  size_t directorySize = strlen(expandedDirectory) + 1;
  char* directory = static_cast<char*>(malloc(directorySize));
  if (directory) memcpy(directory, expandedDirectory, directorySize);
  if (target && directory) createShortcut(linkPath, target, directory, shortcut->arguments);
  free(target);
  free(directory);
  if (!logRecord(logShortcutRecord, linkPath, failure)) return false;
  progressDone += 1;
  reportProgress();
  return true;
}

}  // namespace

void scaleProgress(int64_t done, int64_t total, int32_t* scaledDone, int32_t* scaledTotal) {
  while (total > INT32_MAX) {
    done >>= 1;
    total >>= 1;
  }
  *scaledDone = static_cast<int32_t>(done > total ? total : done);
  *scaledTotal = static_cast<int32_t>(total);
}

bool writeLogType(unsigned char type) {
  return installLog && fputc(type, installLog) != EOF && !ferror(installLog);
}

bool writeLogString(FILE* file, const char* text) {
  size_t length = strlen(text) + 1;
  return file && fwrite(text, 1, length, file) == length && !ferror(file);
}

bool installComponent(ArchiveReader* reader, Component* component, InstallFailure* failure) {
  char destination[pathSize] = "";
  const char* chosen = destinationText();
  if (!appendPath(destination, chosen) || !appendPath(destination, "\\")) {
    cutPath(destination, chosen, "\\");
    return fail(failure, faultCannotWrite, destination);
  }
  makeDirectories(destination);
  if (!installLog) {
    logPath[0] = 0;
    if (!appendPath(logPath, destination) || !appendPath(logPath, logName)) {
      cutPath(logPath, destination, logName);
      return fail(failure, faultCannotWrite, logPath);
    }
    if (!(installLog = fopen(logPath, "wb"))) return fail(failure, faultCannotWrite, logPath);
  }
  for (const ComponentFile* file = component->files; file; file = file->next) {
    char outputPath[pathSize] = "";
    const char* name = expandMacros(file->name);
    if (!appendPath(outputPath, destination) || !appendPath(outputPath, name)) {
      cutPath(outputPath, destination, name);
      return fail(failure, faultCannotWrite, outputPath);
    }
    if (!extractFile(reader, file->name, outputPath, failure)) return false;
    if (!logRecord(logFileRecord, outputPath, failure)) return false;
  }
  for (const ShortcutDefinition* s = component->shortcuts; s; s = s->next)
    if (!installShortcut(s, failure)) return false;
  return true;
}

InstallOutcome runInstallation(int fullInstallation, InstallFailure* failure) {
  failure->fault = faultNone;
  failure->path[0] = 0;
  ArchiveReader* reader = openArchive(carrierPath, header.archiveOffset);
  if (!reader) return installNoCarrier;
  if (reader->status != archiveOk) {
    // A download cut short or damaged: refuse before anything is written.
    fail(failure, faultDamagedArchive, carrierPath);
    freeArchive(reader);
    return installFailed;
  }
  // A run after a part-way failure starts its bar again.
  progressDone = 0;
  progressTotal = 0;
  for (const Component* c = header.firstComponent; c; c = c->next) {
    for (const ComponentFile* file = c->files; file; file = file->next) {
      uint32_t offset;
      int32_t size;
      if (findEntry(reader, file->name, &offset, &size)) progressTotal += 2 * int64_t{size};
    }
    progressTotal += c->shortcutCount;
  }
  const char* expanded = expandMacros(header.shortcutFolder ? header.shortcutFolder : "");
  size_t folderSize = strlen(expanded) + 1;
  if (char* folder = static_cast<char*>(malloc(folderSize))) {
    memcpy(folder, expanded, folderSize);
    free(header.shortcutFolder);
    header.shortcutFolder = folder;
  }
  bool ok = true;
  int row = 0;
  for (Component* c = header.firstComponent; c && ok; c = c->next, ++row) {
    if (fullInstallation || rowSelected(row)) ok = installComponent(reader, c, failure);
  }
  freeArchive(reader);
  if (installLog) {
    if (fclose(installLog) != 0 && ok) ok = fail(failure, faultCannotWrite, logPath);
    installLog = nullptr;
  }
  return ok ? installDone : installFailed;
}
