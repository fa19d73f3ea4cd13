// killed_install: walks a package's wizard to its installation (Normal, everything as proposed)
// and either lets the run finish or ends setup.exe with TerminateProcess a given time after the
// run began, as a power cut or the task manager would. scripts/reliability/killed-install.sh runs
// it under Wine; the times it prints are counted from the press of the Next that starts the run.
//   killed_install PACKAGE.exe [KILL_AFTER_MS]
// Prints one line: "finished MS" (then answers the notice and ends the wizard) or "killed MS".
// Exit status 0 when the walk went as asked, 1 when it did not.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "wizard_driver.h"

namespace {

constexpr DWORD deadline = 120000;      // a window or a step, on a busy machine
constexpr DWORD runDeadline = 1800000;  // the whole installation of a large package

int stop(const char* why) {
  std::printf("failed %s\n", why);
  return 1;
}

// Whether the run has ended with a message box: its notice, or a failure's message.
bool ended(driver::Installer& setup, driver::MessageBox& box) {
  return (box = setup.messageBox()).window != nullptr;
}

int ending(driver::Installer& setup, const driver::MessageBox& box, unsigned long at) {
  if (box.text != "Installation finished") {
    std::printf("failed with the message \"%s\"\n", box.text.c_str());
    return 1;
  }
  std::printf("finished %lu\n", at);
  setup.answer(box, IDOK);
  setup.click(setup.finish());
  return setup.waitForExit(deadline) == 0 ? 0 : stop("to see setup.exe end with exit code 0");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fputs("usage: killed_install PACKAGE.exe [KILL_AFTER_MS]\n", stderr);
    return 2;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // LF alone: the script reads the lines on Linux
  const bool killing = argc == 3;
  const DWORD killAfter = killing ? std::strtoul(argv[2], nullptr, 10) : 0;
  driver::Installer setup(argv[1]);
  if (!setup.started()) return stop("to start setup.exe");
  if (!setup.startRun(deadline)) return stop("to walk the wizard to the run");
  driver::MessageBox box;
  const DWORD start = GetTickCount();
  auto elapsed = [&] { return static_cast<unsigned long>(GetTickCount() - start); };
  bool due = driver::waitUntil(
      [&] { return ended(setup, box) || (killing && GetTickCount() - start >= killAfter); },
      runDeadline);
  unsigned long at = elapsed();
  if (box.window) return ending(setup, box, at);
  if (!due) return stop("to see the run finish");
  if (!setup.kill(deadline)) return stop("to end setup.exe");
  std::printf("killed %lu\n", at);
  return 0;
}
