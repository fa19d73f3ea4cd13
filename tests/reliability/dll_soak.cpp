// Soak of tarnmix.dll in one host process: each cycle initialises, plays a song, lets a row
// callback change to the other song from the playback thread, stops and shuts down. After a
// warm-up the process's handles, threads and private bytes are sampled at every cycle's end;
// growth past the bounds fails.
//   tarnmix_dll_soak [CYCLES]   (200 when not given; HOME must name an ALSA folder, see tarnmix.h)
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dll_host.h"
#include "process_figures.h"

namespace {

// Handles and threads: a leak of one per cycle passes these over any run of 20 cycles or more.
// Private bytes: Wine's heap and sound driver move by up to a few pages between cycles; a leak
// of 2 KiB per cycle passes 384 KiB over the 195 measured cycles of a full soak.
constexpr figures::Bounds bounds{8, 2, 384 * 1024};
constexpr int warmUpCycles = 5;    // Wine starts its sound driver's threads over the first cycles
constexpr DWORD deadline = 30000;  // generous: the machine may be busy

TarnmixApi api;
std::string songs[2];
std::atomic<int> rows{0};
std::atomic<int> songTaken{-1};  // which song the callback's change went to
std::atomic<int> changeResult{-1};
HANDLE changed;

// The song change: on the second row of the song the host started, the other song.
void TARNMIX_CALL changeSongOnRow(int, intptr_t, int) {
  if (++rows != 2) return;
  int next = 1 - songTaken;
  changeResult = api.playModule(songs[next].c_str());
  songTaken = next;
  SetEvent(changed);
}

// One cycle; an empty text when it went as it should, else what went wrong.
std::string cycle(int n) {
  if (api.initTarnmix() != 1) return "initTarnmix returned 0";
  rows = 0;
  changeResult = -1;
  songTaken = n % 2;
  ResetEvent(changed);
  if (api.playModule(songs[n % 2].c_str()) != 1) return "playModule returned 0";
  if (WaitForSingleObject(changed, deadline) != WAIT_OBJECT_0) return "no row callback came";
  if (changeResult != 1) return "playModule from the callback returned 0";
  // The new song plays on: its own rows reach the callback.
  if (!dlltest::waitUntil([] { return rows >= 4; }, deadline)) return "the new song is silent";
  const char* expected = n % 2 ? nullptr : "second song";
  const char* name = api.getSampleName(0);
  if (expected && (!name || std::string(name) != expected)) return "the song did not change";
  api.stopModule();
  api.shutdownTarnmix();
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = argc > 1 ? std::atoi(argv[1]) : 200;
  if (cycles <= warmUpCycles) {
    std::fprintf(stderr, "usage: tarnmix_dll_soak [CYCLES], more than %d\n", warmUpCycles);
    return 2;
  }
  if (!dlltest::loadTarnmix(&api)) {
    std::fprintf(stderr, "cannot load %s\n", dlltest::tarnmixPath().c_str());
    return 2;
  }
  songs[0] = dlltest::exampleModule();
  songs[1] = dlltest::writeSecondSong();
  changed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  api.setModuleCallback(tarnmixNewRow, changeSongOnRow);
  figures::Track track;
  DWORD start = GetTickCount();
  for (int n = 1; n <= cycles; ++n) {
    std::string fault = cycle(n);
    if (!fault.empty()) {
      std::printf("cycle %d: %s\n", n, fault.c_str());
      api.shutdownTarnmix();
      return 1;
    }
    // The first and last samples wait for Wine's sound threads to settle; the others do not.
    if (n >= warmUpCycles)
      figures::add(track,
                   n == warmUpCycles || n == cycles ? figures::settledSample() : figures::sample());
  }
  std::printf(
      "%d cycles of init, play, song change in a row callback, stop, shutdown in %lu ms;"
      " figures from cycle %d to %d:\n",
      cycles, GetTickCount() - start, warmUpCycles, cycles);
  bool within = figures::judge(track, bounds, stdout);
  std::printf("%s\n", within ? "no growth past the bounds" : "growth past a bound");
  CloseHandle(changed);
  return within ? 0 : 1;
}
