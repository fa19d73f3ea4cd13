// tmplay: plays a MOD file through tarnmix.dll with VU bars, until a key, Ctrl+C or --seconds N.
#include <conio.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tarnmix_api.h"

namespace {

enum ExitCode { played = 0, cannotPlay = 1, badUsage = 2, noSound = 3, noLibrary = 4 };

std::atomic<bool> interrupted;
std::atomic<int> currentRow, currentPattern;

BOOL WINAPI onConsoleControl(DWORD) {
  interrupted = true;
  return TRUE;
}

void TARNMIX_CALL onNewRow(int, intptr_t row, int) {
  currentRow = static_cast<int>(row);
}
void TARNMIX_CALL onNewPattern(int, intptr_t pattern, int) {
  currentPattern = static_cast<int>(pattern);
}

void printSampleNames(const TarnmixApi& t) {
  std::printf("samples:\n");
  for (int i = 0; i < 31; ++i) {
    const char* name = t.getSampleName(i);
    if (name && *name) std::printf("  %2d %s\n", i + 1, name);
  }
}

// One line: the song position and four bars scaled to the largest level of volumes up to 64.
void printLevels(const TarnmixApi& t, bool redraw) {
  char line[128];
  int n = std::snprintf(line, sizeof line, "pattern %3d row %2d ", currentPattern.load(),
                        currentRow.load());
  for (int c = 0; c < 4; ++c) {
    int level = t.getChannelVU(c), bar = level * 12 / 175;
    line[n++] = '|';
    for (int i = 0; i < 12; ++i) line[n++] = i < bar ? '#' : ' ';
  }
  line[n++] = '|';
  line[n] = 0;
  std::printf(redraw ? "\r%s" : "%s\n", line);
  std::fflush(stdout);
}

bool keyPressed(bool consoleInput) {
  if (!consoleInput || !_kbhit()) return false;
  _getch();
  return true;
}

const char* playUntilStopped(const TarnmixApi& t, double seconds) {
  DWORD mode;
  bool consoleOut = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  bool consoleIn = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  DWORD start = GetTickCount(), nextLine = 0;
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (interrupted) return "Ctrl+C";
    if (keyPressed(consoleIn)) return "a key";
    if (seconds >= 0 && elapsed >= seconds * 1000) return "the time limit";
    // Without a console a line a second is enough for a log.
    if (consoleOut || elapsed >= nextLine) {
      printLevels(t, consoleOut);
      nextLine = elapsed + 1000;
    }
    Sleep(50);
  }
}

int usage() {
  std::fputs(
      "usage: tmplay SONG.mod [--seconds N]\n"
      "  Plays the song through tarnmix.dll until a key, Ctrl+C or N seconds.\n",
      stderr);
  return badUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const char* song = nullptr;
  double seconds = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      char* end;
      seconds = std::strtod(argv[++i], &end);
      if (*end || seconds < 0) return usage();
    } else if (!song && argv[i][0] != '-') {
      song = argv[i];
    } else {
      return usage();
    }
  }
  if (!song) return usage();
  TarnmixApi t;
  if (!loadTarnmixLibrary("tarnmix.dll", &t)) {
    std::fprintf(stderr, "tmplay: tarnmix.dll is missing or incomplete\n");
    return noLibrary;
  }
  if (!t.initTarnmix()) {
    std::fprintf(stderr, "tmplay: no sound output: DirectSound could not be opened\n");
    FreeLibrary(t.library);
    return noSound;
  }
  t.setModuleCallback(tarnmixNewRow, onNewRow);
  t.setModuleCallback(tarnmixNewPattern, onNewPattern);
  int result = played;
  // Ctrl+C from here on stops the song in order instead of ending the process mid-part.
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  if (t.playModule(song)) {
    printSampleNames(t);
    const char* reason = playUntilStopped(t, seconds);
    t.stopModule();
    std::printf("\ntmplay: stopped by %s\n", reason);
  } else {
    std::fprintf(stderr, "tmplay: cannot play %s\n", song);
    result = cannotPlay;
  }
  t.shutdownTarnmix();
  FreeLibrary(t.library);
  return result;
}
