/* tarnmix-host: plays a MOD file through tarnmix.dll for a few seconds and says where the song
 * is, once a second.
 *   tarnmix-host SONG.mod [SECONDS]
 * Exit status: 0 played, 1 the song cannot be played, 2 usage, 3 no sound device. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "tarnmix.h"

/* Written by the library's playback thread, read by main. */
static volatile LONG rowsPlayed;
static volatile LONG currentPattern = -1;

/* Callbacks run in the middle of mixing: count and return. */
static void TARNMIX_CALL onNewRow(int code, intptr_t row, int extra) {
  (void)code, (void)row, (void)extra;
  InterlockedIncrement(&rowsPlayed);
}

static void TARNMIX_CALL onNewPattern(int code, intptr_t pattern, int extra) {
  (void)code, (void)extra;
  InterlockedExchange(&currentPattern, (LONG)pattern);
}

int main(int argc, char** argv) {
  int seconds = argc > 2 ? atoi(argv[2]) : 10;
  if (argc < 2 || argc > 3 || seconds < 1) {
    fprintf(stderr, "usage: tarnmix-host SONG.mod [SECONDS]\n");
    return 2;
  }
  if (!initTarnmix()) {
    fprintf(stderr, "tarnmix-host: no sound device could be opened\n");
    return 3;
  }
  setModuleCallback(tarnmixNewRow, onNewRow);
  setModuleCallback(tarnmixNewPattern, onNewPattern);
  if (!playModule(argv[1])) {
    fprintf(stderr, "tarnmix-host: cannot play %s\n", argv[1]);
    shutdownTarnmix();
    return 1;
  }
  printf("playing %s (first sample: \"%s\")\n", argv[1], getSampleName(0));
  for (int second = 1; second <= seconds; ++second) {
    Sleep(1000);
    /* The song's first row and first pattern are not reported: playback starts there. */
    if (currentPattern < 0)
      printf("%d s: %ld rows, still in the first pattern\n", second, (long)rowsPlayed);
    else
      printf("%d s: %ld rows, pattern %ld\n", second, (long)rowsPlayed, (long)currentPattern);
  }
  stopModule();
  shutdownTarnmix();
  return 0;
}
