// Fuzz target: any bytes as the start of an executable, read by qzpack's PE reader from memory and
// from an open file. Both must find the same layout: the file reader reads only the headers'
// bytes, which is all the layout may depend on.
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "pe_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  qzpack::PeLayout inMemory = qzpack::peLayout(bytes);
  if (inMemory.signatureSize == 0 && inMemory.signatureOffset != 0) abort();
  if (size == 0) return 0;
  FILE* file = fmemopen(bytes.data(), size, "rb");
  if (!file) return 0;
  qzpack::PeLayout read = qzpack::readPeLayout(file);
  fclose(file);
  // The file reader gives up on a PE header offset past 16 MiB, where the memory reader has
  // nothing to look at anyway.
  if (inMemory.peOffset <= (1u << 24) &&
      (read.dosHeader != inMemory.dosHeader || read.peOffset != inMemory.peOffset ||
       read.peHeader != inMemory.peHeader || read.signatureOffset != inMemory.signatureOffset ||
       read.signatureSize != inMemory.signatureSize))
    abort();
  return 0;
}
