// Fuzz target: any bytes as a carrier file, read by both header passes.
#include <stdio.h>

#include "package/header.h"

static void sink(const char* name, int selected) {
  // Touch the name so that a dangling pointer would show.
  volatile size_t length = 0;
  while (name[length]) length = length + 1;
  (void)selected;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size == 0) return 0;
  FILE* file = fmemopen(const_cast<unsigned char*>(data), size, "rb");
  if (!file) return 0;
  if (readSetupHeaderFrom(file, true, sink) == headerOk) readSetupHeaderFrom(file, false, sink);
  fclose(file);
  freeSetupHeader();
  return 0;
}
