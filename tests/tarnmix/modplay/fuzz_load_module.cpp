// Any bytes as a MOD file: load them, then play three seconds. Nothing may read or write outside
// the module's data, its order table and patterns, or the freq table.
#include <stddef.h>
#include <stdint.h>

#include "mixer.h"
#include "module.h"
#include "sequencer.h"

namespace {
constexpr int partsToPlay = 60;
uint8_t part[partSamples];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tableBuilt = (buildFreqTable(), true);
  (void)tableBuilt;
  Module* module = loadModuleFromMemory(data, size);
  if (!module) return 0;
  prepareForPlayback(module);
  wave = part;
  for (int i = 0; i < partsToPlay; ++i) fillPart(module);
  freeModule(module);
  return 0;
}
