// A sender in a process of its own (zt_send_host hosting the sender's module) and a receiver's
// module in this one, meeting in the real segment as two DAWs' tracks would: the receiver
// follows, the flag comes down when the sender stops, and a killed sender's flag is lowered by
// the next sender.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/SenderSlot.h"
#include "plugin/SharedSegment.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"
#include "tests/sender/SenderSuite.h"

#if defined(_WIN32)
#define popen _popen
#define pclose _pclose
#endif

namespace {

std::string Quoted(std::string path) {
#if defined(_WIN32)
  // Under Wine the build tree's Unix path is reached through drive Z:.
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path)
      if (c == '/') c = '\\';
  }
#endif
  return "\"" + path + "\"";
}

// The host process, fed commands one line at a time.
class SendHost {
public:
  SendHost() {
    std::string cmd = Quoted(ZT_SEND_HOST_PATH) + " " + Quoted(ZT_SEND_MODULE);
#if defined(_WIN32)
    cmd = "\"" + cmd + "\"";
#endif
    pipe_ = popen(cmd.c_str(), "w");
  }
  ~SendHost() {
    Close();
  }
  bool Ok() const {
    return pipe_ != nullptr;
  }
  void Command(const char* line) {
    fprintf(pipe_, "%s\n", line);
    fflush(pipe_);
  }
  void Close() {
    if (pipe_) pclose(pipe_);
    pipe_ = nullptr;
  }

private:
  FILE* pipe_ = nullptr;
};

class SenderProcess : public SenderSuite {
protected:
  void SetUp() override {
    SenderSuite::SetUp();
    if (HasFatalFailure()) return;
    segment = shmem(kSegmentBaseName, kSegmentDataBytes);
    ASSERT_NE(SegmentData(segment.get()), nullptr);
    if (segment->created) FreeAllSlots(Data());
  }
  uint8_t* Data() { return SegmentData(segment.get()); }

  // The slot of a sender of ours, -1 if none; waits up to 10 s for `flag` there.
  int WaitForSender(int flag) {
    for (int tries = 0; tries < 1000; ++tries) {
      for (int i = 0; i < kSlotCount; ++i)
        if (sender_slot::ReadHeartbeat(LoadSlot(Data(), i, 0), nullptr) &&
            LoadFlag(Data(), i) == flag)
          return i;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  // Until the sender in the other process has stopped beating (it played what it was told).
  bool WaitUntilQuiet(int slot) {
    double last = LoadSlot(Data(), slot, 0);
    int still = 0;
    for (int tries = 0; tries < 1000 && still < 10; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const double now = LoadSlot(Data(), slot, 0);
      still = std::memcmp(&now, &last, sizeof now) == 0 ? still + 1 : 0;
      last = now;
    }
    return still >= 10;
  }
  bool WaitForFlag(int slot, int flag) {
    for (int tries = 0; tries < 1000; ++tries) {
      if (LoadFlag(Data(), slot) == flag) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  TestSession session{"sendproc"};
  std::unique_ptr<SharedSegment> segment;
};

TEST_F(SenderProcess, TheReceiverFollowsAndTheFlagFollowsTheSender) {
  auto receiver = Started(receiveModule);
  ASSERT_TRUE(receiver);
  SendHost host;
  ASSERT_TRUE(host.Ok());
  host.Command("play 0.2 60");
  const int slot = WaitForSender(1);
  ASSERT_GE(slot, 0) << "the sender never raised its flag";
  ASSERT_TRUE(WaitForFlag(slot, 1));
  ASSERT_TRUE(WaitUntilQuiet(slot)) << "the 60 blocks never ended";
  const double published = 20.0 * std::log10(LoadSlot(Data(), slot, 1));
  EXPECT_NEAR(published, -13.7, 1.0) << "a 997 Hz sine at -14 dBFS";

  // A quiet input follows the sender's loudness.
  std::vector<float> in(512), out0(512), out1(512);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out0.data(), out1.data()};
  LoudnessProbe probe(48000);
  std::vector<double> l(512), r(512);
  long frame = 0;
  for (int b = 0; b < 600; ++b) {
    FillSine(in.data(), 512, 0.02, frame);
    ASSERT_TRUE(receiver->ProcessReplacing(ins, outs, 512));
    for (int k = 0; k < 512; ++k) {
      l[k] = out0[k];
      r[k] = out1[k];
    }
    probe.Add(l.data(), r.data(), 512);
  }
  EXPECT_NEAR(probe.Momentary(), published, 0.5);

  host.Command("suspend");
  EXPECT_TRUE(WaitForFlag(slot, 0)) << "suspended";
  host.Command("resume");
  host.Command("play 0.2 2");
  EXPECT_TRUE(WaitForFlag(slot, 1)) << "processing again";
  host.Command("send 0");
  EXPECT_TRUE(WaitForFlag(slot, 0)) << "Send off";
  host.Command("send 1");
  host.Command("play 0.2 2");
  EXPECT_TRUE(WaitForFlag(slot, 1)) << "Send on";
  host.Command("close");
  EXPECT_TRUE(WaitForFlag(slot, 0)) << "closed";
  host.Command("exit");
  host.Close();
  EXPECT_EQ(LoadSlot(Data(), slot, 0), kSlotFree) << "the slot was given back";
}

// A sender's process that is killed cannot lower its flag; the next sender does, once the
// heartbeat has stood still for the stale time. A slot of another sender is never touched.
TEST_F(SenderProcess, TheNextSenderLowersTheFlagOfAKilledOne) {
  SendHost host;
  ASSERT_TRUE(host.Ok());
  host.Command("play 0.1 20");
  const int dead = WaitForSender(1);
  ASSERT_GE(dead, 0);
  host.Command("kill");
  host.Close();
  ASSERT_EQ(LoadFlag(Data(), dead), 1) << "the killed sender's flag stays up";
  const int foreign = dead + 1;
  StoreSlot(Data(), foreign, 0, 1.0);
  StoreSlot(Data(), foreign, 1, 0.25);
  StoreFlag(Data(), foreign, 1);

  auto early = Started(sendModule); // too early: the heartbeat is fresh
  EXPECT_EQ(LoadFlag(Data(), dead), 1);
  early.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(sender_slot::kStaleMs + 300));
  auto next = Started(sendModule);
  ASSERT_TRUE(next);
  EXPECT_EQ(LoadFlag(Data(), dead), 0) << "the stale flag is lowered";
  EXPECT_EQ(LoadFlag(Data(), foreign), 1);
  EXPECT_EQ(LoadSlot(Data(), foreign, 0), 1.0);
  EXPECT_EQ(LoadSlot(Data(), foreign, 1), 0.25);
}

} // namespace
