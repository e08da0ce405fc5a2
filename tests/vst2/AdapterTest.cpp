// The VST2 adapter in-process, for what the receiver's module cannot show from outside: the time
// queries it never makes, configurations other than the receiver's, host identification codes
// and the construction lock.
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "iplug/vst2/IPlugVST.h"

namespace {

// A scripted host: answers the time query with `time` (or null) and records the opcodes.
struct FakeHost {
  VstTimeInfo time{};
  bool hasTime = true;
  const char* productName = "";
  intptr_t version = 0;
  std::vector<std::pair<int32_t, intptr_t>> calls; // opcode, value
  std::vector<std::pair<int32_t, float>> indexOpt; // index, opt of the same calls
  intptr_t processLevel = 0;
  std::vector<MidiMessage> midiOut;
  std::vector<int32_t> sysexOutSizes;
};
FakeHost* gHost = nullptr;

intptr_t VST_CALL HostCallback(VstEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
  FakeHost& h = *gHost;
  h.calls.emplace_back(opcode, value);
  h.indexOpt.emplace_back(index, opt);
  switch (opcode) {
  case kHostGetCurrentProcessLevel:
    return h.processLevel;
  case kHostGetTime:
    return h.hasTime ? reinterpret_cast<intptr_t>(&h.time) : 0;
  case kHostGetProductString:
    strcpy(static_cast<char*>(ptr), h.productName);
    return 1;
  case kHostGetVendorVersion:
    return h.version;
  case kHostProcessEvents: {
    const auto* list = static_cast<const VstEventList*>(ptr);
    for (int i = 0; i < list->numEvents; ++i) {
      const VstEvent* ev = list->events[i];
      if (ev->type == kVstMidiType) {
        const auto* m = reinterpret_cast<const VstMidiEvent*>(ev);
        EXPECT_EQ(m->byteSize, 32);
        h.midiOut.push_back({m->deltaFrames, m->midiData[0], m->midiData[1], m->midiData[2]});
      } else if (ev->type == kVstSysExType) {
        EXPECT_EQ(ev->byteSize, 48);
        h.sysexOutSizes.push_back(reinterpret_cast<const VstSysExEvent*>(ev)->dumpBytes);
      }
    }
    return 1;
  }
  default:
    return 0;
  }
}

PluginConfig Config(const char* io, bool midi = false, bool chunks = false, bool instrument = false,
                    int latency = 0) {
  PluginConfig c;
  c.paramCount = 2;
  c.channelIO = io;
  c.presetCount = 0;
  c.effectName = "Mini";
  c.makerName = "Maker";
  c.version = 0x00020304;
  c.uniqueId = FourCC('M', 'i', 'n', 'i');
  c.latency = latency;
  c.doesMidi = midi;
  c.doesChunks = chunks;
  c.isInstrument = instrument;
  return c;
}

std::atomic<int> gConstructing{0};
std::atomic<int> gOverlaps{0};

class MiniPlug : public IPlugVST {
public:
  MiniPlug(IPlugInstanceInfo info, const PluginConfig& config = Config("1-1 2-2"))
      : IPlugVST(info, config) {
    if (gConstructing.fetch_add(1) != 0) gOverlaps.fetch_add(1);
    // Long enough that two unserialised constructions would overlap.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    GetParam(0)->ConfigureDouble("Gain", 0.0, -10.0, 10.0, 0.5, "dB");
    GetParam(1)->ConfigureBool("Switch", false);
    gConstructing.fetch_sub(1);
  }
  void ParameterChanged(int idx, int source) override { changes.emplace_back(idx, source); }
  void ProcessSysExMessage(const SysExMessage& msg) override { sysexIn.push_back(msg.size); }
  std::vector<std::pair<int, int>> changes;
  std::vector<int> sysexIn;
};

class Adapter : public testing::Test {
protected:
  void SetUp() override { gHost = &host; }
  void TearDown() override { gHost = nullptr; }
  FakeHost host;
};

TEST_F(Adapter, HostSamplePositionRoundsHalfUpAndRefusesWhatIsNoPosition) {
  MiniPlug plug({HostCallback});
  struct Case {
    double pos;
    int expected;
  } cases[] = {{1000.4, 1000}, {1000.5, 1001}, {0.0, 0}, {-3.0, 0}, {NAN, 0}, {3e9, INT_MAX}};
  for (const Case& c : cases) {
    host.time.samplePos = c.pos;
    EXPECT_EQ(plug.HostSamplePosition(), c.expected) << c.pos;
  }
  EXPECT_EQ(host.calls.back(), std::make_pair(int32_t{kHostGetTime}, intptr_t{0}));
  host.hasTime = false;
  EXPECT_EQ(plug.HostSamplePosition(), 0);
}

TEST_F(Adapter, ReadTransportTakesOnlyWhatTheHostMarksValid) {
  MiniPlug plug({HostCallback});
  const TransportInfo fresh;
  struct Case {
    const char* what;
    int32_t flags;
    double ppq, tempo, bar, cycleStart, cycleEnd;
    int32_t num, den;
    TransportInfo expected;
  };
  auto with = [&](auto change) {
    TransportInfo t = fresh;
    t.samplePos = 4410.0;
    change(t);
    return t;
  };
  const Case cases[] = {
      {"tempo only", kVstTempoValid, 8, 98.5, 4, 1, 9, 3, 8,
       with([](TransportInfo& t) { t.tempo = 98.5; })},
      {"no validity bit: not even playing", kVstTransportPlaying | kVstTransportCycleActive, 8,
       98.5, 4, 1, 9, 3, 8, fresh},
      {"everything", kVstTimeMaskAll | kVstTransportPlaying | kVstTransportCycleActive, 8, 98.5, 4,
       1, 9, 3, 8, with([](TransportInfo& t) {
         t.ppqPos = 8, t.tempo = 98.5, t.lastBarPos = 4, t.cycleStart = 1, t.cycleEnd = 9;
         t.numerator = 3, t.denominator = 8, t.playing = true, t.cycleActive = true;
       })},
      {"valid flags over unusable values", kVstTimeMaskAll | kVstTransportPlaying, -1, 0, -2, -1, 9,
       0, 8, with([](TransportInfo& t) { t.playing = true; })},
      {"cycle needs both ends", kVstCyclePosValid, 0, 0, 0, 2, -1, 0, 0, with([](auto&) {})},
  };
  for (const Case& c : cases) {
    host.time = {};
    host.time.samplePos = 4410.0;
    host.time.flags = c.flags;
    host.time.ppqPos = c.ppq;
    host.time.tempo = c.tempo;
    host.time.barStartPos = c.bar;
    host.time.cycleStartPos = c.cycleStart;
    host.time.cycleEndPos = c.cycleEnd;
    host.time.timeSigNumerator = c.num;
    host.time.timeSigDenominator = c.den;
    TransportInfo got;
    plug.ReadTransport(got);
    SCOPED_TRACE(c.what);
    EXPECT_EQ(got.samplePos, c.expected.samplePos);
    EXPECT_EQ(got.ppqPos, c.expected.ppqPos);
    EXPECT_EQ(got.tempo, c.expected.tempo);
    EXPECT_EQ(got.lastBarPos, c.expected.lastBarPos);
    EXPECT_EQ(got.cycleStart, c.expected.cycleStart);
    EXPECT_EQ(got.cycleEnd, c.expected.cycleEnd);
    EXPECT_EQ(got.numerator, c.expected.numerator);
    EXPECT_EQ(got.denominator, c.expected.denominator);
    EXPECT_EQ(got.playing, c.expected.playing);
    EXPECT_EQ(got.cycleActive, c.expected.cycleActive);
    EXPECT_EQ(host.calls.back(), std::make_pair(int32_t{kHostGetTime}, intptr_t{0x3E00}));
  }
  host.hasTime = false;
  TransportInfo got;
  plug.ReadTransport(got);
  EXPECT_EQ(got.samplePos, fresh.samplePos);
  EXPECT_FALSE(got.playing);
}

TEST_F(Adapter, TempoAndTimeSignatureQueries) {
  MiniPlug plug({HostCallback});
  host.time.flags = kVstTempoValid | kVstTimeSigValid;
  host.time.tempo = 140.0;
  host.time.timeSigNumerator = 0; // copied, unlike in ReadTransport
  host.time.timeSigDenominator = 4;
  EXPECT_EQ(plug.HostTempo(), 140.0);
  int num = -1, den = -1;
  plug.HostTimeSignature(&num, &den);
  EXPECT_EQ(num, 0);
  EXPECT_EQ(den, 4);
  host.time.flags = 0;
  EXPECT_EQ(plug.HostTempo(), 0.0);
  plug.HostTimeSignature(&num, &den);
  EXPECT_EQ(num, 0);
  EXPECT_EQ(den, 0);
  host.hasTime = false;
  EXPECT_EQ(plug.HostTempo(), 0.0);

  MiniPlug hostless({nullptr});
  EXPECT_EQ(hostless.HostTempo(), 0.0);
  EXPECT_EQ(hostless.HostSamplePosition(), 0);
  EXPECT_EQ(hostless.IdentifyHost(), 0);
}

TEST_F(Adapter, IdentifyHostPacksTheDecimalVersionAndAsksOnce) {
  struct Case {
    const char* name;
    intptr_t version;
    int code;
    int packed;
    bool asksVersion;
  } cases[] = {
      {"REAPER", 5203, 1, 0x00003403, true},
      {"Cubase", 50203, 3, 0x00050203, true},
      {"Adobe Audition", 10000, 17, 0x00010000, true},
      {"Something Else", 123, 0, 0x00000117, true},
      {"", 5203, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host = {};
    host.productName = c.name;
    host.version = c.version;
    MiniPlug plug({HostCallback});
    EXPECT_EQ(plug.IdentifyHost(), c.code);
    EXPECT_EQ(plug.IdentifyHost(), c.code);
    int asked33 = 0, asked34 = 0;
    for (auto [op, v] : host.calls) {
      asked33 += op == kHostGetProductString;
      asked34 += op == kHostGetVendorVersion;
    }
    EXPECT_EQ(asked33, 1);
    EXPECT_EQ(asked34, c.asksVersion ? 1 : 0);
    EXPECT_EQ(plug.HostVersion(), c.packed);
  }
}

// Hosts that mishandle more than two channels get the extra inputs unconnected.
TEST_F(Adapter, InitForHostLimitsExtraChannelsForSomeHosts) {
  for (const char* name : {"Adobe Audition", "REAPER"}) {
    host = {};
    host.productName = name;
    MiniPlug plug({HostCallback}, Config("4-4"));
    VstEffect* e = plug.Effect();
    e->dispatcher(e, kEffOpen, 0, 0, nullptr, 0.0f);
    const bool limited = strcmp(name, "REAPER") != 0;
    EXPECT_TRUE(plug.IsInChannelConnected(1)) << name;
    EXPECT_EQ(plug.IsInChannelConnected(2), !limited) << name;
    EXPECT_EQ(plug.IsInChannelConnected(3), !limited) << name;
    EXPECT_TRUE(plug.IsOutChannelConnected(3)) << name;
    EXPECT_EQ(e->numInputs, 4);
  }
}

TEST_F(Adapter, EffectRecordFollowsTheConfiguration) {
  struct Case {
    const char* io;
    bool midi, chunks, instrument;
    int latency;
    int32_t flags;
    int32_t inType, outType;
    intptr_t category;
  } cases[] = {
      {"1-1 2-2", false, false, false, 0, 0x1018, kSpeakerArrStereo, kSpeakerArrStereo, 1},
      {"2-2", false, true, false, 64, 0x1030, kSpeakerArrStereo, kSpeakerArrStereo, 1},
      {"0-2", true, false, true, 0, 0x1110, kSpeakerArrEmpty, kSpeakerArrStereo, 2},
      {"1-1", false, false, false, 0, 0x1018, kSpeakerArrMono, kSpeakerArrMono, 1},
      {"6-6 1-2", false, true, true, 0, 0x1138, kSpeakerArrUserDefined, kSpeakerArrUserDefined, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.io);
    MiniPlug plug({HostCallback}, Config(c.io, c.midi, c.chunks, c.instrument, c.latency));
    VstEffect* e = plug.FinishCreation();
    EXPECT_EQ(e->flags, c.flags);
    EXPECT_EQ(e->initialDelay, c.latency);
    EXPECT_EQ(e->numPrograms, 1); // raised from the configured 0
    EXPECT_EQ(e->version, 20304);
    EXPECT_EQ(e->dispatcher(e, kEffGetPlugCategory, 0, 0, nullptr, 0.0f), c.category);
    VstSpeakerArrangement* in = nullptr;
    VstSpeakerArrangement* out = nullptr;
    e->dispatcher(e, kEffGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out, 0);
    ASSERT_TRUE(in && out);
    EXPECT_EQ(in->type, c.inType);
    EXPECT_EQ(out->type, c.outType);
    EXPECT_EQ(in->numChannels, plug.NInChannels());
    char doesMidi[] = "receiveVstMidiEvent";
    EXPECT_EQ(e->dispatcher(e, kEffCanDo, 0, 0, doesMidi, 0.0f), c.midi ? 1 : 0);
  }
}

TEST_F(Adapter, MidiPlugAsksForMidiEveryCallbackAndPassesEventsThrough) {
  MiniPlug plug({HostCallback}, Config("2-2", true));
  VstEffect* e = plug.Effect();
  std::vector<float> buf(32, 0.0f);
  float* io[] = {buf.data(), buf.data() + 16};
  e->processReplacing(e, io, io, 16);
  e->process(e, io, io, 16);
  std::vector<double> dbuf(32, 0.0);
  double* dio[] = {dbuf.data(), dbuf.data() + 16};
  e->processDoubleReplacing(e, dio, dio, 16);
  int wants = 0;
  for (auto [op, v] : host.calls)
    wants += op == kHostWantMidi;
  EXPECT_EQ(wants, 3);

  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof note;
  note.deltaFrames = 12;
  note.midiData[0] = 0x90, note.midiData[1] = 60, note.midiData[2] = 100;
  uint8_t dump[5] = {0xF0, 1, 2, 3, 0xF7};
  VstSysExEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof sysex;
  sysex.dumpBytes = 5;
  sysex.sysexDump = dump;
  VstSysExEvent badSysex = sysex;
  badSysex.sysexDump = nullptr; // a size without bytes is skipped
  struct {
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[4];
  } list{4,
         0,
         {reinterpret_cast<VstEvent*>(&note), nullptr, reinterpret_cast<VstEvent*>(&sysex),
          reinterpret_cast<VstEvent*>(&badSysex)}};
  EXPECT_EQ(e->dispatcher(e, kEffProcessEvents, 0, 0, &list, 0.0f), 1);
  ASSERT_EQ(host.midiOut.size(), 1u);
  EXPECT_EQ(host.midiOut[0].offset, 12);
  EXPECT_EQ(host.midiOut[0].status, 0x90);
  EXPECT_EQ(host.midiOut[0].data1, 60);
  EXPECT_EQ(host.midiOut[0].data2, 100);
  EXPECT_EQ(plug.sysexIn, std::vector<int>{5});

  const uint8_t out[3] = {0xF0, 0x7E, 0xF7};
  EXPECT_TRUE(plug.SendSysExMessage({7, 3, out}));
  EXPECT_EQ(host.sysexOutSizes, std::vector<int32_t>{3});
}

// Normalised host values go through ApplyNormalized and reach ParameterChanged as host changes.
TEST_F(Adapter, SetParameterEntryAppliesNormalisedValues) {
  MiniPlug plug({HostCallback});
  VstEffect* e = plug.Effect();
  struct Case {
    int32_t index;
    float value;
    double expectGain;
    bool changed;
  } cases[] = {
      {0, 0.75f, 5.0, true},   {0, 0.5f, 0.0, true},
      {0, NAN, 0.0, false},    {0, 7.0f, 10.0, true},
      {0, -1.0f, -10.0, true}, {-1, 0.5f, -10.0, false},
      {2, 0.5f, -10.0, false}, {INT32_MAX, 0.5f, -10.0, false},
  };
  for (const Case& c : cases) {
    plug.changes.clear();
    e->setParameter(e, c.index, c.value);
    EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), c.expectGain) << c.index << " " << c.value;
    if (c.changed)
      EXPECT_EQ(plug.changes, (std::vector<std::pair<int, int>>{{c.index, kSourceHost}}));
    else
      EXPECT_TRUE(plug.changes.empty());
  }
  e->setParameter(e, 1, 0.6f); // a Bool keeps the host's value at its step of 0.1
  EXPECT_DOUBLE_EQ(plug.GetParam(1)->Value(), 0.6);
  EXPECT_FLOAT_EQ(e->getParameter(e, 1), 0.6f);
  // Nothing goes back to the host: it made the change itself.
  for (auto [op, v] : host.calls)
    EXPECT_NE(op, kHostAutomate);
}

TEST_F(Adapter, NotificationsReachTheHostCallback) {
  MiniPlug plug({HostCallback});
  plug.BeginParameterEdit(1);
  plug.SetParameterFromGUI(1, 1.0);
  plug.EndParameterEdit(1);
  plug.NotifyHostPresetChange();
  const std::vector<std::pair<int32_t, intptr_t>> calls = {
      {kHostBeginEdit, 0}, {kHostAutomate, 0}, {kHostEndEdit, 0}, {kHostUpdateDisplay, 0}};
  EXPECT_EQ(host.calls, calls);
  const std::vector<std::pair<int32_t, float>> indexOpt = {
      {1, 0.0f}, {1, 1.0f}, {1, 0.0f}, {0, 0.0f}};
  EXPECT_EQ(host.indexOpt, indexOpt);
  EXPECT_EQ(plug.changes, (std::vector<std::pair<int, int>>{{1, kSourceEditor}}));

  EXPECT_FALSE(plug.HostRendersOffline());
  host.processLevel = kVstProcessLevelOffline;
  EXPECT_TRUE(plug.HostRendersOffline());

  plug.SetLatencySamples(256);
  EXPECT_EQ(plug.Effect()->initialDelay, 256);
  EXPECT_EQ(plug.Latency(), 256);
}

TEST_F(Adapter, ConstructionLockSerialisesConcurrentCreation) {
  gOverlaps = 0;
  std::vector<VstEffect*> effects(4, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < effects.size(); ++i)
    threads.emplace_back([&, i] { effects[i] = VSTCreateInstance<MiniPlug>(HostCallback); });
  for (std::thread& t : threads)
    t.join();
  EXPECT_EQ(gOverlaps.load(), 0);
  for (VstEffect* e : effects) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kVstMagic);
    e->dispatcher(e, kEffClose, 0, 0, nullptr, 0.0f);
  }
}

} // namespace
