#include "shortcut.h"

#include <shlobj.h>
#include <windows.h>

long createShortcut(const char* linkPath, const char* target, const char* workingDirectory,
                    const char* arguments) {
  IShellLinkA* link = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return result;
  // The results of the setters are not examined: Save reports whether the link was written.
  link->SetPath(target);
  link->SetDescription(target);
  link->SetWorkingDirectory(workingDirectory);
  link->SetArguments(arguments);
  IPersistFile* file = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(result)) {
    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH))
      result = file->Save(widePath, TRUE);
    else
      result = HRESULT_FROM_WIN32(GetLastError());  // a path too long for the buffer
    file->Release();
  }
  link->Release();
  return result;
}
