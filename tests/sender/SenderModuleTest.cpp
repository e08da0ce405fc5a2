// The sender's and the receiver's modules loaded side by side, as a host with two tracks loads
// them: the receiver follows what the sender hears, and the sender's flag comes down whenever it
// stops sending.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/SenderSlot.h"
#include "plugin/SharedSegment.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"
#include "tests/sender/SenderSuite.h"
#include "tools/aaxhost/AaxHost.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr int kParamSend = 0, kParamChannel = 1;

// A stereo sine of the given amplitude, block by block, for one started plug-in.
struct Track {
  Track(std::unique_ptr<VstPlugin> p, double amp) : plug(std::move(p)), amplitude(amp) {
    for (int c = 0; c < 2; ++c) {
      in[c].resize(kBlock);
      out[c].resize(kBlock);
    }
  }
  void Block() {
    FillSine(in[0].data(), kBlock, amplitude, frame);
    in[1] = in[0];
    float* ins[] = {in[0].data(), in[1].data()};
    float* outs[] = {out[0].data(), out[1].data()};
    plug->ProcessReplacing(ins, outs, kBlock);
  }
  std::unique_ptr<VstPlugin> plug;
  double amplitude;
  long frame = 0;
  std::vector<float> in[2], out[2];
};

class Sender : public SenderSuite {
protected:
  std::unique_ptr<Track> NewTrack(VstModule* module, double amplitude) {
    auto plug = Started(module);
    return plug ? std::make_unique<Track>(std::move(plug), amplitude) : nullptr;
  }
  std::unique_ptr<Track> NewSender(double amplitude) { return NewTrack(sendModule, amplitude); }
  std::unique_ptr<Track> NewReceiver(double amplitude) {
    return NewTrack(receiveModule, amplitude);
  }
  // The segment as any other process sees it.
  uint8_t* Data() {
    if (!segment) {
      segment = shmem(kSegmentBaseName, kSegmentDataBytes);
      if (segment && segment->created) FreeAllSlots(SegmentData(segment.get()));
    }
    return SegmentData(segment.get());
  }
  // The slots of our senders, in order.
  std::vector<int> SenderSlots() {
    std::vector<int> slots;
    for (int i = 0; i < kSlotCount; ++i)
      if (sender_slot::ReadHeartbeat(LoadSlot(Data(), i, 0), nullptr)) slots.push_back(i);
    return slots;
  }
  // The loudness a slot publishes, LUFS.
  double PublishedLufs(int slot) { return 20.0 * std::log10(LoadSlot(Data(), slot, 1)); }

  TestSession session{"send"};
  std::unique_ptr<SharedSegment> segment;
};

// The receiver's output, measured the last 400 ms of `blocks` blocks of both tracks.
double FollowFor(Track& sender, Track& receiver, int blocks) {
  LoudnessProbe probe(static_cast<int>(kRate));
  std::vector<double> l(kBlock), r(kBlock);
  for (int b = 0; b < blocks; ++b) {
    sender.Block();
    receiver.Block();
    for (int k = 0; k < kBlock; ++k) {
      l[k] = receiver.out[0][k];
      r[k] = receiver.out[1][k];
    }
    probe.Add(l.data(), r.data(), kBlock);
  }
  return probe.Momentary();
}

TEST_F(Sender, PassesAudioThroughAndPublishesWhatItHears) {
  auto sender = NewSender(0.1);
  ASSERT_TRUE(sender);
  for (int b = 0; b < 60; ++b)
    sender->Block();
  for (int c = 0; c < 2; ++c)
    EXPECT_EQ(sender->out[c], sender->in[c]) << "channel " << c;
  const std::vector<int> slots = SenderSlots();
  ASSERT_EQ(slots.size(), 1u);
  EXPECT_EQ(LoadFlag(Data(), slots[0]), 1);
  // A sine of amplitude 0.1 (-20 dBFS) in both channels: about -20 LUFS after K-weighting.
  LoudnessProbe probe(static_cast<int>(kRate));
  std::vector<double> l(sender->in[0].begin(), sender->in[0].end());
  for (int b = 0; b < 40; ++b)
    probe.Add(l.data(), l.data(), kBlock);
  EXPECT_NEAR(PublishedLufs(slots[0]), probe.Momentary(), 0.1);
}

// At rates too low to measure loudness at (the meters wrote past their buffers at 16 and 17 Hz)
// the sender passes its audio and publishes silence, which receivers take for no reference.
TEST_F(Sender, RatesTooLowToMeasurePublishSilence) {
  for (double rate : {16.0, 17.0, 4000.0}) {
    SCOPED_TRACE(rate);
    auto sender = NewSender(0.1);
    ASSERT_TRUE(sender);
    sender->plug->Suspend();
    sender->plug->SetSampleRate(rate);
    sender->plug->Resume();
    for (int b = 0; b < 60; ++b)
      sender->Block();
    EXPECT_EQ(sender->out[0], sender->in[0]);
    const std::vector<int> slots = SenderSlots();
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(LoadSlot(Data(), slots[0], 1), 0.0);
  }
}

// A stopped transport changes nothing: the sender keeps publishing what it hears.
TEST_F(Sender, KeepsPublishingWhileTheTransportIsStopped) {
  auto sender = NewSender(0.1);
  ASSERT_TRUE(sender);
  sender->plug->transport.playing = false;
  for (int b = 0; b < 40; ++b)
    sender->Block();
  const int slot = SenderSlots().at(0);
  EXPECT_EQ(LoadFlag(Data(), slot), 1);
  const double loud = PublishedLufs(slot);
  sender->amplitude = 0.01;
  for (int b = 0; b < 40; ++b)
    sender->Block();
  EXPECT_NEAR(PublishedLufs(slot), loud - 20.0, 0.5);
}

// Send and Channel travel in the state, through the same chunk as the receiver's.
TEST_F(Sender, TheStateKeepsSendAndChannel) {
  auto sender = NewSender(0.1);
  ASSERT_TRUE(sender);
  sender->plug->SetParameter(kParamSend, 0.0f);
  sender->plug->SetParameter(kParamChannel, 7.0f / 128.0f);
  const std::vector<uint8_t> state = sender->plug->GetChunk(true);
  ASSERT_FALSE(state.empty());
  sender.reset();

  auto restored = NewSender(0.1);
  ASSERT_TRUE(restored);
  EXPECT_GT(restored->plug->SetChunk(state, true), 0);
  EXPECT_EQ(restored->plug->ParamDisplay(kParamSend), "off");
  EXPECT_EQ(restored->plug->ParamDisplay(kParamChannel), "7");
  restored->Block();
  EXPECT_EQ(LoadFlag(Data(), 6), 0) << "Send stays off";
  EXPECT_TRUE(sender_slot::ReadHeartbeat(LoadSlot(Data(), 6, 0), nullptr)) << "slot 7 is kept";
}

TEST_F(Sender, TheReceiverFollowsTheSender) {
  auto sender = NewSender(0.2);
  auto receiver = NewReceiver(0.02);
  ASSERT_TRUE(sender && receiver);
  const double out = FollowFor(*sender, *receiver, 600); // 6.4 s
  EXPECT_NEAR(out, PublishedLufs(SenderSlots().at(0)), 0.5);
}

TEST_F(Sender, TheFlagComesDownWheneverItStopsSending) {
  auto sender = NewSender(0.1);
  ASSERT_TRUE(sender);
  sender->Block();
  const int slot = SenderSlots().at(0);
  ASSERT_EQ(LoadFlag(Data(), slot), 1);

  sender->plug->Suspend();
  EXPECT_EQ(LoadFlag(Data(), slot), 0) << "suspended";
  sender->plug->Resume();
  sender->Block();
  EXPECT_EQ(LoadFlag(Data(), slot), 1) << "processing again";

  sender->plug->SetParameter(kParamSend, 0.0f);
  EXPECT_EQ(LoadFlag(Data(), slot), 0) << "Send off";
  sender->Block();
  EXPECT_EQ(LoadFlag(Data(), slot), 0) << "Send off, still processing";
  sender->plug->SetParameter(kParamSend, 1.0f);
  sender->Block();
  EXPECT_EQ(LoadFlag(Data(), slot), 1) << "Send on";

  sender->plug->Close();
  EXPECT_EQ(LoadFlag(Data(), slot), 0) << "closed";
  EXPECT_EQ(LoadSlot(Data(), slot, 0), kSlotFree) << "the slot is given back";
}

TEST_F(Sender, ReceiversFollowTheLowerSlotAndAChosenChannel) {
  auto receiver = NewReceiver(0.05); // counts itself in slot 0
  auto first = NewSender(0.3);       // about -10 LUFS
  auto second = NewSender(0.03);     // about -30 LUFS
  ASSERT_TRUE(first && second && receiver);
  second->Block();
  const std::vector<int> slots = SenderSlots();
  ASSERT_EQ(slots.size(), 2u);
  for (int b = 0; b < 10; ++b) {
    first->Block();
    second->Block();
  }
  EXPECT_EQ(sender_slot::FollowedSlot(Data()), slots[0]);
  auto both = [&](int blocks) {
    LoudnessProbe probe(static_cast<int>(kRate));
    std::vector<double> l(kBlock);
    for (int b = 0; b < blocks; ++b) {
      first->Block();
      second->Block();
      receiver->Block();
      for (int k = 0; k < kBlock; ++k)
        l[k] = receiver->out[0][k];
      probe.Add(l.data(), l.data(), kBlock);
    }
    return probe.Momentary();
  };
  const double followed = both(600);
  const double loud = PublishedLufs(slots[0]), quiet = PublishedLufs(slots[1]);
  ASSERT_GT(loud - quiet, 15.0);
  EXPECT_NEAR(followed, loud, 0.5) << "the lower slot wins";

  // The quiet sender chooses the receiver's own slot, below both: now it is followed.
  const int below = 0;
  ASSERT_LT(below, slots[0]);
  second->plug->SetParameter(kParamChannel, static_cast<float>((below + 1) / 128.0));
  second->Block();
  EXPECT_EQ(sender_slot::FollowedSlot(Data()), below);
  EXPECT_EQ(LoadSlot(Data(), slots[1], 0), kSlotFree) << "its old slot is given back";
  EXPECT_NEAR(both(600), PublishedLufs(below), 0.5);
  EXPECT_NEAR(PublishedLufs(below), quiet, 0.1);
}

// The AAX build of the sender through the mock host.
TEST_F(Sender, TheAaxSenderPublishesAndWithdraws) {
  std::string error;
  auto module = zt::aaxhost::AaxModule::Load(ZT_SEND_AAX_MODULE, &error);
  ASSERT_NE(module, nullptr) << error;
  auto plug = zt::aaxhost::AaxInstance::Create(*module, 1, &error);
  ASSERT_NE(plug, nullptr) << error;
  plug->transport.playing = true;
  // "Channel" is a choice among "Auto" and the 128 slots.
  EXPECT_EQ(plug->ValueString("2"), "Auto");
  EXPECT_EQ(plug->Automate("2", 5.0 / 128.0), 0);
  EXPECT_EQ(plug->ValueString("2"), "5");
  EXPECT_EQ(plug->Automate("2", 0.0), 0);
  std::vector<float> in[2], out[2];
  long frame = 0;
  for (int c = 0; c < 2; ++c) {
    in[c].assign(kBlock, 0.0f);
    out[c].assign(kBlock, 0.0f);
  }
  FillSine(in[0].data(), kBlock, 0.1, frame);
  in[1] = in[0];
  float* ins[] = {in[0].data(), in[1].data()};
  float* outs[] = {out[0].data(), out[1].data()};
  for (int b = 0; b < 60; ++b)
    plug->Render(ins, outs, kBlock);
  EXPECT_EQ(out[0], in[0]);
  const std::vector<int> slots = SenderSlots();
  ASSERT_EQ(slots.size(), 1u);
  EXPECT_EQ(LoadFlag(Data(), slots[0]), 1);
  EXPECT_GT(PublishedLufs(slots[0]), -30.0);
  // The host's master bypass: the sender sends nothing.
  plug->SetMasterBypass(true);
  plug->Render(ins, outs, kBlock);
  EXPECT_EQ(LoadFlag(Data(), slots[0]), 0) << "bypassed";
  plug->SetMasterBypass(false);
  plug->Render(ins, outs, kBlock);
  EXPECT_EQ(LoadFlag(Data(), slots[0]), 1) << "bypass off";
  EXPECT_EQ(plug->Automate("1", 0.0), 0);
  EXPECT_EQ(LoadFlag(Data(), slots[0]), 0) << "Send off";
  EXPECT_EQ(plug->Automate("1", 1.0), 0);
  plug->Render(ins, outs, kBlock);
  EXPECT_EQ(LoadFlag(Data(), slots[0]), 1);
  plug.reset();
  EXPECT_EQ(LoadFlag(Data(), slots[0]), 0) << "released";
  EXPECT_EQ(module->CanUnloadNow(), 0);
}

} // namespace
