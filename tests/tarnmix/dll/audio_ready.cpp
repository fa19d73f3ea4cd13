// Opens the sound device once through the DLL, alone, before the tests that use it run side by
// side. Wine gives the devices of a new prefix their identities at the first opening; two
// processes that open the device first at the same moment each record one, and the process whose
// record was overwritten is refused the device (AUDCLNT_E_DEVICE_INVALIDATED) for as long as it
// runs. Exit 0 when the device opened.
#include "dll_host.h"

int main() {
  TarnmixApi api;
  if (!dlltest::loadTarnmix(&api)) return 1;
  int opened = api.initTarnmix();
  api.shutdownTarnmix();
  return opened == 1 ? 0 : 1;
}
