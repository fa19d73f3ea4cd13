/* A C host linked against tarnmix.dll through its import library and tarnmix.h: that it links
 * proves the header's declarations and the import library agree, cdecl names included. It is
 * only built and inspected, never run. */
#include <stddef.h>

#include "tarnmix.h"

static void TARNMIX_CALL onBlock(int code, intptr_t value, int extra) {
  (void)code;
  (void)value;
  (void)extra;
}

int main(void) {
  if (!initTarnmix()) return 1;
  setModuleCallback(tarnmixBlockMixed, onBlock);
  if (playModule("song.mod") && getSampleName(0) != NULL) (void)getChannelVU(0);
  stopModule();
  shutdownTarnmix();
  return 0;
}
