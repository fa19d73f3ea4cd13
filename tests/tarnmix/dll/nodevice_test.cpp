// tarnmix.dll where DirectSound cannot be opened: run once with Wine's dsound disabled and once
// with no ALSA device to open.
#include <gtest/gtest.h>

#include "dll_host.h"

using namespace dlltest;

namespace {

TEST(NoSoundOutput, InitialisationAndPlayFailAndHoldNothing) {
  TarnmixApi api;
  ASSERT_TRUE(loadTarnmix(&api));
  api.setModuleCallback(1, recordPart);
  EXPECT_EQ(api.initTarnmix(), 0);
  // Uninitialised still: playModule tries again from the start, and fails again.
  EXPECT_EQ(api.playModule(exampleModule().c_str()), 0);
  EXPECT_EQ(api.getSampleName(0), nullptr);
  EXPECT_EQ(api.getChannelVU(0), 0);
  api.stopModule();
  api.shutdownTarnmix();
  Sleep(200);
  EXPECT_EQ(callLog->parts, 0);
}

}  // namespace
