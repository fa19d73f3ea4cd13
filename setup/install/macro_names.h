// The names of the built-in path macros, and how a name between two '%' is compared with them
// and with the custom fields' variable names. Portable: the packager checks manifests by them.
#pragma once

enum { builtInMacroCount = 13 };

// In the order in which they are compared; the first that matches wins over any custom field.
extern const char* const builtInMacroNames[builtInMacroCount];

// Whether two macro names are the same: ASCII letters match in either case, other bytes exactly.
bool sameMacroName(const char* a, const char* b);

// The position of a built-in macro's name in builtInMacroNames, or -1 for any other name.
int builtInMacroIndex(const char* name);
