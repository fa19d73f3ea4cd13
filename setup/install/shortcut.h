// Shell links (.lnk files).
#pragma once

// Saves a link at linkPath to target, with target also as its description. Returns the COM
// status of the last step taken; COM must be initialised on the thread.
long createShortcut(const char* linkPath, const char* target, const char* workingDirectory,
                    const char* arguments);
