// The package's numbers: 32-bit little-endian, read from the carrier file.
#pragma once
#include <stdint.h>
#include <stdio.h>

// Reads four bytes at the file's position; false when the file ends first.
bool readU32(FILE* file, uint32_t* value);
