// The six points at which the package reader and the installation engine reach the wizard.
// The wizard defines these functions; unit tests link doubles of their own in their place.
#pragma once
#include <stdint.h>

// Appends one row to the component list; row i stands for the i-th component read.
void addComponentRow(const char* name, int selected);
// Current text of the destination box (at most 260 characters).
const char* destinationText();
// Current text of the field box of the index-th custom field (at most 260 characters).
const char* fieldText(int index);
// Whether row index of the component list is selected.
bool rowSelected(int index);
// Shows done / total of the work on the progress bar at once; a total of 0 shows nothing.
void drawProgress(int32_t done, int32_t total);
// Drops the keys and clicks queued for the wizard while the run goes on: they were not meant for
// what the run leaves on screen. The run calls it after each chunk written and each shortcut; it
// looks at the queue at most every 200 ms.
void dropQueuedInput();
