// Installs every component of a package into a folder with the real installation run (under
// Wine here) and prints the throughput in content bytes per second, the CPU time the process
// spent (both threads), and how the decoding was shared.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "install/decode_ahead.h"
#include "install/install_run.h"
#include "package/header.h"
#include "package/services.h"

namespace {
const char* destination = "";
long progressCalls = 0;

double seconds(const FILETIME& time) {
  return (double(time.dwHighDateTime) * 4294967296.0 + time.dwLowDateTime) / 1e7;
}
}  // namespace

void addComponentRow(const char*, int) {}
const char* destinationText() {
  return destination;
}
const char* fieldText(int) {
  return "";
}
bool rowSelected(int) {
  return true;
}
void drawProgress(int32_t, int32_t) {
  ++progressCalls;
}
void dropQueuedInput() {}

// install_throughput PACKAGE DESTINATION [alone|shared|all-ahead]: how decoding is shared with
// the second thread (shared, as setup.exe does, unless chosen).
int main(int argc, char** argv) {
  const char* sharings[] = {"alone", "shared", "all-ahead"};
  int sharing = argc == 3 ? 1 : -1;  // shared
  for (int i = 0; argc == 4 && i < 3; ++i)
    if (std::strcmp(argv[3], sharings[i]) == 0) sharing = i;
  if (sharing < 0) {
    std::fprintf(stderr,
                 "usage: install_throughput PACKAGE DESTINATION [alone|shared|all-ahead]\n");
    return 2;
  }
  decodeHooks.oneThread = sharing == 0;
  decodeHooks.secondThreadOnly = sharing == 2;
  destination = argv[2];
  if (readSetupHeader(argv[1], true, nullptr) != headerOk ||
      readSetupHeader(argv[1], false, nullptr) != headerOk) {
    std::fprintf(stderr, "install_throughput: %s is not a package\n", argv[1]);
    return 1;
  }
  int files = 0;
  for (const Component* c = header.firstComponent; c; c = c->next)
    for (const ComponentFile* f = c->files; f; f = f->next) ++files;
  CoInitialize(nullptr);
  carrier = openPackageFile(argv[1]);
  LARGE_INTEGER frequency, start, end;
  FILETIME created, exited, kernelBefore, userBefore, kernel, user;
  QueryPerformanceFrequency(&frequency);
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelBefore, &userBefore);
  QueryPerformanceCounter(&start);
  InstallFailure failure;
  InstallOutcome outcome = runInstallation(1, &failure);
  QueryPerformanceCounter(&end);
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  if (outcome != installDone) {
    std::fprintf(stderr, "install_throughput: the run failed at %s\n", failure.path);
    return 1;
  }
  double wall = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  double cpu = seconds(kernel) + seconds(user) - seconds(kernelBefore) - seconds(userBefore);
  double mib = double(progressTotal) / 2 / 1048576.0;
  std::printf(
      "installation run (%s) under Wine: %.1f MiB in %.3f s, %.1f MiB/s, %.2f s of CPU; %ld "
      "progress reports; %d of %d files decoded by the second thread, %.1f MiB held at most\n",
      sharings[sharing], mib, wall, mib / wall, cpu, progressCalls, decodeHooks.filesBySecondThread,
      files, double(decodeHooks.peakHeld) / 1048576.0);
  return 0;
}
