// The installation run: extracts the chosen components' files, creates their shortcuts and
// records both in the install log, reporting progress through drawProgress.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include "install/install_log.h"
#include "package/header.h"
#include "package/package_file.h"

enum InstallOutcome {
  installDone,       // every chosen component is installed
  installNoCarrier,  // the carrier file is not open, or no memory: nothing was done
  installFailed,     // stopped part-way; InstallFailure says what failed
};

enum InstallFault {
  faultNone,
  faultDamagedArchive,  // the archive or an entry's stored data is cut short or corrupt
  faultCannotWrite,     // a file, folder or the log could not be created or written
};

struct InstallFailure {
  InstallFault fault;
  // The entry name or the path that failed, cut at 260 characters; empty for the directory.
  char path[maxPathLength + 1];
};

// The carrier file (the running executable), opened once by the wizard at start-up and read
// through this one handle until the process ends.
extern PackageFile carrier;
// Units of work: two per file byte (read, then written) and one per shortcut. Kept in 64 bits;
// drawProgress receives them scaled alike so that both fit its 32-bit arguments.
extern int64_t progressDone;
extern int64_t progressTotal;

InstallOutcome runInstallation(int fullInstallation, InstallFailure* failure);

// The pair handed to drawProgress for 64-bit counters: both halved alike until the total fits.
void scaleProgress(int64_t done, int64_t total, int32_t* scaledDone, int32_t* scaledTotal);
