// The sender's audio path allocates nothing and takes no lock but the instance mutex, counted by
// the allocation probe: measuring, publishing, the heartbeat, the stale check and the editor's
// texts, in every state of Send, and looking for a slot when there is none.
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/SharedSegment.h"
#include "plugin/ZolvarTesk_Send.h"
#include "tests/support/AllocProbe.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"

namespace {

TEST(SenderAudioPath, ProcessBlockAllocatesNothingAndLocksOnlyTheInstance) {
  TestSession session("sendalloc");
  auto plug = std::make_unique<ZolvarTesk_Send>(IPlugInstanceInfo{});
  plug->recordEvents = false;
  plug->StoreSampleRate(48000.0);
  Noise noise(9);
  for (int frames : {1, 16, 512, 4096, 10000}) {
    plug->ChangeBlockSize(frames);
    plug->Reset();
    std::vector<double> in0(frames), in1(frames), out0(frames), out1(frames);
    double* ins[2] = {in0.data(), in1.data()};
    double* outs[2] = {out0.data(), out1.data()};
    for (double send : {1.0, 0.0, 1.0}) {
      plug->GetParam(ParamSend)->SetClamped(send);
      plug->ParameterChanged(ParamSend, kSourceHost);
      plug->ProcessDouble(ins, outs, frames); // the first block may warm up
      // 1.2 s of audio at the least, so that the stale check runs too.
      const int blocks = std::max(50, 57600 / frames);
      const ProbeCounts c = AllocProbe::Measure(
          [&] {
            for (int b = 0; b < blocks; ++b) {
              for (int k = 0; k < frames; ++k) {
                in0[k] = 0.2 * noise.Next();
                in1[k] = 0.1 * noise.Next();
              }
              plug->ProcessDouble(ins, outs, frames);
            }
          },
          plug->Mutex().native_handle());
      EXPECT_EQ(c.allocations, 0) << frames << " frames, Send " << send;
      EXPECT_EQ(c.foreignLocks, 0) << frames << " frames, Send " << send;
    }
  }
  EXPECT_GE(plug->Slot(), 0);
}

// Without a slot (every one kept by other senders) the sender looks for one once per millisecond
// of audio, and a host changing the channel on the audio thread re-claims: neither allocates.
TEST(SenderAudioPath, LookingForASlotAllocatesNothing) {
  TestSession session("sendfull");
  auto segment = shmem(kSegmentBaseName, kSegmentDataBytes);
  uint8_t* data = SegmentData(segment.get());
  ASSERT_NE(data, nullptr);
  for (int i = 0; i < kSlotCount; ++i) {
    StoreSlot(data, i, 0, 7.0);
    StoreSlot(data, i, 1, 0.5);
    StoreFlag(data, i, 1);
  }
  auto plug = std::make_unique<ZolvarTesk_Send>(IPlugInstanceInfo{});
  plug->recordEvents = false;
  plug->StoreSampleRate(48000.0);
  plug->ChangeBlockSize(16);
  plug->Reset();
  ASSERT_EQ(plug->Slot(), -1);
  std::vector<double> in(16, 0.1), out0(16), out1(16);
  double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {out0.data(), out1.data()};
  plug->ProcessDouble(ins, outs, 16);
  const ProbeCounts c = AllocProbe::Measure(
      [&] {
        for (int b = 0; b < 6000; ++b) {
          if (b == 3000) {
            plug->GetParam(ParamChannel)->SetClamped(5.0);
            plug->ParameterChanged(ParamChannel, kSourceHost);
          }
          plug->ProcessDouble(ins, outs, 16);
        }
      },
      plug->Mutex().native_handle());
  EXPECT_EQ(c.allocations, 0);
  EXPECT_EQ(c.foreignLocks, 0);
  EXPECT_EQ(plug->Slot(), -1);
  EXPECT_EQ(LoadSlot(data, 4, 0), 7.0) << "another sender's slot is left alone";
}

} // namespace
