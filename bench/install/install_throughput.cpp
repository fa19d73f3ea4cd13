// Installs every component of a package into a folder with the real installation run (under
// Wine here) and prints the throughput in content bytes per second.
#include <windows.h>

#include <cstdio>

#include "install/install_run.h"
#include "package/header.h"
#include "package/services.h"

namespace {
const char* destination = "";
long progressCalls = 0;
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

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: install_throughput PACKAGE DESTINATION\n");
    return 2;
  }
  destination = argv[2];
  if (readSetupHeader(argv[1], true, nullptr) != headerOk ||
      readSetupHeader(argv[1], false, nullptr) != headerOk) {
    std::fprintf(stderr, "install_throughput: %s is not a package\n", argv[1]);
    return 1;
  }
  CoInitialize(nullptr);
  carrierPath = argv[1];
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  InstallFailure failure;
  InstallOutcome outcome = runInstallation(1, &failure);
  QueryPerformanceCounter(&end);
  if (outcome != installDone) {
    std::fprintf(stderr, "install_throughput: the run failed at %s\n", failure.path);
    return 1;
  }
  double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  double mib = double(progressTotal) / 2 / 1048576.0;
  std::printf(
      "installation run under Wine: %.1f MiB in %.3f s, %.1f MiB/s (%ld progress reports)\n", mib,
      seconds, mib / seconds, progressCalls);
  return 0;
}
