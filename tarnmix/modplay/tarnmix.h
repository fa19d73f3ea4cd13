/* tarnmix: plays four-channel, 31-sample MOD files through DirectSound.
 *
 * Call initTarnmix once (optional: playModule initialises on demand), playModule for each song,
 * getChannelVU and getSampleName while it plays, stopModule to silence it and shutdownTarnmix
 * once at the end. Call shutdownTarnmix before unloading the library: its playback thread runs
 * the library's code until then.
 *
 * Callbacks run on the library's playback thread in the middle of filling a 50 ms part: keep
 * them short. They may call the exports, with these limits:
 * - playModule and stopModule from a callback act only while the song whose part is being mixed
 *   is still the current one; once another thread has stopped or replaced it, they do nothing
 *   (playModule returns 0), so a stop made by the host is never undone by a late callback.
 * - shutdownTarnmix from a callback does nothing, and while shutdownTarnmix runs, playModule and
 *   initTarnmix return 0.
 * The exports may also be called from more than one host thread: each call completes before
 * the next starts.
 *
 * shutdownTarnmix waits up to 2 seconds for the playback thread to finish the part in progress.
 * If a callback blocks longer, it returns without waiting more and the thread ends once the
 * callback returns; until then initTarnmix and playModule (each waiting up to 2 seconds more)
 * return 0, and the library must not be unloaded.
 *
 * Two behaviours by design:
 * - The song's first row and first pattern are never reported: playback starts at row 0 of the
 *   pattern at position 0, and the first tarnmixNewRow and tarnmixNewPattern calls come for what
 *   follows. A host that shows the position starts from there.
 * - No signature is checked: any file holding a 1084-byte header and the patterns its order
 *   table names is played as a 4-channel, 31-sample module, so an XM file or an 8-channel MOD
 *   plays as noise. Check the files you ship with `modrender --check SONG.mod`.
 *
 * Without a sound device initTarnmix and playModule return 0. To run a host headless under Wine,
 * give it an ALSA default device that swallows the sound: a file .asoundrc in the folder that
 * HOME names, holding
 *   pcm.!default { type file; slave.pcm "null"; file "/dev/null"; format "raw" } */
#ifndef TARNMIX_H
#define TARNMIX_H

#include <stdint.h>

#if defined(_WIN32)
#define TARNMIX_CALL __cdecl
#else
#define TARNMIX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The code passed to a callback, and the slot it is registered in. */
enum {
  tarnmixBlockMixed = 1, /* value: address of the part's 2205 bytes, extra: 2205 */
  tarnmixNewRow = 2,     /* value: row just processed (one less than a jump's target), extra: 63 */
  tarnmixNewPattern = 3  /* value: pattern number of the new song position, extra: 0 */
};

typedef void(TARNMIX_CALL* ModuleCallback)(int code, intptr_t value, int extra);

/* 1 when the audio output is open (also when it already was), 0 when it cannot be opened: then
 * nothing of the attempt is kept, and the next initTarnmix or playModule tries again from the
 * start. initTarnmix does not retry by itself: a refusal (no device, the system's audio not ready
 * yet) is the host's to report or to retry later. Under Wine, two processes that open the sound
 * device for the first time in a new configuration at the same moment may leave one of them
 * refused for as long as it runs. */
int TARNMIX_CALL initTarnmix(void);
void TARNMIX_CALL shutdownTarnmix(void);
/* 1 when the song plays; 0 when the output cannot be opened or the file cannot be read. The
 * song that was playing is stopped either way. */
int TARNMIX_CALL playModule(const char* path);
void TARNMIX_CALL stopModule(void);
/* Codes 1 to 3; a null callback empties the slot. Slots survive shutdown. */
void TARNMIX_CALL setModuleCallback(int code, ModuleCallback callback);
/* Level of channel 0..3 while a song plays, 0 otherwise. */
int TARNMIX_CALL getChannelVU(int channel);
/* Name of sample slot 0..30 of the current song, or null. The text belongs to the library and
 * stays valid until the song is stopped or replaced (also from a callback) or the library is
 * shut down. */
char* TARNMIX_CALL getSampleName(int index);

/* For hosts that bind the library at run time with GetProcAddress. */
typedef int(TARNMIX_CALL* InitTarnmixFunction)(void);
typedef void(TARNMIX_CALL* ShutdownTarnmixFunction)(void);
typedef int(TARNMIX_CALL* PlayModuleFunction)(const char* path);
typedef void(TARNMIX_CALL* StopModuleFunction)(void);
typedef void(TARNMIX_CALL* SetModuleCallbackFunction)(int code, ModuleCallback callback);
typedef int(TARNMIX_CALL* GetChannelVUFunction)(int channel);
typedef char*(TARNMIX_CALL* GetSampleNameFunction)(int index);

#ifdef __cplusplus
}
#endif

#endif
