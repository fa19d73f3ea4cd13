#include "install_run.h"

#include <stdlib.h>
#include <string.h>

#include "install/decode_ahead.h"
#include "install/directories.h"
#include "install/macros.h"
#include "install/shortcut.h"
#include "package/archive.h"
#include "package/header.h"
#include "package/services.h"

const char* carrierPath;
int64_t progressDone;
int64_t progressTotal;

namespace {

enum { pathSize = maxPathLength + 1 };

char logPath[pathSize];
// This run's expansion of the shortcut folder. The header keeps the text as read: a retry after a
// part-way failure may bring a new destination or new field values.
char shortcutFolder[pathSize];

// Text a followed by text b in path (a 261-byte buffer), cut at 260 characters.
void cutPath(char* path, const char* a, const char* b) {
  size_t length = 0;
  for (; *a && length < pathSize - 1; ++a) path[length++] = *a;
  for (; *b && length < pathSize - 1; ++b) path[length++] = *b;
  path[length] = 0;
}

bool fail(InstallFailure* failure, InstallFault fault, const char* path) {
  failure->fault = fault;
  cutPath(failure->path, path, "");
  return false;
}

// Appends text to path (a 261-byte buffer); false when the result would pass 260 characters.
bool appendPath(char* path, const char* text) {
  size_t length = strlen(path), extra = strlen(text);
  if (length + extra >= pathSize) return false;
  memcpy(path + length, text, extra + 1);
  return true;
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

// Writes the run's next file to outputPath; a failed copy leaves no partial file behind.
bool extractFile(const char* name, const char* outputPath, InstallFailure* failure) {
  if (!nextFile()) return fail(failure, faultDamagedArchive, name);
  FILE* output = fopen(outputPath, "wb");
  if (!output) return fail(failure, faultCannotWrite, outputPath);
  InstallFault fault = faultNone;
  const unsigned char* bytes;
  while (int32_t count = nextChunk(&bytes)) {
    progressDone += count;
    reportProgress();
    if (fwrite(bytes, 1, static_cast<size_t>(count), output) != static_cast<size_t>(count)) {
      fault = faultCannotWrite;
      break;
    }
    progressDone += count;
    reportProgress();
  }
  if (fault == faultNone && fileFailed()) fault = faultDamagedArchive;
  if (fclose(output) != 0 && fault == faultNone) fault = faultCannotWrite;
  if (fault != faultNone) {
    remove(outputPath);
    return fail(failure, fault, fault == faultDamagedArchive ? name : outputPath);
  }
  return true;
}

bool installShortcut(const ShortcutDefinition* shortcut, InstallFailure* failure) {
  char linkPath[pathSize] = "";
  const char* folder = shortcutFolder;
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

bool installComponent(Component* component, InstallFailure* failure) {
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
    // A folder part may come from a field's value as well as from the name itself.
    if (hasFolderPart(name)) makeDirectories(outputPath);
    if (!extractFile(file->name, outputPath, failure)) return false;
    if (!logRecord(logFileRecord, outputPath, failure)) return false;
  }
  for (const ShortcutDefinition* s = component->shortcuts; s; s = s->next)
    if (!installShortcut(s, failure)) return false;
  return true;
}

// Works out the progress total over every component, asks which rows are chosen (once each, in
// order) and hands the chosen components' files to the decoding in the order of writing. False
// when there is no memory for it.
bool planRun(ArchiveReader* reader, int fullInstallation, bool** chosen) {
  int32_t components = 0, files = 0;
  for (const Component* c = header.firstComponent; c; c = c->next) ++components;
  if (!(*chosen = static_cast<bool*>(malloc(static_cast<size_t>(components) + 1)))) return false;
  int row = 0;
  for (const Component* c = header.firstComponent; c; c = c->next, ++row) {
    (*chosen)[row] = fullInstallation || rowSelected(row);
    for (const ComponentFile* file = c->files; file; file = file->next) {
      uint32_t offset;
      int32_t size;
      if (findEntry(reader, file->name, &offset, &size)) progressTotal += 2 * int64_t{size};
      files += (*chosen)[row];
    }
    progressTotal += c->shortcutCount;
  }
  const char** names =
      static_cast<const char**>(malloc((static_cast<size_t>(files) + 1) * sizeof(const char*)));
  if (!names) return false;
  files = row = 0;
  for (const Component* c = header.firstComponent; c; c = c->next, ++row)
    for (const ComponentFile* file = c->files; file && (*chosen)[row]; file = file->next)
      names[files++] = file->name;
  bool planned = beginDecoding(reader, names, files);
  free(names);
  return planned;
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
  bool* chosen = nullptr;
  // Out of memory already: as for a directory too big to hold.
  bool ok =
      planRun(reader, fullInstallation, &chosen) || fail(failure, faultDamagedArchive, carrierPath);
  // Cut at 260 characters: a folder that long cannot hold a link, and the first shortcut fails
  // on it all the same, naming the cut path.
  cutPath(shortcutFolder, expandMacros(header.shortcutFolder ? header.shortcutFolder : ""), "");
  int row = 0;
  for (Component* c = header.firstComponent; c && ok; c = c->next, ++row)
    if (chosen[row]) ok = installComponent(c, failure);
  endDecoding();  // before the archive goes: the second thread may still read it
  free(chosen);
  freeArchive(reader);
  if (installLog) {
    if (fclose(installLog) != 0 && ok) ok = fail(failure, faultCannotWrite, logPath);
    installLog = nullptr;
  }
  return ok ? installDone : installFailed;
}
