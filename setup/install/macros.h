// Path macros: %NAME% in a setup text replaced by a folder of the running system, the
// destination the user chose, or the value of a custom field.
#pragma once

#include "install/built_in_folders.h"

enum { macroNameSize = 256, macroValueSize = builtInFolderSize };

extern char macroName[macroNameSize];    // the name between two '%' (longer names are cut)
extern char macroValue[macroValueSize];  // one macro's value (longer values are cut)

// Returns textBuffer holding text with every macro replaced. text must not lie in textBuffer.
// An unterminated macro is dropped with the rest of the text; an expansion longer than the
// buffer is cut at 16383 characters.
const char* expandMacros(const char* text);
