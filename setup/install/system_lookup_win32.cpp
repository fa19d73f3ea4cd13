#include <windows.h>

#include "system_lookup.h"

namespace {
// One byte beyond the 261 the query may fill, so that data stored without a NUL still ends.
char registryBuffer[registryBufferSize + 1];
}  // namespace

const char* readRegistryString(RegistryRoot root, const char* subkey, const char* valueName,
                               const char* defaultText) {
  HKEY key;
  HKEY rootKey = root == registryLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (RegOpenKeyExA(rootKey, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return defaultText;
  DWORD size = registryBufferSize;
  LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(registryBuffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return defaultText;
  registryBuffer[size < DWORD{registryBufferSize} ? size : DWORD{registryBufferSize}] = 0;
  return registryBuffer;
}

void systemDirectory(char* buffer) {
  UINT length = GetSystemDirectoryA(buffer, folderBufferSize);
  if (length == 0 || length >= folderBufferSize) buffer[0] = 0;
}

void windowsDirectory(char* buffer) {
  UINT length = GetWindowsDirectoryA(buffer, folderBufferSize);
  if (length == 0 || length >= folderBufferSize) buffer[0] = 0;
}
