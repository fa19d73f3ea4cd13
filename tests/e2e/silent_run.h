// uninstall.exe run silently (/S) by the end-to-end tests, its report on standard error caught.
#pragma once
#include <windows.h>

#include <filesystem>
#include <string>

struct Outcome {
  DWORD code;          // STILL_ACTIVE when it did not start or end within the time
  std::string errors;  // what it wrote to standard error
};

// Runs program /S from its folder, reading its standard error until it closes.
Outcome runSilently(const std::filesystem::path& program, DWORD timeoutMs = 60000);
