// Whether a program runs in the code page its package was made for. A UTF-8 package's setup.exe
// and uninstall.exe ask in their application manifest for the UTF-8 process code page; Windows
// before 10 version 1903 ignores the request, and the programs' ANSI calls would then take the
// package's UTF-8 texts and names for the system's code page: garbled texts, garbled file names.
#pragma once
#include <stddef.h>

// Whether an application manifest's XML (UTF-8) asks for the UTF-8 process code page: it has an
// activeCodePage element whose text is "UTF-8", in any letter case.
bool manifestAsksForUtf8(const char* xml, size_t size);

// Windows only: whether the running program's own manifest asks for UTF-8 while its process code
// page is another, so that it must stop before it shows or touches anything.
bool codePageRefused();

// What the programs say then, in English: it is the one text that reads the same in every code
// page.
#define CODE_PAGE_REFUSAL                                                              \
  "This program needs the UTF-8 code page of Windows 10 version 1903 or later. Here its " \
  "texts and file names would be garbled."
