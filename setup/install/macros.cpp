#include "macros.h"

#include <string.h>

#include "install/system_lookup.h"
#include "package/header.h"
#include "package/services.h"

char macroName[macroNameSize];
char macroValue[macroValueSize];

namespace {

const char currentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char shellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

enum Source { fromDestination, fromSystemDir, fromWindowsDir, fromRegistry };
enum Fallback { noFallback, commonUnderProgramFiles, appDataUnderWindows, documentsOnWindowsDrive };

struct BuiltIn {
  const char* name;
  Source source;
  RegistryRoot root;
  const char* key;
  const char* value;
  const char* defaultText;
  Fallback fallback;
};

const char programFilesDefault[] = "C:\\Program Files";

// Compared in this order; the first name that matches wins over any custom field.
const BuiltIn builtIns[] = {
    {"PROGRAMDIR", fromDestination, registryLocalMachine, nullptr, nullptr, nullptr, noFallback},
    {"SYSTEMDIR", fromSystemDir, registryLocalMachine, nullptr, nullptr, nullptr, noFallback},
    {"WINDOWSDIR", fromWindowsDir, registryLocalMachine, nullptr, nullptr, nullptr, noFallback},
    {"PROGRAMFILES", fromRegistry, registryLocalMachine, currentVersion, "ProgramFilesDir",
     programFilesDefault, noFallback},
    {"PROGRAMFILESCOMMON", fromRegistry, registryLocalMachine, currentVersion, "CommonFilesDir", "",
     commonUnderProgramFiles},
    {"COMMONDESKTOP", fromRegistry, registryLocalMachine, shellFolders, "Common Desktop", "",
     noFallback},
    {"APPDATA", fromRegistry, registryCurrentUser, shellFolders, "AppData", "",
     appDataUnderWindows},
    {"DESKTOP", fromRegistry, registryCurrentUser, shellFolders, "Desktop", "", noFallback},
    {"FONTS", fromRegistry, registryCurrentUser, shellFolders, "Fonts", "", noFallback},
    {"MYDOCUMENTS", fromRegistry, registryCurrentUser, shellFolders, "Personal", "",
     documentsOnWindowsDrive},
    {"PROGRAMS", fromRegistry, registryCurrentUser, shellFolders, "Programs", "", noFallback},
    {"STARTUP", fromRegistry, registryCurrentUser, shellFolders, "Startup", "", noFallback},
    {"STARTMENU", fromRegistry, registryCurrentUser, shellFolders, "Start Menu", "", noFallback},
};

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool sameName(const char* a, const char* b) {
  while (*a && lowerAscii(*a) == lowerAscii(*b)) ++a, ++b;
  return lowerAscii(*a) == lowerAscii(*b);
}

// Appends text to macroValue, cutting what does not fit.
void appendValue(const char* text) {
  size_t length = strlen(macroValue);
  while (*text && length < macroValueSize - 1) macroValue[length++] = *text++;
  macroValue[length] = 0;
}

void applyFallback(Fallback fallback) {
  if (fallback == commonUnderProgramFiles) {
    appendValue(readRegistryString(registryLocalMachine, currentVersion, "ProgramFilesDir",
                                   programFilesDefault));
    appendValue("\\Common");
    return;
  }
  char windows[folderBufferSize];
  windowsDirectory(windows);
  if (fallback == appDataUnderWindows) {
    appendValue(windows);
    appendValue("\\Application Data");
  } else if (fallback == documentsOnWindowsDrive) {
    char drive[2] = {windows[0], 0};
    appendValue(drive);
    appendValue(":\\My Documents");
  }
}

void lookUpBuiltIn(const BuiltIn& macro) {
  char folder[folderBufferSize];
  switch (macro.source) {
    case fromDestination: {
      appendValue(destinationText());
      size_t length = strlen(macroValue);
      if (length && macroValue[length - 1] == '\\') macroValue[length - 1] = 0;
      return;
    }
    case fromSystemDir:
      systemDirectory(folder);
      appendValue(folder);
      return;
    case fromWindowsDir:
      windowsDirectory(folder);
      appendValue(folder);
      return;
    case fromRegistry:
      appendValue(readRegistryString(macro.root, macro.key, macro.value, macro.defaultText));
      if (!macroValue[0]) applyFallback(macro.fallback);
      return;
  }
}

// Fills macroValue for the name in macroName; nothing that matches leaves it empty.
void lookUpMacro() {
  macroValue[0] = 0;
  for (const BuiltIn& macro : builtIns) {
    if (sameName(macroName, macro.name)) {
      lookUpBuiltIn(macro);
      return;
    }
  }
  int index = 0;
  for (const CustomField* field = header.firstField; field; field = field->next, ++index) {
    if (sameName(macroName, field->variableName)) {
      appendValue(fieldText(index));
      return;
    }
  }
}

}  // namespace

const char* expandMacros(const char* text) {
  size_t out = 0;
  const size_t limit = textBufferSize - 1;
  while (*text) {
    if (*text != '%') {
      if (out < limit) textBuffer[out++] = *text;
      ++text;
      continue;
    }
    size_t nameLength = 0;
    for (++text; *text && *text != '%'; ++text) {
      if (nameLength < macroNameSize - 1) macroName[nameLength++] = *text;
    }
    if (!*text) break;  // no closing '%': the rest is dropped
    ++text;
    macroName[nameLength] = 0;
    lookUpMacro();
    for (const char* v = macroValue; *v && out < limit; ++v) textBuffer[out++] = *v;
  }
  textBuffer[out] = 0;
  return textBuffer;
}

const char* builtInMacroValue(int index) {
  if (index < 0 || index >= static_cast<int>(sizeof builtIns / sizeof builtIns[0])) return nullptr;
  macroValue[0] = 0;
  lookUpBuiltIn(builtIns[index]);
  return macroValue;
}
