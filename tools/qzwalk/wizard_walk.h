// Walks a running setup.exe's wizard from the confirmation to its last page with the answers an
// author gives, printing each page passed and each message box on the way.
#pragma once
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "wizard_driver.h"

namespace walk {

enum Method { methodAsProposed = -1, methodFull, methodNormal, methodCustom };

struct Answers {
  Method method = methodAsProposed;
  bool chooseComponents = false;       // select exactly the rows below on the component page
  std::vector<int> components;         // rows of the component list, from 0
  std::map<int, std::wstring> fields;  // field position (header order, from 0) to its text
  bool chooseDestination = false;
  std::wstring destination;
  std::filesystem::path shots;  // a screenshot of each page and box goes here when not empty
};

struct Outcome {
  bool runStarted = false;   // Next was pressed on the page before the last
  bool noticeShown = false;  // "Installation finished"
  DWORD exitCode = STILL_ACTIVE;
  std::string destination;  // the destination box's text as the run took it
  std::string failure;      // why the walk stopped short; empty when it did not
};

// The whole walk; setup has just been started.
Outcome walkWizard(driver::Installer& setup, const Answers& answers, std::FILE* out);

// ANSI text of a window or the install log, as UTF-8 for the report or wide for the system.
std::string utf8FromAnsi(const std::string& text);
std::wstring wideFromAnsi(const std::string& text);
std::string utf8(const std::wstring& text);

}  // namespace walk
