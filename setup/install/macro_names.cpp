#include "macro_names.h"

const char* const builtInMacroNames[builtInMacroCount] = {
    "PROGRAMDIR",    "SYSTEMDIR", "WINDOWSDIR", "PROGRAMFILES", "PROGRAMFILESCOMMON",
    "COMMONDESKTOP", "APPDATA",   "DESKTOP",    "FONTS",        "MYDOCUMENTS",
    "PROGRAMS",      "STARTUP",   "STARTMENU",
};

namespace {

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

bool sameMacroName(const char* a, const char* b) {
  while (*a && lowerAscii(*a) == lowerAscii(*b)) ++a, ++b;
  return lowerAscii(*a) == lowerAscii(*b);
}

int builtInMacroIndex(const char* name) {
  for (int i = 0; i < builtInMacroCount; ++i)
    if (sameMacroName(name, builtInMacroNames[i])) return i;
  return -1;
}
