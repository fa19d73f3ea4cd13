// One file of an installation run as planned before anything is written. The run lists the
// chosen components' files in the order of writing, once; the writing and the decoding ahead
// both work from that list, the decoding addressed by a file's index in it.
#pragma once
#include <stdint.h>

struct PlannedFile {
  const char* name;   // as the header gives it: the archive entry, and what a damaged one is called
  char* outputPath;   // the destination and the expanded name, cut at 260 characters
  int32_t size;       // from the archive's directory; 0 when the entry is not there
  int32_t component;  // the component's row
  bool inArchive;     // else the file is created empty
  bool nameInside;    // else the expanded name leaves the destination, and the run fails there
  bool pathFits;      // else outputPath was cut, and the run fails when it gets to the file
  bool inFolder;      // the expanded name has a folder part, whose folders the run creates
};
