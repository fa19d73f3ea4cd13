// The system's folders and registry as the macro expansion sees them. The Windows build reads
// the real ones (system_lookup_win32.cpp); unit tests link their own.
#pragma once

enum RegistryRoot { registryLocalMachine, registryCurrentUser };

enum { registryBufferSize = 261, folderBufferSize = 261 };

// The value's data as stored (a pointer into the registry reader's buffer), or defaultText when
// the key cannot be opened or the value cannot be read (also when it does not fit 261 bytes).
const char* readRegistryString(RegistryRoot root, const char* subkey, const char* valueName,
                               const char* defaultText);
// The system and Windows directories; an empty string when the system gives none.
void systemDirectory(char* buffer);
void windowsDirectory(char* buffer);
