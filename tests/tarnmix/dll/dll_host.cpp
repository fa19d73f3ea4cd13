#include "dll_host.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "mod_builder.h"

namespace dlltest {

namespace {

CallLog theLog;

}  // namespace

CallLog* callLog = &theLog;

std::string tarnmixPath() {
  return fromUnixPath(QZ_TARNMIX_DLL);
}

bool loadTarnmix(TarnmixApi* api) {
  return loadTarnmixLibrary(tarnmixPath().c_str(), api);
}

int settledThreadCount() {
  return figures::settledSample().threads;
}

std::string besideProgram(const char* name) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

std::string writeSecondSong() {
  modtest::ModDraft mod;
  mod.setSample(1, modtest::filled(200, 0x30), 64, 0, 100);
  mod.samples[0].name = "second song";
  mod.setCell(0, 0, 0, 1, 428);
  std::string path = besideProgram("second-song.mod");
  modtest::Bytes bytes = mod.build();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string exampleModule() {
  return besideProgram("tarn-theme.mod");
}

std::string fromUnixPath(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

bool waitUntil(const std::function<bool()>& done, int milliseconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void resetCallLog() {
  callLog->parts = 0;
  callLog->calls = 0;
  callLog->strayCalls = 0;
}

void TARNMIX_CALL recordPart(int code, intptr_t value, int extra) {
  int n = callLog->parts.load();
  if (n >= CallLog::partCapacity) return;
  callLog->partCalls[n] = {code, value, extra};
  if (extra == 2205) std::memcpy(callLog->partBytes[n], reinterpret_cast<void*>(value), 2205);
  callLog->parts = n + 1;
}

void TARNMIX_CALL recordRowOrPattern(int code, intptr_t value, int extra) {
  int n = callLog->calls.load();
  if (n >= CallLog::callCapacity) return;
  callLog->rowCalls[n] = {code, value, extra};
  callLog->calls = n + 1;
}

void TARNMIX_CALL recordStray(int, intptr_t, int) {
  ++callLog->strayCalls;
}

}  // namespace dlltest
