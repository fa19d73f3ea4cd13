// Path macros: %NAME% in a setup text replaced by a folder of the running system, the
// destination the user chose, or the value of a custom field.
#pragma once

enum { macroNameSize = 256, macroValueSize = 261 };

extern char macroName[macroNameSize];    // the name between two '%' (longer names are cut)
extern char macroValue[macroValueSize];  // one macro's value (longer values are cut)

// Returns textBuffer holding text with every macro replaced. text must not lie in textBuffer.
// An unterminated macro is dropped with the rest of the text; an expansion longer than the
// buffer is cut at 16383 characters.
const char* expandMacros(const char* text);

// Returns macroValue holding the index-th built-in macro's value, as %NAME% expands to it; null
// past the last.
const char* builtInMacroValue(int index);
