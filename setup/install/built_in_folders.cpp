#include "built_in_folders.h"

#include <string.h>

#include "install/macro_names.h"
#include "install/system_lookup.h"

namespace {

const char currentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char shellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

enum Source { fromDestination, fromSystemDir, fromWindowsDir, fromRegistry };
enum Fallback { noFallback, commonUnderProgramFiles, appDataUnderWindows, documentsOnWindowsDrive };

struct BuiltIn {
  Source source;
  RegistryRoot root;
  const char* key;
  const char* value;
  const char* defaultText;
  Fallback fallback;
};

const char programFilesDefault[] = "C:\\Program Files";

// Appends text to out, cutting what does not fit.
void appendValue(char* out, const char* text) {
  size_t length = strlen(out);
  while (*text && length < builtInFolderSize - 1) out[length++] = *text++;
  out[length] = 0;
}

// Row i tells where the folder of the macro builtInMacroNames[i] comes from.
const BuiltIn builtIns[builtInMacroCount] = {
    /* PROGRAMDIR */ {fromDestination, registryLocalMachine, nullptr, nullptr, nullptr, noFallback},
    /* SYSTEMDIR */ {fromSystemDir, registryLocalMachine, nullptr, nullptr, nullptr, noFallback},
    /* WINDOWSDIR */ {fromWindowsDir, registryLocalMachine, nullptr, nullptr, nullptr, noFallback},
    /* PROGRAMFILES */
    {fromRegistry, registryLocalMachine, currentVersion, "ProgramFilesDir", programFilesDefault,
     noFallback},
    /* PROGRAMFILESCOMMON */
    {fromRegistry, registryLocalMachine, currentVersion, "CommonFilesDir", "",
     commonUnderProgramFiles},
    /* COMMONDESKTOP */
    {fromRegistry, registryLocalMachine, shellFolders, "Common Desktop", "", noFallback},
    /* APPDATA */
    {fromRegistry, registryCurrentUser, shellFolders, "AppData", "", appDataUnderWindows},
    /* DESKTOP */ {fromRegistry, registryCurrentUser, shellFolders, "Desktop", "", noFallback},
    /* FONTS */ {fromRegistry, registryCurrentUser, shellFolders, "Fonts", "", noFallback},
    /* MYDOCUMENTS */
    {fromRegistry, registryCurrentUser, shellFolders, "Personal", "", documentsOnWindowsDrive},
    /* PROGRAMS */ {fromRegistry, registryCurrentUser, shellFolders, "Programs", "", noFallback},
    /* STARTUP */ {fromRegistry, registryCurrentUser, shellFolders, "Startup", "", noFallback},
    /* STARTMENU */ {fromRegistry, registryCurrentUser, shellFolders, "Start Menu", "", noFallback},
};

void applyFallback(Fallback fallback, char* out) {
  if (fallback == commonUnderProgramFiles) {
    appendValue(out, readRegistryString(registryLocalMachine, currentVersion, "ProgramFilesDir",
                                        programFilesDefault));
    appendValue(out, "\\Common");
    return;
  }
  char windows[folderBufferSize];
  windowsDirectory(windows);
  if (fallback == appDataUnderWindows) {
    appendValue(out, windows);
    appendValue(out, "\\Application Data");
  } else if (fallback == documentsOnWindowsDrive) {
    char drive[2] = {windows[0], 0};
    appendValue(out, drive);
    appendValue(out, ":\\My Documents");
  }
}

}  // namespace

const char* builtInFolderName(int index) {
  return index >= 0 && index < builtInMacroCount ? builtInMacroNames[index] : nullptr;
}

void builtInFolder(int index, const char* destination, char* out) {
  out[0] = 0;
  if (index < 0 || index >= builtInMacroCount) return;
  const BuiltIn& macro = builtIns[index];
  char folder[folderBufferSize];
  switch (macro.source) {
    case fromDestination: {
      appendValue(out, destination);
      size_t length = strlen(out);
      if (length && out[length - 1] == '\\') out[length - 1] = 0;
      return;
    }
    case fromSystemDir:
      systemDirectory(folder);
      appendValue(out, folder);
      return;
    case fromWindowsDir:
      windowsDirectory(folder);
      appendValue(out, folder);
      return;
    case fromRegistry:
      appendValue(out, readRegistryString(macro.root, macro.key, macro.value, macro.defaultText));
      if (!out[0]) applyFallback(macro.fallback, out);
      return;
  }
}
