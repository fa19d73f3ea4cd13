// The outer layer of tarnmix: DirectSound output, the playback thread and the seven exports. The
// only file of the library that includes <windows.h>.
#include <dsound.h>
#include <mmsystem.h>
#include <string.h>
#include <windows.h>

#include "mixer.h"
#include "module.h"
#include "sequencer.h"
#include "tarnmix.h"

namespace {

enum : DWORD {
  bufferBytes = 2 * partSamples,  // two parts of 50 ms
  // Far longer than any part takes; only a host callback that blocks reaches it. The thread is
  // never killed: one killed inside DirectSound or the heap would leave their locks held.
  threadEndWaitMs = 2000,
};

typedef HRESULT(WINAPI* DirectSoundCreateFunction)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);

// Serialises the exports, whichever thread calls them (the host's, another of the host's, or the
// playback thread from inside a callback). Never held while waiting for the playback thread.
SRWLOCK apiLock = SRWLOCK_INIT;
// Guards module, mixingModule and retiredModule between the exports and the playback thread;
// held only for a few pointer moves, never across a mix or a callback.
SRWLOCK moduleLock = SRWLOCK_INIT;

std::atomic<int> initialized;
std::atomic<bool> shuttingDown;  // from the stop of the buffer until the thread has ended
std::atomic<unsigned char> playing;
HMODULE dsoundLibrary;
DirectSoundCreateFunction directSoundCreate;
IDirectSound* ds;
IDirectSoundBuffer* primary;
IDirectSoundBuffer* secondary;
IDirectSoundNotify* notify;
HANDLE event[2];
HANDLE quitEvent;  // asks the playback thread to end after the part it may be filling
DSBPOSITIONNOTIFY pn[2];
// Kept after a shutdown whose thread did not end in time, until the thread has ended: then the
// output is released and a new one may be opened.
HANDLE mightyThreadHandle;
std::atomic<DWORD> mightyThreadId;

Module* module;
Module* mixingModule;   // the song the playback thread is mixing right now, or null
Module* retiredModule;  // stopped while being mixed: the thread frees it after the part

// Each stop or start of a song begins a new generation. A callback may start or stop songs only
// while the song whose part it belongs to is still the current one: a request made for a song
// that was stopped or replaced meanwhile must not bring playback back.
std::atomic<unsigned> generation;
unsigned partGeneration;  // playback thread only: the generation its current part was mixed in
bool partHasSong;

std::atomic<ModuleCallback> newWave;

struct ApiGuard {
  ApiGuard() { AcquireSRWLockExclusive(&apiLock); }
  ~ApiGuard() { ReleaseSRWLockExclusive(&apiLock); }
};

WAVEFORMATEX outputFormat() {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = outputRate;
  format.nAvgBytesPerSec = outputRate;
  format.nBlockAlign = 1;
  format.wBitsPerSample = 8;
  format.cbSize = 0;
  return format;
}

// From the system folder only: a dsound.dll planted beside the host or in the current folder
// would otherwise be loaded first.
HMODULE loadSystemLibrary(const char* name) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  size_t nameLength = strlen(name);
  if (length == 0 || length + 1 + nameLength >= MAX_PATH) return nullptr;
  path[length] = '\\';
  memcpy(path + length + 1, name, nameLength + 1);
  return LoadLibraryA(path);
}

template <typename T>
void release(T** object) {
  if (*object) (*object)->Release();
  *object = nullptr;
}

void closeHandle(HANDLE* handle) {
  if (*handle) CloseHandle(*handle);
  *handle = nullptr;
}

// Everything initialisation may have obtained, in reverse order; safe on a partial set. The
// playback thread must have ended.
void releaseOutput() {
  release(&notify);
  release(&secondary);
  release(&primary);
  release(&ds);
  closeHandle(&mightyThreadHandle);
  mightyThreadId = 0;
  closeHandle(&quitEvent);
  closeHandle(&event[1]);
  closeHandle(&event[0]);
  if (dsoundLibrary) FreeLibrary(dsoundLibrary);
  dsoundLibrary = nullptr;
  directSoundCreate = nullptr;
}

bool openDevice() {
  if (FAILED(directSoundCreate(nullptr, &ds, nullptr))) return false;
  HWND window = GetForegroundWindow();
  if (!window) window = GetDesktopWindow();
  if (FAILED(ds->SetCooperativeLevel(window, DSSCL_PRIORITY))) return false;
  DSBUFFERDESC description = {};
  description.dwSize = sizeof description;
  description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  if (FAILED(ds->CreateSoundBuffer(&description, &primary, nullptr))) return false;
  WAVEFORMATEX format = outputFormat();
  return SUCCEEDED(primary->SetFormat(&format));
}

bool createStreamBuffer() {
  WAVEFORMATEX format = outputFormat();
  DSBUFFERDESC description = {};
  description.dwSize = sizeof description;
  // Global focus: the song goes on when the host's window loses the focus.
  description.dwFlags =
      DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
  description.dwBufferBytes = bufferBytes;
  description.lpwfxFormat = &format;
  if (FAILED(ds->CreateSoundBuffer(&description, &secondary, nullptr))) return false;
  event[0] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  event[1] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!event[0] || !event[1]) return false;
  if (FAILED(secondary->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify))))
    return false;
  pn[0].dwOffset = 0;
  pn[0].hEventNotify = event[0];
  pn[1].dwOffset = partSamples;
  pn[1].hEventNotify = event[1];
  return SUCCEEDED(notify->SetNotificationPositions(2, pn));
}

// The song to mix for one part, marked as in use so that a stop frees it only afterwards.
Module* claimModule() {
  AcquireSRWLockExclusive(&moduleLock);
  Module* current = module;
  mixingModule = current;
  partGeneration = generation;
  partHasSong = current != nullptr;
  ReleaseSRWLockExclusive(&moduleLock);
  return current;
}

void endClaim() {
  AcquireSRWLockExclusive(&moduleLock);
  mixingModule = nullptr;
  Module* retired = retiredModule;
  retiredModule = nullptr;
  ReleaseSRWLockExclusive(&moduleLock);
  freeModule(retired);
}

// Takes the current song away; frees it now, or hands it to the thread if a part of it is being
// mixed (also when this runs inside a callback of that very part).
void retireModule() {
  AcquireSRWLockExclusive(&moduleLock);
  Module* old = module;
  module = nullptr;
  bool inUse = old && old == mixingModule;
  if (inUse) retiredModule = old;
  ReleaseSRWLockExclusive(&moduleLock);
  if (!inUse) freeModule(old);
}

void publishModule(Module* song) {
  AcquireSRWLockExclusive(&moduleLock);
  module = song;
  ReleaseSRWLockExclusive(&moduleLock);
}

void mixPart(uint8_t* part, int bytes) {
  Module* current = claimModule();
  wave = part;
  if (current) fillPart(current);
  if (ModuleCallback callback = newWave.load(std::memory_order_relaxed))
    callback(tarnmixBlockMixed, reinterpret_cast<intptr_t>(part), bytes);
  endClaim();
}

void callFillBuffer(int offset, int bytes) {
  void* part;
  DWORD partBytes;
  HRESULT result = secondary->Lock(offset, bytes, &part, &partBytes, nullptr, nullptr, 0);
  if (result == DSERR_BUFFERLOST) {
    secondary->Restore();
    result = secondary->Lock(offset, bytes, &part, &partBytes, nullptr, nullptr, 0);
  }
  if (FAILED(result)) return;
  // The parts never straddle the buffer's end, so one region always holds the whole part.
  if (partBytes >= static_cast<DWORD>(bytes)) mixPart(static_cast<uint8_t*>(part), bytes);
  secondary->Unlock(part, partBytes, nullptr, 0);
}

// library: the reference to this DLL that the thread holds, so that a host unloading it after
// a shutdown that gave up waiting does not pull the code from under the thread.
DWORD WINAPI theMightyThreadProc(LPVOID library) {
  // The quit event first: when it and a notification are both signalled, ending wins.
  const HANDLE handles[3] = {quitEvent, event[0], event[1]};
  for (;;) {
    DWORD signalled = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
    if (signalled == WAIT_OBJECT_0 + 1)
      callFillBuffer(partSamples, partSamples);  // play reached part 0: refill part 1
    else if (signalled == WAIT_OBJECT_0 + 2)
      callFillBuffer(0, partSamples);
    else
      break;  // asked to end, or the wait failed: end rather than spin at top priority
  }
  // The last reference may be this one: the library goes only once the thread has left its code.
  FreeLibraryAndExitThread(static_cast<HMODULE>(library), 0);
}

bool startThread() {
  quitEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!quitEvent) return false;
  HMODULE library;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&theMightyThreadProc), &library))
    return false;
  DWORD id;
  mightyThreadHandle = CreateThread(nullptr, 0, theMightyThreadProc, library, 0, &id);
  if (!mightyThreadHandle) {
    FreeLibrary(library);
    return false;
  }
  mightyThreadId = id;
  SetThreadPriority(mightyThreadHandle, THREAD_PRIORITY_TIME_CRITICAL);
  return true;
}

// A playback thread left running by a shutdown (its callback blocked) that has ended by now, or
// within the wait, is cleaned up; false while it is still running.
bool endOfOldThread() {
  if (!mightyThreadHandle) return true;
  if (WaitForSingleObject(mightyThreadHandle, threadEndWaitMs) != WAIT_OBJECT_0) return false;
  releaseOutput();
  return true;
}

int initSound() {
  dsoundLibrary = loadSystemLibrary("dsound.dll");
  if (dsoundLibrary)
    directSoundCreate = reinterpret_cast<DirectSoundCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(dsoundLibrary, "DirectSoundCreate")));
  if (!directSoundCreate || !openDevice() || !createStreamBuffer() || !startThread()) {
    releaseOutput();
    return 0;
  }
  // No playback thread of an earlier start runs now (initLocked has waited for it), and the new
  // one mixes only once a song starts the buffer.
  buildFreqTable();
  return 1;
}

bool startBuffer() {
  secondary->SetCurrentPosition(0);
  HRESULT result = secondary->Play(0, 0, DSBPLAY_LOOPING);
  if (result == DSERR_BUFFERLOST && SUCCEEDED(secondary->Restore()))
    result = secondary->Play(0, 0, DSBPLAY_LOOPING);
  return SUCCEEDED(result);
}

bool onPlaybackThread() {
  DWORD id = mightyThreadId;
  return id && GetCurrentThreadId() == id;
}

// Whether the calling thread may start or stop songs now (apiLock held): not during a shutdown,
// and from a callback only for the song whose part is being mixed, while it is still current.
bool maySwitchSongs() {
  if (shuttingDown) return false;
  return !onPlaybackThread() || (partHasSong && partGeneration == generation);
}

int initLocked() {
  if (initialized) return shuttingDown ? 0 : 1;
  if (onPlaybackThread() || !endOfOldThread() || !initSound()) return 0;
  initialized = 1;
  return 1;
}

void stopLocked() {
  if (!initialized || !playing) return;
  playing = 0;
  ++generation;
  secondary->Stop();
  retireModule();
}

}  // namespace

extern "C" {

// The library has no load-time or unload-time work. It is linked without the C runtime's start-up
// code, which it does not need (msvcrt initialises itself): a few kilobytes less.
BOOL WINAPI DllEntry(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

int TARNMIX_CALL initTarnmix(void) {
  ApiGuard guard;
  return initLocked();
}

void TARNMIX_CALL shutdownTarnmix(void) {
  // From a callback the thread would have to wait for its own end: refused.
  if (onPlaybackThread()) return;
  {
    ApiGuard guard;
    if (!initialized || shuttingDown) return;
    shuttingDown = true;
    stopLocked();  // the buffer plays only while a song does
  }
  // Without the lock: a callback of the part in progress may be calling an export.
  SetEvent(quitEvent);
  bool ended = WaitForSingleObject(mightyThreadHandle, threadEndWaitMs) == WAIT_OBJECT_0;
  ApiGuard guard;
  if (ended) releaseOutput();
  initialized = 0;
  shuttingDown = false;
}

int TARNMIX_CALL playModule(const char* path) {
  ApiGuard guard;
  if (!maySwitchSongs() || !initLocked()) return 0;
  if (module) stopLocked();
  Module* song = loadModule(path);
  if (!song) return 0;
  prepareForPlayback(song);
  ++generation;
  publishModule(song);
  if (!startBuffer()) {
    retireModule();
    return 0;
  }
  playing = 1;
  return 1;
}

void TARNMIX_CALL stopModule(void) {
  ApiGuard guard;
  if (maySwitchSongs()) stopLocked();
}

void TARNMIX_CALL setModuleCallback(int code, ModuleCallback callback) {
  switch (code) {
    case tarnmixBlockMixed:
      newWave = callback;
      break;
    case tarnmixNewRow:
      newRow = callback;
      break;
    case tarnmixNewPattern:
      newPattern = callback;
      break;
    default:
      break;
  }
}

int TARNMIX_CALL getChannelVU(int channel) {
  if (!initialized || !playing || static_cast<unsigned>(channel) >= channelCount) return 0;
  return channelVU[channel].load(std::memory_order_relaxed);
}

char* TARNMIX_CALL getSampleName(int index) {
  ApiGuard guard;
  if (!initialized || shuttingDown || !module || index < 0 || index >= sampleSlots) return nullptr;
  return module->samples[index].name;
}

}  // extern "C"
