// modrender --check: what tarnmix will make of a file, for the developer about to ship it.
#pragma once
#include <stdio.h>

// Prints the report to `out`. Returns 0 for a 4-channel, 31-sample module (whatever it uses that
// tarnmix ignores), 1 for a file that is not one or cannot be read.
int checkModule(const char* path, FILE* out);
