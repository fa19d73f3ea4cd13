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
  // Far longer than any part takes; only a host callback that never returns reaches it.
  threadStopTimeoutMs = 2000,
};

typedef HRESULT(WINAPI* DirectSoundCreateFunction)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);

int initialized;
HMODULE dsoundLibrary;
DirectSoundCreateFunction directSoundCreate;
IDirectSound* ds;
IDirectSoundBuffer* primary;
IDirectSoundBuffer* secondary;
IDirectSoundNotify* notify;
HANDLE event[2];
HANDLE quitEvent;  // asks the playback thread to end after the part it may be filling
DSBPOSITIONNOTIFY pn[2];
HANDLE mightyThreadHandle;
DWORD mightyThreadId;

// Guards module, mixingModule and retiredModule. It is only ever held for a few pointer moves,
// never across a mix or a callback, so neither side waits on the other for longer than that.
CRITICAL_SECTION moduleLock;
bool moduleLockReady;
Module* module;
Module* mixingModule;   // the song the playback thread is mixing right now, or null
Module* retiredModule;  // stopped while being mixed: the thread frees it after the part

unsigned char playing;
std::atomic<ModuleCallback> newWave;

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

// Everything initialisation may have obtained, in reverse order; safe on a partial set.
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
  if (moduleLockReady) DeleteCriticalSection(&moduleLock);
  moduleLockReady = false;
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
  EnterCriticalSection(&moduleLock);
  Module* current = module;
  mixingModule = current;
  LeaveCriticalSection(&moduleLock);
  return current;
}

void endClaim() {
  EnterCriticalSection(&moduleLock);
  mixingModule = nullptr;
  Module* retired = retiredModule;
  retiredModule = nullptr;
  LeaveCriticalSection(&moduleLock);
  freeModule(retired);
}

// Takes the current song away; frees it now, or hands it to the thread if a part of it is being
// mixed (also when this runs inside a callback of that very part).
void retireModule() {
  EnterCriticalSection(&moduleLock);
  Module* old = module;
  module = nullptr;
  bool inUse = old && old == mixingModule;
  if (inUse) retiredModule = old;
  LeaveCriticalSection(&moduleLock);
  if (!inUse) freeModule(old);
}

void publishModule(Module* song) {
  EnterCriticalSection(&moduleLock);
  module = song;
  LeaveCriticalSection(&moduleLock);
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

DWORD WINAPI theMightyThreadProc(LPVOID) {
  const HANDLE handles[3] = {event[0], event[1], quitEvent};
  for (;;) {
    DWORD signalled = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
    if (signalled == WAIT_OBJECT_0)
      callFillBuffer(partSamples, partSamples);  // play reached part 0: refill part 1
    else if (signalled == WAIT_OBJECT_0 + 1)
      callFillBuffer(0, partSamples);
    else
      return 0;  // asked to end, or the wait failed: end rather than spin at top priority
  }
}

bool startThread() {
  quitEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!quitEvent) return false;
  InitializeCriticalSection(&moduleLock);
  moduleLockReady = true;
  mightyThreadHandle = CreateThread(nullptr, 0, theMightyThreadProc, nullptr, 0, &mightyThreadId);
  if (!mightyThreadHandle) return false;
  SetThreadPriority(mightyThreadHandle, THREAD_PRIORITY_TIME_CRITICAL);
  return true;
}

// An orderly end after the part in progress; killing the thread is the last resort, for a host
// callback that never returns.
void stopThread() {
  SetEvent(quitEvent);
  if (WaitForSingleObject(mightyThreadHandle, threadStopTimeoutMs) == WAIT_OBJECT_0) return;
  TerminateThread(mightyThreadHandle, 0);
  WaitForSingleObject(mightyThreadHandle, INFINITE);
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
  return GetCurrentThreadId() == mightyThreadId;
}

}  // namespace

extern "C" {

int TARNMIX_CALL initTarnmix(void) {
  if (initialized) return 1;
  if (!initSound()) return 0;
  initialized = 1;
  return 1;
}

void TARNMIX_CALL shutdownTarnmix(void) {
  // From a callback the thread would have to wait for its own end: refused.
  if (!initialized || onPlaybackThread()) return;
  initialized = 0;
  secondary->Stop();
  stopThread();
  freeModule(module);
  freeModule(retiredModule);
  module = mixingModule = retiredModule = nullptr;
  playing = 0;
  releaseOutput();
}

int TARNMIX_CALL playModule(const char* path) {
  if (!initialized && !initTarnmix()) return 0;
  if (module) stopModule();
  Module* song = loadModule(path);
  if (!song) return 0;
  prepareForPlayback(song);
  publishModule(song);
  if (!startBuffer()) {
    retireModule();
    return 0;
  }
  playing = 1;
  return 1;
}

void TARNMIX_CALL stopModule(void) {
  if (!initialized || !playing) return;
  playing = 0;
  secondary->Stop();
  retireModule();
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
  if (!initialized || !module || index < 0 || index >= sampleSlots) return nullptr;
  return module->samples[index].name;
}

}  // extern "C"
