#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "iplug/test/IPlugTest.h"

namespace {

PluginConfig Config(const char* io = "1-1 2-2", int params = 2) {
  PluginConfig c;
  c.paramCount = params;
  c.channelIO = io;
  c.presetCount = 1;
  c.effectName = "Test";
  c.makerName = "Maker";
  c.version = 0x00010002;
  return c;
}

TEST(Base, ChannelIOStringGivesPairsAndChannelCounts) {
  IPlugTest p({}, Config("1-1 2-2"));
  EXPECT_TRUE(p.LegalIO(1, -1));
  EXPECT_TRUE(p.LegalIO(2, 2));
  EXPECT_FALSE(p.LegalIO(2, 1));
  EXPECT_TRUE(p.LegalIO(-1, -1));
  EXPECT_EQ(p.NInChannels(), 2);
  EXPECT_EQ(p.NOutChannels(), 2);

  IPlugTest odd({}, Config("x-2 4-1"));
  ASSERT_EQ(odd.LegalIOPairs().size(), 2u);
  EXPECT_EQ(odd.LegalIOPairs()[0], std::make_pair(0, 0)); // unreadable numbers count as 0
  EXPECT_EQ(odd.NInChannels(), 4);
  EXPECT_EQ(odd.NOutChannels(), 1);

  IPlugTest none({}, Config(""));
  EXPECT_FALSE(none.LegalIO(-1, -1));
  EXPECT_EQ(none.NInChannels(), 0);
}

// An unconnected input reads the zeros of its scratch buffer.
TEST(Base, DefaultProcessCopiesConnectedInputAndZeroScratch) {
  IPlugTest p({}, Config());
  p.ChangeBlockSize(8);
  p.ConnectInputs(1, 1, false);
  std::vector<double> in0(8, 0.5), out0(8, 9.0), out1(8, 9.0);
  double* ins[] = {in0.data()};
  double* outs[] = {out0.data(), out1.data()};
  p.AttachInputs(0, 2, ins); // only the connected channel takes a host pointer
  p.AttachOutputs(0, 2, outs);
  p.RunBlock(8);
  EXPECT_EQ(out0, in0);
  EXPECT_EQ(out1, std::vector<double>(8, 0.0));
}

TEST(Base, FloatPathsConvertReplaceAndAccumulate) {
  IPlugTest p({}, Config());
  p.ChangeBlockSize(16);
  std::vector<float> in0(4, 0.25f), in1(4, -0.5f), out0(4, 1.0f), out1(4, 1.0f);
  float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {out0.data(), out1.data()};
  p.AttachInputs(0, 2, ins, 4);
  p.AttachOutputs(0, 2, outs);
  p.RunBlockAccumulating(4);
  EXPECT_EQ(out0, std::vector<float>(4, 1.25f));
  EXPECT_EQ(out1, std::vector<float>(4, 0.5f));
  p.AttachInputs(0, 2, ins, 4);
  p.AttachOutputs(0, 2, outs);
  p.RunBlockFloat(4);
  EXPECT_EQ(out0, in0);
  EXPECT_EQ(out1, in1);
}

TEST(Base, ChangeBlockSizeKeepsOrZeroesScratch) {
  IPlugTest p({}, Config());
  p.ChangeBlockSize(4);
  std::vector<float> in(4, 0.75f);
  float* ins[] = {in.data(), in.data()};
  p.AttachInputs(0, 2, ins, 4); // the scratch now holds 0.75
  std::vector<double> out0(4), out1(4);
  double* outs[] = {out0.data(), out1.data()};
  p.AttachOutputs(0, 2, outs);
  p.ChangeBlockSize(4);
  p.RunBlock(4);
  EXPECT_EQ(out0, std::vector<double>(4, 0.75));
  p.ChangeBlockSize(8);
  p.ConnectInputs(0, 2, false);
  p.RunBlock(4);
  EXPECT_EQ(out0, std::vector<double>(4, 0.0));
}

TEST(Base, HostCodesIgnoreCaseAndFollowTableOrder) {
  struct {
    const char* name;
    int code;
  } cases[] = {
      {"REAPER", 1},
      {"Avid ProTools", 2},
      {"ProTOOLS", 2},
      {"cubase live", 3},
      {"Ableton Live logic", 9},
      {"nothing known", 0},
      {"", 0},
      {"WaveLab Pro", 31},
      {"vst3plugintesthost", 27},
      {"Adobe Audition", 17},
      {"Digital Performer", 23},
  };
  for (auto [name, code] : cases)
    EXPECT_EQ(IPlugBase::LookupHostCode(name), code) << name;
  EXPECT_EQ(IPlugBase::LookupHostCode(nullptr), 0);
  std::string longName(300, 'x');
  longName += "reaper"; // beyond the first 255 characters
  EXPECT_EQ(IPlugBase::LookupHostCode(longName.c_str()), 0);

  IPlugTest p({}, Config());
  EXPECT_EQ(p.IdentifyHost(), -1);
  p.SetHost("REAPER", 0x00060000);
  EXPECT_EQ(p.IdentifyHost(), 1);
  EXPECT_EQ(p.HostVersion(), 0x00060000);
}

TEST(Base, VersionNumber) {
  IPlugTest p({}, Config());
  EXPECT_EQ(p.VersionNumber(true), 10002);
  EXPECT_EQ(p.VersionNumber(false), 65538);
}

// The editor path: value applied, host told, then ParameterChanged(3), all under one lock.
class Recorder : public IPlugTest {
public:
  Recorder() : IPlugTest({}, Config()) { GetParam(0)->ConfigureBool("On", false); }
  void ParameterChanged(int idx, int source) override {
    std::atomic<bool> otherGotLock{true};
    std::thread([&] {
      otherGotLock = Mutex().try_lock();
      if (otherGotLock) Mutex().unlock();
    }).join();
    changes.push_back(
        {idx, source, GetParam(idx)->Value(), !otherGotLock, static_cast<int>(events.size())});
  }
  struct Change {
    int idx, source;
    double value;
    bool locked;
    int eventsBefore;
  };
  std::vector<Change> changes;
};

TEST(Base, SetParameterFromGuiAppliesNotifiesThenChangesUnderLock) {
  Recorder p;
  p.SetParameterFromGUI(0, 1.0);
  ASSERT_EQ(p.changes.size(), 1u);
  EXPECT_EQ(p.changes[0].source, kSourceEditor);
  EXPECT_EQ(p.changes[0].value, 1.0);
  EXPECT_TRUE(p.changes[0].locked);
  EXPECT_EQ(p.changes[0].eventsBefore, 1); // the host heard first
  ASSERT_EQ(p.events.size(), 1u);
  EXPECT_EQ(p.events[0].kind, IPlugTest::HostEvent::Change);
  EXPECT_EQ(p.events[0].value, 1.0);
  p.SetParameterFromGUI(7, 1.0); // out of range: ignored
  p.SetParameterFromGUI(-1, 1.0);
  EXPECT_EQ(p.changes.size(), 1u);
  EXPECT_EQ(p.events.size(), 1u);
}

} // namespace
