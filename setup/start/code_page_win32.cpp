#include <windows.h>

#include "start/code_page.h"

bool codePageRefused() {
  // The manifest Windows read at the start: resource 1 of type RT_MANIFEST.
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const char* xml = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  return xml && manifestAsksForUtf8(xml, SizeofResource(nullptr, found)) && GetACP() != CP_UTF8;
}
