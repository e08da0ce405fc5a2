// The host harness against the probe plug-in (ProbePlugin.cpp), which reports what it saw of
// its host: module loading and its failures, hostile entry points, the host callback's answers
// inside the entry call, on open and in process, the transport model, records, chunks, close.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/vsthost/ProbeReport.h"
#include "tools/vsthost/VstHost.h"

namespace {

// The layout the probe and our adapter share, at the offsets of the published 64-bit interface
// (the sizes are checked in the header itself).
static_assert(offsetof(VstEffect, dispatcher) == 8);
static_assert(offsetof(VstEffect, numPrograms) == 40);
static_assert(offsetof(VstEffect, flags) == 56);
static_assert(offsetof(VstEffect, initialDelay) == 80);
static_assert(offsetof(VstEffect, ioRatio) == 92);
static_assert(offsetof(VstEffect, uniqueId) == 112);
static_assert(offsetof(VstEffect, processReplacing) == 120);
static_assert(offsetof(VstTimeInfo, ppqPos) == 24);
static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, flags) == 84);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstSysExEvent, dumpBytes) == 16);
static_assert(offsetof(VstSysExEvent, sysexDump) == 32);
static_assert(offsetof(VstPinProperties, flags) == 64);
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);
static_assert(offsetof(VstSpeakerProperties, name) == 16);
static_assert(offsetof(VstKeyName, keyName) == 8);

struct Loaded {
  std::unique_ptr<VstModule> module;
  std::unique_ptr<VstPlugin> plugin;
};

std::unique_ptr<VstModule> LoadOrFail(const char* path) {
  std::string error;
  auto module = VstModule::Load(path, &error);
  EXPECT_TRUE(module) << error;
  return module;
}

Loaded Probe(const char* path = ZT_PROBE) {
  Loaded l;
  l.module = LoadOrFail(path);
  if (!l.module) return l;
  std::string error;
  l.plugin = VstPlugin::Create(*l.module, &error);
  EXPECT_TRUE(l.plugin) << error;
  return l;
}

ProbeReport Report(VstPlugin& plugin) {
  ProbeReport r{};
  const std::vector<uint8_t> bytes = plugin.GetChunk(true);
  EXPECT_EQ(bytes.size(), sizeof(ProbeReport));
  if (bytes.size() == sizeof(ProbeReport)) memcpy(&r, bytes.data(), sizeof r);
  return r;
}

// Two channels of `frames` samples, plus a guard after each block that a plug-in must not touch.
template <typename T> struct Stereo {
  static constexpr int kGuard = 16;
  std::vector<T> data[2];
  T* ptrs[2];
  Stereo(int frames, T value) {
    for (int c = 0; c < 2; ++c) {
      data[c].assign(frames + kGuard, T(-7));
      for (int i = 0; i < frames; ++i)
        data[c][i] = value * T(c + 1);
      ptrs[c] = data[c].data();
    }
  }
};

TEST(VstModule, LoadFailuresAreOneLineErrors) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zt-vsthost-test";
  std::filesystem::create_directories(dir);
  const std::string text = (dir / "not-a-module.so").string();
  std::ofstream(text) << "this is text, not a shared library\n";

  struct Case {
    std::string path;
    const char* expected;
  };
  const Case cases[] = {
      {(dir / "missing.so").string(), "no such file: "},
      {"", "no such file"},
      {dir.string(), "is a directory"},
      {text, "cannot load "},
      {ZT_PROBE_NONE, "is no VST2 module: it exports neither VSTPluginMain nor main"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(VstModule::Load(c.path, &error)) << c.path;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.path << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  EXPECT_FALSE(VstModule::Load(text, nullptr)); // no error text wanted: still no crash
  std::filesystem::remove_all(dir);
}

TEST(VstModule, PrefersVSTPluginMainAndFallsBackToMain) {
  auto both = LoadOrFail(ZT_PROBE);
  auto legacy = LoadOrFail(ZT_PROBE_MAIN);
  ASSERT_TRUE(both && legacy);
  EXPECT_EQ(both->EntryName(), "VSTPluginMain");
  EXPECT_EQ(legacy->EntryName(), "main");
  std::string error;
  auto plugin = VstPlugin::Create(*legacy, &error);
  ASSERT_TRUE(plugin) << error;
  EXPECT_EQ(plugin->EffectName(), "ZT Probe");
}

TEST(VstPlugin, HostileEntryPointsAreClearErrors) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {ZT_PROBE_NULL, "created no effect (null record)"},
      {ZT_PROBE_MAGIC, "wrong magic 0x12345678 (expected 0x56737450)"},
      {ZT_PROBE_NODISPATCH, "without a dispatcher"},
  };
  for (const Case& c : cases) {
    auto module = LoadOrFail(c.path);
    ASSERT_TRUE(module);
    std::string error;
    EXPECT_FALSE(VstPlugin::Create(*module, &error)) << c.path;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_NE(error.find(c.path), std::string::npos) << "names the module: " << error;
  }
}

TEST(VstPlugin, ReadsNamesParametersAndRecord) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  p.Open();
  EXPECT_EQ(p.EffectName(), "ZT Probe");
  EXPECT_EQ(p.VendorString(), "ZolvarTesk");
  EXPECT_EQ(p.ProductString(), "Host probe");
  EXPECT_EQ(p.VendorVersion(), 7);
  EXPECT_EQ(p.UniqueId(), kProbeId);
  EXPECT_EQ(p.Version(), 42);
  EXPECT_EQ(p.Flags(),
            kEffFlagsCanReplacing | kEffFlagsProgramChunks | kEffFlagsCanDoubleReplacing);
  EXPECT_EQ(p.NumParams(), 2);
  EXPECT_EQ(p.NumInputs(), 2);
  EXPECT_EQ(p.NumOutputs(), 2);
  EXPECT_EQ(p.NumPrograms(), 1);
  EXPECT_EQ(p.InitialDelay(), 3);
  EXPECT_EQ(p.CanDo("receiveVstTimeInfo"), 1);
  EXPECT_EQ(p.CanDo("somethingElse"), 0);
  EXPECT_EQ(p.CanDo(nullptr), 0);

  EXPECT_EQ(p.ParamName(0), "Gain");
  EXPECT_EQ(p.ParamLabel(0), "x");
  EXPECT_EQ(p.ParamDisplay(0), "1.000");
  p.SetParameter(0, 0.25f);
  EXPECT_FLOAT_EQ(p.GetParameter(0), 0.25f);
  EXPECT_EQ(p.ParamDisplay(0), "0.500");
  EXPECT_EQ(p.SetParameterText(1, "12.5"), 1);
  EXPECT_EQ(p.ParamDisplay(1), "12.500");
  EXPECT_EQ(p.SetParameterText(0, "3"), 0);
  // Indices go through unchecked: the plug-in answers them.
  EXPECT_EQ(p.ParamName(5), "");
  EXPECT_EQ(p.GetParameter(-1), 0.0f);
}

TEST(VstPlugin, AnswersCallsMadeInsideTheEntryCallAndOnOpen) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  // Made before the host knew the record, with a null effect and with the unreturned one.
  ASSERT_GE(p.calls.size(), 3u);
  EXPECT_EQ(p.calls[0].opcode, kHostVersion);
  EXPECT_EQ(p.calls[1].opcode, kHostGetSampleRate);
  EXPECT_EQ(p.calls[2].opcode, kHostGetProductString);
  ProbeReport r = Report(p);
  EXPECT_EQ(r.entryVersion, 2400);
  EXPECT_EQ(r.entrySampleRate, 44100);
  EXPECT_STREQ(r.entryProduct, "ZolvarTesk Host");

  p.hostProductName = "Reaper Test";
  p.hostVersion = 5203;
  p.SetBlockSize(256);
  p.Open();
  r = Report(p);
  EXPECT_STREQ(r.openProduct, "Reaper Test");
  EXPECT_STREQ(r.openVendor, "ZolvarTesk");
  EXPECT_EQ(r.openVendorVersion, 5203);
  EXPECT_EQ(r.openProcessLevel, 1); // user level outside the audio callbacks
  EXPECT_EQ(r.openWantMidi, 1);
  EXPECT_EQ(r.openBlockSize, 256);
  EXPECT_EQ(r.openCanDoTimeInfo, 1);

  // A name longer than the 256-byte buffer is cut, terminated, and nothing past it is written.
  p.hostProductName = std::string(300, 'x');
  p.Open();
  r = Report(p);
  EXPECT_EQ(std::string(r.openProduct), std::string(255, 'x'));
}

TEST(VstPlugin, TimeInfoFollowsTheTransportModel) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  p.Open();
  p.SetSampleRate(48000.0);
  p.SetBlockSize(64);
  p.Resume();
  Stereo<float> in(64, 0.5f), out(64, 0.0f);

  struct Case {
    const char* name;
    HostTransport t;
  };
  HostTransport stopped;
  HostTransport tempoOnly;
  tempoOnly.playing = tempoOnly.cycleActive = tempoOnly.recording = true;
  tempoOnly.tempo = 98.5;
  tempoOnly.validFlags = kVstTempoValid;
  HostTransport everything;
  everything.playing = true;
  everything.samplePos = 1000.5;
  everything.ppqPos = 12.25;
  everything.barStartPos = 12.0;
  everything.cycleActive = true;
  everything.cycleStart = 8.0;
  everything.cycleEnd = 16.0;
  everything.numerator = 7;
  everything.denominator = 8;
  everything.tempo = 133.0;
  HostTransport nothingValid;
  nothingValid.validFlags = 0;
  nothingValid.samplePos = 77.0;
  const Case cases[] = {{"stopped", stopped},
                        {"tempo only", tempoOnly},
                        {"everything", everything},
                        {"no valid bits", nothingValid}};
  for (const Case& c : cases) {
    p.transport = c.t;
    p.transport.sampleRate = 48000.0;
    ASSERT_TRUE(p.ProcessReplacing(in.ptrs, out.ptrs, 64));
    const ProbeReport r = Report(p);
    const HostTransport& t = p.transport;
    SCOPED_TRACE(c.name);
    ASSERT_EQ(r.timeWasNull, 0);
    const int32_t bits = (t.playing ? kVstTransportPlaying : 0) |
                         (t.cycleActive ? kVstTransportCycleActive : 0) |
                         (t.recording ? kVstTransportRecording : 0);
    EXPECT_EQ(r.time.flags, t.validFlags | bits);
    EXPECT_EQ(r.time.samplePos, t.samplePos);
    EXPECT_EQ(r.time.sampleRate, 48000.0);
    EXPECT_EQ(r.time.ppqPos, t.ppqPos);
    EXPECT_EQ(r.time.tempo, t.tempo);
    EXPECT_EQ(r.time.barStartPos, t.barStartPos);
    EXPECT_EQ(r.time.cycleStartPos, t.cycleStart);
    EXPECT_EQ(r.time.cycleEndPos, t.cycleEnd);
    EXPECT_EQ(r.time.timeSigNumerator, t.numerator);
    EXPECT_EQ(r.time.timeSigDenominator, t.denominator);
  }

  p.transport.answerNull = true;
  ASSERT_TRUE(p.ProcessReplacing(in.ptrs, out.ptrs, 64));
  EXPECT_EQ(Report(p).timeWasNull, 1);
  EXPECT_EQ(p.calls.back().opcode, kHostAutomate); // the probe went on after the null answer
}

TEST(HostTransport, AdvanceMovesSamplesQuarterNotesAndBars) {
  // 120 BPM at 48 kHz: 24000 frames a quarter note.
  struct Case {
    int32_t numerator, denominator;
    int frames, times;
    double ppq, bar;
  };
  const Case cases[] = {
      {4, 4, 32000, 3, 4.0, 4.0},  // exactly on the second bar
      {3, 4, 32000, 3, 4.0, 3.0},  // inside the second bar of 3/4
      {7, 8, 12000, 15, 7.5, 7.0}, // 3.5 quarter notes a bar
      {4, 4, 100, 1, 100.0 / 24000.0, 0.0},
  };
  for (const Case& c : cases) {
    HostTransport t;
    t.sampleRate = 48000.0;
    t.numerator = c.numerator;
    t.denominator = c.denominator;
    for (int i = 0; i < c.times; ++i)
      t.Advance(c.frames);
    EXPECT_EQ(t.samplePos, double(c.frames) * c.times);
    EXPECT_NEAR(t.ppqPos, c.ppq, 1e-9);
    EXPECT_NEAR(t.barStartPos, c.bar, 1e-9) << c.numerator << "/" << c.denominator;
  }
  HostTransport t;
  t.tempo = 60.0;
  t.sampleRate = 44100.0;
  t.ppqPos = 2.0;
  t.Advance(44100);
  EXPECT_NEAR(t.ppqPos, 3.0, 1e-12);
}

TEST(VstPlugin, ProcessLevelTellsRealTimeFromOffline) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  Stereo<double> in(32, 0.5), out(32, 0.0);
  ASSERT_TRUE(p.ProcessDouble(in.ptrs, out.ptrs, 32));
  EXPECT_EQ(Report(p).processLevel, 2);
  p.offline = true;
  ASSERT_TRUE(p.ProcessDouble(in.ptrs, out.ptrs, 32));
  EXPECT_EQ(Report(p).processLevel, kVstProcessLevelOffline);
  p.Open();
  EXPECT_EQ(Report(p).openProcessLevel, kVstProcessLevelOffline);
}

TEST(VstPlugin, ThreeAudioCallbacksAndTheAccumulatingFallback) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  p.SetParameter(0, 0.25f); // gain 0.5
  const int n = 48;
  {
    Stereo<float> in(n, 1.0f), out(n, 9.0f);
    ASSERT_TRUE(p.ProcessReplacing(in.ptrs, out.ptrs, n));
    EXPECT_EQ(Report(p).processKind, 2);
    EXPECT_EQ(out.data[0][0], 0.5f);
    EXPECT_EQ(out.data[1][n - 1], 1.0f);
    EXPECT_EQ(out.data[1][n], -7.0f); // the guard
  }
  {
    Stereo<float> in(n, 1.0f), out(n, 9.0f);
    ASSERT_TRUE(p.ProcessAccumulating(in.ptrs, out.ptrs, n));
    EXPECT_EQ(Report(p).processKind, 1);
    EXPECT_EQ(out.data[0][0], 9.5f);
    EXPECT_EQ(out.data[1][n - 1], 19.0f);
  }
  {
    Stereo<double> in(n, 1.0), out(n, 9.0);
    ASSERT_TRUE(p.ProcessDouble(in.ptrs, out.ptrs, n));
    EXPECT_EQ(Report(p).processKind, 3);
    EXPECT_EQ(out.data[0][0], 0.5);
    EXPECT_EQ(Report(p).processFrames, n);
  }
  {
    // Without a replacing entry the host clears the outputs and accumulates.
    p.Effect()->processReplacing = nullptr;
    Stereo<float> in(n, 1.0f), out(n, 9.0f);
    ASSERT_TRUE(p.ProcessReplacing(in.ptrs, out.ptrs, n));
    EXPECT_EQ(Report(p).processKind, 1);
    EXPECT_EQ(out.data[0][0], 0.5f);
    EXPECT_EQ(out.data[1][n - 1], 1.0f);
    EXPECT_EQ(out.data[1][n], -7.0f);
    p.Effect()->process = nullptr;
    p.Effect()->processDoubleReplacing = nullptr;
    Stereo<double> inD(n, 1.0), outD(n, 9.0);
    EXPECT_FALSE(p.ProcessReplacing(in.ptrs, out.ptrs, n));
    EXPECT_FALSE(p.ProcessAccumulating(in.ptrs, out.ptrs, n));
    EXPECT_FALSE(p.ProcessDouble(inD.ptrs, outD.ptrs, n));
    EXPECT_EQ(outD.data[0][0], 9.0);
  }
}

TEST(VstPlugin, RecordsHostCallsAndEvents) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  p.ClearRecords();
  Stereo<float> in(16, 0.0f), out(16, 0.0f);
  p.ProcessReplacing(in.ptrs, out.ptrs, 16);
  ASSERT_EQ(p.calls.size(), 3u);
  EXPECT_EQ(p.calls[0].opcode, kHostGetTime);
  EXPECT_EQ(p.calls[0].value, kVstTimeMaskAll);
  EXPECT_EQ(p.calls[1].opcode, kHostGetCurrentProcessLevel);
  EXPECT_EQ(p.calls[2].opcode, kHostAutomate);
  EXPECT_EQ(p.calls[2].index, 1);
  EXPECT_EQ(p.calls[2].opt, 0.25f);

  p.recordCalls = false;
  p.ProcessReplacing(in.ptrs, out.ptrs, 16);
  EXPECT_EQ(p.calls.size(), 3u);
  EXPECT_EQ(Report(p).processCalls, 2); // still answered
  p.recordCalls = true;

  EXPECT_EQ(p.SendMidi(12, 0x90, 60, 100), 1);
  ASSERT_EQ(p.midiOut.size(), 2u);
  EXPECT_EQ(p.midiOut[0].type, kVstMidiType);
  EXPECT_EQ(p.midiOut[0].deltaFrames, 12);
  EXPECT_EQ(p.midiOut[0].data[0], 0x90);
  EXPECT_EQ(p.midiOut[0].data[1], 60);
  EXPECT_EQ(p.midiOut[0].data[2], 100);
  EXPECT_EQ(p.midiOut[1].type, kVstSysExType);
  EXPECT_EQ(p.midiOut[1].deltaFrames, 12);
  EXPECT_EQ(p.midiOut[1].sysex, (std::vector<uint8_t>{0xF0, 0x7D, 60, 0xF7}));
  EXPECT_EQ(p.CountCalls(kHostProcessEvents), 1);
  p.ClearRecords();
  EXPECT_TRUE(p.calls.empty() && p.midiOut.empty());
}

TEST(VstPlugin, ChunksAreCopiedBothWays) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  const std::vector<uint8_t> bank = {1, 2, 3, 4, 5, 250};
  EXPECT_EQ(p.SetChunk(bank, false), 1);
  intptr_t result = 0;
  EXPECT_EQ(p.GetChunk(false, &result), bank); // the probe copied before the harness trashed
  EXPECT_EQ(result, 6);
  EXPECT_EQ(p.SetChunk({}, false), 1);
  EXPECT_TRUE(p.GetChunk(false, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(p.SetChunk(bank, true), 0); // the probe takes no program chunk
}

TEST(VstPlugin, CloseReachesTheInstanceAndEndsIt) {
  Loaded l = Probe();
  ASSERT_TRUE(l.plugin);
  VstPlugin& p = *l.plugin;
  p.Close();
  EXPECT_EQ(p.CountCalls(kHostUpdateDisplay), 1); // sent from inside close
  EXPECT_TRUE(p.IsClosed());
  EXPECT_EQ(p.Effect(), nullptr);
  EXPECT_EQ(p.Dispatch(kEffGetVendorVersion), 0);
  EXPECT_EQ(p.NumParams(), 0);
  EXPECT_EQ(p.EffectName(), "");
  Stereo<float> in(8, 1.0f), out(8, 3.0f);
  EXPECT_FALSE(p.ProcessReplacing(in.ptrs, out.ptrs, 8));
  EXPECT_EQ(out.data[0][0], 3.0f);
  p.Close(); // twice is harmless
}

TEST(VstPlugin, InstancesKeepTheirOwnHostState) {
  auto module = LoadOrFail(ZT_PROBE);
  ASSERT_TRUE(module);
  std::string error;
  std::vector<std::unique_ptr<VstPlugin>> plugins;
  for (int i = 0; i < 4; ++i) {
    plugins.push_back(VstPlugin::Create(*module, &error));
    ASSERT_TRUE(plugins.back()) << error;
    plugins.back()->transport.tempo = 100.0 + i;
    plugins.back()->hostProductName = "Host " + std::to_string(i);
  }
  plugins[1].reset(); // closed in between: its slot is free for the next
  plugins[1] = VstPlugin::Create(*module, &error);
  ASSERT_TRUE(plugins[1]) << error;
  plugins[1]->transport.tempo = 101.0;
  plugins[1]->hostProductName = "Host 1";
  Stereo<float> in(8, 1.0f), out(8, 0.0f);
  for (int i = 3; i >= 0; --i) {
    plugins[i]->ClearRecords();
    plugins[i]->Open();
    plugins[i]->ProcessReplacing(in.ptrs, out.ptrs, 8);
  }
  for (int i = 0; i < 4; ++i) {
    const ProbeReport r = Report(*plugins[i]);
    EXPECT_EQ(r.time.tempo, 100.0 + i);
    EXPECT_EQ(std::string(r.openProduct), "Host " + std::to_string(i));
    EXPECT_EQ(plugins[i]->CountCalls(kHostGetTime), 1);
  }
}

} // namespace
