// The folders the built-in path macros name (%PROGRAMDIR%, %SYSTEMDIR%, %DESKTOP%, ...), looked
// up in the running system. Portable: the lookups come from system_lookup.h. The installer's
// macro expansion and the uninstaller's judge of where shortcuts may lie both use it.
#pragma once

enum { builtInFolderSize = 261 };  // room for a folder with its NUL (longer ones are cut)

// The index-th built-in macro's name without its '%' signs, in capitals; null past the last.
// Names are compared in this order, and a built-in name wins over any custom field.
const char* builtInFolderName(int index);

// Writes to out (builtInFolderSize bytes) the folder the index-th built-in macro names, as
// %NAME% expands to it: destination, without a trailing '\', stands for the program folder.
// An index past the last writes an empty text.
void builtInFolder(int index, const char* destination, char* out);
