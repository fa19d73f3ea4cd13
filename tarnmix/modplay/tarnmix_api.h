// For Windows hosts that load tarnmix.dll at run time (tmplay, the DLL's test hosts): the seven
// exports bound by their plain names, the way any host program binds them.
#pragma once
#include <windows.h>

#include "tarnmix.h"

struct TarnmixApi {
  HMODULE library = nullptr;
  InitTarnmixFunction initTarnmix = nullptr;
  ShutdownTarnmixFunction shutdownTarnmix = nullptr;
  PlayModuleFunction playModule = nullptr;
  StopModuleFunction stopModule = nullptr;
  SetModuleCallbackFunction setModuleCallback = nullptr;
  GetChannelVUFunction getChannelVU = nullptr;
  GetSampleNameFunction getSampleName = nullptr;
};

template <typename F>
bool bindTarnmixExport(HMODULE library, const char* name, F* function) {
  *function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *function != nullptr;
}

// LoadLibraryA of `path`, then GetProcAddress of each export. False when the library cannot be
// loaded or lacks an export; a library that was loaded stays in api->library for FreeLibrary.
inline bool loadTarnmixLibrary(const char* path, TarnmixApi* api) {
  api->library = LoadLibraryA(path);
  HMODULE l = api->library;
  return l && bindTarnmixExport(l, "initTarnmix", &api->initTarnmix) &&
         bindTarnmixExport(l, "shutdownTarnmix", &api->shutdownTarnmix) &&
         bindTarnmixExport(l, "playModule", &api->playModule) &&
         bindTarnmixExport(l, "stopModule", &api->stopModule) &&
         bindTarnmixExport(l, "setModuleCallback", &api->setModuleCallback) &&
         bindTarnmixExport(l, "getChannelVU", &api->getChannelVU) &&
         bindTarnmixExport(l, "getSampleName", &api->getSampleName);
}
