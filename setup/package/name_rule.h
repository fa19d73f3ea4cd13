// Which file names may be joined below the destination folder: the one rule that the stub
// applies to every expanded name and to the fixed names of a header, and that qzpack applies
// when it verifies a package. Byte for byte: any byte from 0x80 up is a name character in
// whatever code page the name is read.
#pragma once
#include <stddef.h>

// Whether the destination, a backslash and name make a path to a file inside the destination on
// Windows: not empty, no root or drive ("\x", "C:x"), no stream (':'), no character Windows
// refuses (* ? " < > | and control characters), no ".." that climbs above the destination, no
// name that ends in a dot or a space (Windows drops those, and ".. " would climb) and no device
// name; the last name is a file's, not "." or "..". '/' separates like '\', and doubled
// separators count as one.
bool nameStaysInside(const char* name);

// Whether the length characters at name open a device instead of a file: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM1-COM9 and LPT1-LPT9 (also with the superscript digits 1, 2 and 3, in
// Windows-1252 or UTF-8), in any letter case, with any extension and with spaces before it.
bool isDeviceName(const char* name, size_t length);
