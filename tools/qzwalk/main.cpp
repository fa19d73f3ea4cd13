// qzwalk: walks a package's wizard from start to end without a user, with the answers given on
// its command line, and reports what a user would get: the pages passed, every message box, the
// files and shortcuts installed and the install log. qzpack try runs it under Wine on a virtual
// screen; on Windows it walks the real wizard on the desktop it runs on.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "installed_report.h"
#include "wizard_walk.h"

namespace {

const char usage[] =
    "usage: qzwalk PACKAGE.exe [--method full|normal|custom] [--component ROW]...\n"
    "              [--field POSITION=TEXT]... [--destination PATH] [--shots DIR]\n"
    "ROW and POSITION count from 0 in the order of the package's header.\n";

// A count from 0; -1 when the text is not one.
int count(const std::wstring& text) {
  if (text.empty() || text.size() > 4 ||
      text.find_first_not_of(L"0123456789") != std::wstring::npos)
    return -1;
  return std::stoi(text);
}

bool parse(const std::vector<std::wstring>& args, std::wstring& package, walk::Answers& answers) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    bool valued = arg.size() > 2 && arg[0] == L'-' && arg[1] == L'-';
    if (valued && i + 1 == args.size()) return false;
    const std::wstring& value = valued ? args[++i] : arg;
    if (arg == L"--method") {
      const wchar_t* names[] = {L"full", L"normal", L"custom"};
      answers.method = walk::methodAsProposed;
      for (int m = 0; m < 3; ++m)
        if (value == names[m]) answers.method = static_cast<walk::Method>(m);
      if (answers.method == walk::methodAsProposed) return false;
    } else if (arg == L"--component") {
      answers.chooseComponents = true;
      answers.components.push_back(count(value));
      if (answers.components.back() < 0) return false;
    } else if (arg == L"--field") {
      size_t equals = value.find(L'=');
      int position = equals == std::wstring::npos ? -1 : count(value.substr(0, equals));
      if (position < 0) return false;
      answers.fields[position] = value.substr(equals + 1);
    } else if (arg == L"--destination") {
      answers.chooseDestination = true;
      answers.destination = value;
    } else if (arg == L"--shots") {
      answers.shots = value;
    } else if (valued || !package.empty()) {
      return false;
    } else {
      package = value;
    }
  }
  return !package.empty();
}

}  // namespace

// wmain: the arguments in UTF-16, without shell32 (a DLL a Downloads folder may plant).
int wmain(int argc, wchar_t** argv) {
  // Lines end in LF alone: qzpack try passes the report on to a Linux terminal or log.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::wstring> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::wstring package;
  walk::Answers answers;
  if (!parse(args, package, answers)) {
    std::fputs(usage, stderr);
    return 2;
  }
  driver::Installer setup(package);
  if (!setup.started()) {
    std::fprintf(stderr, "qzwalk: cannot start %s (error %lu)\n", walk::utf8(package).c_str(),
                 GetLastError());
    return 2;
  }
  walk::Outcome outcome = walk::walkWizard(setup, answers, stdout);
  int faults = outcome.runStarted ? walk::reportInstallation(outcome.destination, stdout) : 0;
  if (outcome.failure.empty() && faults)
    outcome.failure = std::to_string(faults) + " fault(s) in what the install log lists";
  if (outcome.failure.empty()) {
    std::printf("the installation finished\n");
    return 0;
  }
  // The verdict is one line, the last: qzpack try looks for it there.
  for (char& c : outcome.failure)
    if (c == '\r' || c == '\n') c = ' ';
  std::printf("the installation did not finish: %s\n", outcome.failure.c_str());
  return 1;
}
