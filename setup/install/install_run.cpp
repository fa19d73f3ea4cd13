#include "install_run.h"

#include <stdlib.h>
#include <string.h>

#include "install/decode_ahead.h"
#include "install/directories.h"
#include "install/macros.h"
#include "install/run_plan.h"
#include "install/shortcut.h"
#include "package/archive.h"
#include "package/header.h"
#include "package/name_rule.h"
#include "package/services.h"

PackageFile carrier = {-1};
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

// As cutPath; false when the text had to be cut. path may be a.
bool joinPath(char* path, const char* a, const char* b) {
  bool fits = strlen(a) + strlen(b) < pathSize;
  cutPath(path, a, b);
  return fits;
}

bool fail(InstallFailure* failure, InstallFault fault, const char* path) {
  failure->fault = fault;
  cutPath(failure->path, path, "");
  return false;
}

// The run's plan: the chosen components' files in the order of writing. The output paths are
// expanded once, before anything is written; a path too long fails the run only when it gets
// there, as would a file that cannot be created.
struct RunPlan {
  bool* chosen;  // by component row
  PlannedFile* files;
  int32_t fileCount;
  char destination[pathSize];  // the chosen folder and a backslash, cut at 260 characters
  bool destinationFits;
};

// Works out the progress total over every component, asks which rows are chosen (once each, in
// order) and lists the chosen components' files. False when there is no memory for it.
bool planRun(ArchiveReader* reader, int fullInstallation, RunPlan* plan) {
  int32_t components = 0, files = 0;
  for (const Component* c = header.firstComponent; c; c = c->next, ++components)
    for (const ComponentFile* file = c->files; file; file = file->next) ++files;
  plan->chosen = static_cast<bool*>(malloc(static_cast<size_t>(components) + 1));
  plan->files =
      static_cast<PlannedFile*>(calloc(static_cast<size_t>(files) + 1, sizeof(PlannedFile)));
  if (!plan->chosen || !plan->files) return false;
  plan->destinationFits = joinPath(plan->destination, destinationText(), "\\");
  int row = 0;
  for (const Component* c = header.firstComponent; c; c = c->next, ++row) {
    plan->chosen[row] = fullInstallation || rowSelected(row);
    for (const ComponentFile* file = c->files; file; file = file->next) {
      PlannedFile planned = {file->name, nullptr, 0, row, false, false, false, false};
      uint32_t offset;
      planned.inArchive = findEntry(reader, file->name, &offset, &planned.size);
      progressTotal += 2 * int64_t{planned.size};
      if (!plan->chosen[row]) continue;
      char path[pathSize];
      const char* name = expandMacros(file->name);
      planned.nameInside = nameStaysInside(name);
      planned.pathFits = joinPath(path, plan->destination, name);
      // A folder part may come from a field's value as well as from the name itself.
      planned.inFolder = hasFolderPart(name);
      if (!(planned.outputPath = copyString(path))) return false;
      plan->files[plan->fileCount++] = planned;
    }
    progressTotal += c->shortcutCount;
  }
  return true;
}

void freePlan(RunPlan* plan) {
  for (int32_t i = 0; i < plan->fileCount; ++i) free(plan->files[i].outputPath);
  free(plan->files);
  free(plan->chosen);
}

void reportProgress() {
  int32_t done, total;
  scaleProgress(progressDone, progressTotal, &done, &total);
  drawProgress(done, total);
}

// A junction or link planted below an existing destination would lead a write elsewhere (the
// destination itself may be one). False, and the failure set, when path passes through one.
bool inPlace(const char* path, const RunPlan& plan, InstallFailure* failure) {
  return !passesLink(path, strlen(plan.destination)) || fail(failure, faultCannotWrite, path);
}

bool logRecord(unsigned char type, const char* path, InstallFailure* failure) {
  if (!writeLogType(type) || !writeLogString(installLog, path))
    return fail(failure, faultCannotWrite, logPath);
  return true;
}

// Writes file, the plan's entry index; a failed copy leaves no partial file behind.
bool extractFile(int32_t index, const PlannedFile& file, InstallFailure* failure) {
  if (!openFile(index)) return fail(failure, faultDamagedArchive, file.name);
  FILE* output = fopen(file.outputPath, "wb");
  if (!output) return fail(failure, faultCannotWrite, file.outputPath);
  InstallFault fault = faultNone;
  const unsigned char* bytes;
  while (int32_t count = nextChunk(index, &bytes)) {
    progressDone += count;
    reportProgress();
    if (fwrite(bytes, 1, static_cast<size_t>(count), output) != static_cast<size_t>(count)) {
      fault = faultCannotWrite;
      break;
    }
    progressDone += count;
    reportProgress();
    dropQueuedInput();
  }
  if (fault == faultNone && fileFailed(index)) fault = faultDamagedArchive;
  if (fclose(output) != 0 && fault == faultNone) fault = faultCannotWrite;
  if (fault != faultNone) {
    remove(file.outputPath);
    return fail(failure, fault, fault == faultDamagedArchive ? file.name : file.outputPath);
  }
  return true;
}

bool installShortcut(const ShortcutDefinition* shortcut, InstallFailure* failure) {
  char linkPath[pathSize];
  const char* folder = shortcutFolder;
  const char* linkName = expandMacros(shortcut->linkName);
  if (!joinPath(linkPath, folder, folder[0] ? "\\" : "") ||
      !joinPath(linkPath, linkPath, linkName) || !joinPath(linkPath, linkPath, ".lnk")) {
    cutPath(linkPath, folder, linkName);
    return fail(failure, faultCannotWrite, linkPath);
  }
  makeDirectories(linkPath);
  char* target = copyString(expandMacros(shortcut->target));
  char* directory = copyString(expandMacros(shortcut->workingDirectory));
  if (target && directory) createShortcut(linkPath, target, directory, shortcut->arguments);
  free(target);
  free(directory);
  if (!logRecord(logShortcutRecord, linkPath, failure)) return false;
  progressDone += 1;
  reportProgress();
  dropQueuedInput();
  return true;
}

// Installs the component of the given row: its files, the plan's from *next on, then its
// shortcuts. The first component installed opens the log.
bool installComponent(const Component* component, int row, const RunPlan& plan, int32_t* next,
                      InstallFailure* failure) {
  if (!plan.destinationFits) return fail(failure, faultCannotWrite, plan.destination);
  makeDirectories(plan.destination);
  if (!installLog) {
    if (!joinPath(logPath, plan.destination, logName))
      return fail(failure, faultCannotWrite, logPath);
    if (!inPlace(logPath, plan, failure)) return false;
    if (!(installLog = fopen(logPath, "wb"))) return fail(failure, faultCannotWrite, logPath);
  }
  for (; *next < plan.fileCount && plan.files[*next].component == row; ++*next) {
    const PlannedFile& file = plan.files[*next];
    // A name led outside by a patched header or a field's value: as damaged as a bad entry.
    if (!file.nameInside) return fail(failure, faultDamagedArchive, file.name);
    if (!file.pathFits) return fail(failure, faultCannotWrite, file.outputPath);
    // Before the folders are made, and again before the file is opened.
    if (!inPlace(file.outputPath, plan, failure)) return false;
    if (file.inFolder) {
      makeDirectories(file.outputPath);
      if (!inPlace(file.outputPath, plan, failure)) return false;
    }
    if (!extractFile(*next, file, failure)) return false;
    if (!logRecord(logFileRecord, file.outputPath, failure)) return false;
  }
  for (const ShortcutDefinition* s = component->shortcuts; s; s = s->next)
    if (!installShortcut(s, failure)) return false;
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

InstallOutcome runInstallation(int fullInstallation, InstallFailure* failure) {
  failure->fault = faultNone;
  failure->path[0] = 0;
  ArchiveReader* reader = openArchiveIn(carrier, header.archiveOffset);
  if (!reader) return installNoCarrier;
  if (reader->status != archiveOk) {
    // A download cut short or damaged: refuse before anything is written.
    fail(failure, faultDamagedArchive, "");
    freeArchive(reader);
    return installFailed;
  }
  // A run after a part-way failure starts its bar again.
  progressDone = 0;
  progressTotal = 0;
  RunPlan plan = {};
  // Out of memory already: as for a directory too big to hold.
  bool ok = (planRun(reader, fullInstallation, &plan) &&
             beginDecoding(reader, plan.files, plan.fileCount)) ||
            fail(failure, faultDamagedArchive, "");
  // Cut at 260 characters: a folder that long cannot hold a link, and the first shortcut fails
  // on it all the same, naming the cut path.
  cutPath(shortcutFolder, expandMacros(header.shortcutFolder ? header.shortcutFolder : ""), "");
  int row = 0;
  int32_t next = 0;
  for (const Component* c = header.firstComponent; c && ok; c = c->next, ++row)
    if (plan.chosen[row]) ok = installComponent(c, row, plan, &next, failure);
  endDecoding();  // before the archive goes: the second thread may still read it
  freePlan(&plan);
  freeArchive(reader);
  if (installLog) {
    if (fclose(installLog) != 0 && ok) ok = fail(failure, faultCannotWrite, logPath);
    installLog = nullptr;
  }
  return ok ? installDone : installFailed;
}
