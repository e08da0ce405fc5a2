// A receiver follows a sender that runs in another process, meeting in the real segment.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/ReceiverRig.h"
#include "tests/support/Signals.h"

#if defined(_WIN32)
#define popen _popen
#define pclose _pclose
#endif

namespace {

std::string SenderCommand(const std::string& args) {
  std::string path = ZT_SENDER_PATH;
#if defined(_WIN32)
  // Under Wine the build tree's Unix path is reached through drive Z:.
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path)
      if (c == '/') c = '\\';
  }
  return "\"\"" + path + "\" " + args + "\"";
#else
  return "'" + path + "' " + args;
#endif
}

// The sender's slot in our segment, once it has published a level of `ratio`.
bool WaitForLevel(const ReceiverRig& rig, double ratio) {
  const ReferenceLink& link = rig.plug->Link();
  uint8_t* data = SegmentData(link.Segment());
  if (!data) return false;
  for (int tries = 0; tries < 1000; ++tries) {
    for (int i = 0; i < kSlotCount; ++i)
      if (LoadFlag(data, i) == 1 && std::fabs(LoadSlot(data, i, 1) - ratio) < 1e-9 * ratio)
        return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool WaitForNoFlag(const ReceiverRig& rig) {
  uint8_t* data = SegmentData(rig.plug->Link().Segment());
  for (int tries = 0; tries < 1000; ++tries) {
    bool any = false;
    for (int i = 0; i < kSlotCount; ++i)
      any |= LoadFlag(data, i) == 1;
    if (!any) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(CrossProcess, ReceiverFollowsASenderInAnotherProcess) {
  ReceiverRig rig("xproc");
  FILE* sender = popen(SenderCommand("--levels -").c_str(), "w");
  ASSERT_NE(sender, nullptr);

  Noise noise(4);
  LoudnessProbe out(48000);
  const double amp = 0.02; // a quiet input
  for (double reference : {-20.0, -14.0, -30.0}) {
    fprintf(sender, "%.3f\n", reference);
    fflush(sender);
    ASSERT_TRUE(WaitForLevel(rig, DbToRatio(reference))) << "sender never published " << reference;
    // 3 s to settle, then the output's momentary loudness is the reference's.
    for (int block = 0; block < 3 * 48000 / 480; ++block) {
      rig.Run(480, [&](int, int) { return amp * noise.Next(); });
      out.Add(rig.out0.data(), rig.out1.data(), 480);
    }
    EXPECT_NEAR(out.Momentary(), reference, 0.1);
    EXPECT_NEAR(rig.plug->LastReferenceDb(), reference, 1e-6);
  }

  // When the sender goes away it lowers its flag, and the receiver stops matching.
  pclose(sender);
  ASSERT_TRUE(WaitForNoFlag(rig));
  for (int block = 0; block < 200; ++block)
    rig.Run(480, [&](int, int) { return amp * noise.Next(); });
  EXPECT_NEAR(rig.plug->SmoothedGain(), 1.0, 1e-9);
}

} // namespace
