// Fuzz target: any bytes as a carrier file, read by both header passes.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "package/header.h"

static void sink(const char* name, int selected) {
  // Touch the name so that a dangling pointer would show.
  volatile size_t length = 0;
  while (name[length]) length = length + 1;
  (void)selected;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  static const std::string path = "/dev/shm/qz-fuzz-header-" + std::to_string(getpid());
  // The last input's file goes when the run ends.
  static const int removal = atexit([] { remove(path.c_str()); });
  (void)removal;
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return 0;
  fwrite(data, 1, size, file);
  fclose(file);
  if (readSetupHeader(path.c_str(), true, sink) == headerOk)
    readSetupHeader(path.c_str(), false, sink);
  freeSetupHeader();
  return 0;
}
