#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ReceiverRig.h"
#include "tests/support/Signals.h"

namespace {

std::vector<uint8_t> Bytes(const StateChunk& c) {
  return {c.Data(), c.Data() + c.Size()};
}

StateChunk ChunkOf(int32_t count, std::initializer_list<double> values) {
  StateChunk c;
  c.PutInt32(count);
  for (double v : values)
    c.PutDouble(v);
  return c;
}

// Writes both blobs next to the test so that a difference can be read.
void DumpOnMismatch(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                    const char* name) {
  if (a == b) return;
  for (const auto& [suffix, blob] : {std::pair{".a.bin", &a}, std::pair{".b.bin", &b}}) {
    std::string path = std::string(name) + suffix;
    if (FILE* f = fopen(path.c_str(), "wb")) {
      fwrite(blob->data(), 1, blob->size(), f);
      fclose(f);
    }
  }
  ADD_FAILURE() << "state blobs differ; written to " << name << ".a.bin/.b.bin";
}

TEST(State, ChunkEncodingIsLittleEndianAndReadsCheckBounds) {
  StateChunk c;
  c.PutInt32(0x01020304);
  c.PutDouble(1.0);
  c.PutBool(true);
  c.PutString("ab");
  const std::vector<uint8_t> expected = {4,    3,    2, 1, 0, 0, 0, 0,   0,  0,
                                         0xF0, 0x3F, 1, 2, 0, 0, 0, 'a', 'b'};
  EXPECT_EQ(Bytes(c), expected);

  int32_t i = 0;
  double d = 0;
  bool b = false;
  std::string s;
  int pos = c.GetInt32(&i, 0);
  pos = c.GetDouble(&d, pos);
  pos = c.GetBool(&b, pos);
  pos = c.GetString(&s, pos);
  EXPECT_EQ(pos, c.Size());
  EXPECT_EQ(i, 0x01020304);
  EXPECT_EQ(d, 1.0);
  EXPECT_TRUE(b);
  EXPECT_EQ(s, "ab");

  // Past the end, at a negative position, a negative or oversized string length: -1.
  EXPECT_EQ(c.GetInt32(&i, c.Size() - 3), -1);
  EXPECT_EQ(c.GetDouble(&d, -1), -1);
  b = true;
  EXPECT_EQ(c.GetBool(&b, c.Size()), -1);
  EXPECT_TRUE(b); // a failed bool read keeps the caller's flag
  StateChunk bad;
  bad.PutInt32(-4);
  EXPECT_EQ(bad.GetString(&s, 0), -1);
  StateChunk longer;
  longer.PutInt32(1000);
  longer.PutString("x");
  EXPECT_EQ(longer.GetString(&s, 0), -1);
  StateChunk huge;
  huge.PutInt32(INT32_MAX);
  EXPECT_EQ(huge.GetString(&s, 0), -1);
}

TEST(State, ReceiverDefaultStateIs44Bytes) {
  ReceiverRig rig("state");
  StateChunk c;
  ASSERT_TRUE(rig.plug->SerializeParams(c));
  EXPECT_EQ(Bytes(c), Bytes(ChunkOf(5, {0.0, -23.0, 0.0, 0.0, 0.0})));
}

TEST(State, RoundTripThroughAFreshInstanceIsByteIdentical) {
  ReceiverRig a("state");
  a.SetParam(ParamTarget, -16.0);
  a.SetParam(ParamBypass, 1.0);
  a.SetParam(ParamIntegratedLevel, -31.25);
  a.SetParam(ParamOutputNormalization, 1.0);
  StateChunk first;
  a.plug->SerializeParams(first);
  ZolvarTesk_Receive b(IPlugInstanceInfo{});
  EXPECT_EQ(b.UnserializeParams(first, 0), 44);
  StateChunk second;
  b.SerializeParams(second);
  DumpOnMismatch(Bytes(first), Bytes(second), "receiver-roundtrip");
}

TEST(State, TruncatedChunkAppliesWhatItHoldsAndFails) {
  ReceiverRig rig("state");
  rig.SetParam(ParamAnalysis, 1.0);
  rig.plug->GetParam(ParamIntegratedLevel)->SetValue(12.0);
  StateChunk c = ChunkOf(5, {1.0, -75.0});
  EXPECT_EQ(rig.plug->UnserializeParams(c, 0), -1);
  EXPECT_EQ(rig.plug->GetParam(0)->Value(), 1.0);
  EXPECT_EQ(rig.plug->GetParam(1)->Value(), -60.0); // clamped
  EXPECT_EQ(rig.plug->GetParam(2)->Value(), 0.0);   // the failed read
  EXPECT_EQ(rig.plug->GetParam(4)->Value(), 12.0);  // never read, kept
}

TEST(State, MoreStoredValuesThanParametersStopsAtTheSixth) {
  ReceiverRig rig("state");
  StateChunk c = ChunkOf(7, {0.37, -10.0, 0.0, 0.0, 5.0, 99.0, 98.0});
  EXPECT_EQ(rig.plug->UnserializeParams(c, 0), 4 + 5 * 8);
  EXPECT_EQ(rig.plug->GetParam(0)->Value(), 0.37); // not rounded to the step
  EXPECT_EQ(rig.plug->GetParam(4)->Value(), 5.0);
}

// Regression: a NaN in a stored state survived every later clamp.
TEST(State, NanInStoredStateFallsBackToDefault) {
  ReceiverRig rig("state");
  StateChunk c = ChunkOf(5, {0.0, NAN, 0.0, 0.0, INFINITY});
  EXPECT_EQ(rig.plug->UnserializeParams(c, 0), 44);
  EXPECT_EQ(rig.plug->GetParam(ParamTarget)->Value(), -23.0);
  EXPECT_EQ(rig.plug->GetParam(ParamIntegratedLevel)->Value(), 100.0);
}

TEST(State, RestoreWithAnalysisOnEndsWithAnalysisOff) {
  ReceiverRig rig("state");
  StateChunk c = ChunkOf(5, {0.0, -23.0, 1.0, 1.0, -18.0});
  rig.plug->UnserializeParams(c, 0);
  // Index 2 is seen first and switches analysis off before index 3 is looked at.
  EXPECT_EQ(rig.plug->GetParam(ParamAnalysis)->Value(), 0.0);
  EXPECT_EQ(rig.plug->GetParam(ParamOutputNormalization)->Value(), 1.0);
  EXPECT_EQ(rig.plug->IntegratedLoudness(), 0.0);

  // The restored normalisation uses the restored level: -23 - (-18) = -5 dB.
  rig.Run(512, [](int, int) { return 0.25; });
  EXPECT_TRUE(rig.plug->NormalizationDimmed());
  const double expected = 0.25 * rig.plug->SmoothedGain() * DbToRatio(-5.0);
  EXPECT_NEAR(rig.out0[100], expected, 1e-12);
}

TEST(State, ChunkHeaderDetection) {
  StateChunk plain = ChunkOf(5, {});
  int pos = 0;
  EXPECT_EQ(IPlugBase::ReadChunkHeader(plain, &pos), 0);
  EXPECT_EQ(pos, 0);
  StateChunk framed;
  IPlugBase::WriteChunkHeader(framed);
  EXPECT_EQ(Bytes(framed), (std::vector<uint8_t>{0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0}));
  EXPECT_EQ(IPlugBase::ReadChunkHeader(framed, &pos), 0x10000);
  EXPECT_EQ(pos, 8);
  StateChunk cut;
  cut.PutInt32(IPlugBase::kChunkMagic);
  pos = 0;
  EXPECT_EQ(IPlugBase::ReadChunkHeader(cut, &pos), 0);
  EXPECT_EQ(pos, -1);
}

TEST(State, PresetListBytesAndUserPresetNaming) {
  ReceiverRig rig("state");
  StateChunk list;
  ASSERT_TRUE(rig.plug->SerializePresets(list));
  std::vector<uint8_t> expected = {1, 0, 0, 0, '-', 1};
  const auto block = Bytes(ChunkOf(5, {0.0, -23.0, 0.0, 0.0, 0.0}));
  expected.insert(expected.end(), block.begin(), block.end());
  EXPECT_EQ(Bytes(list), expected);

  // Presets beyond the first are reached through a plug-in with more of them.
  PluginConfig cfg;
  cfg.paramCount = 1;
  cfg.channelIO = "2-2";
  cfg.presetCount = 3;
  IPlugTest p({}, cfg);
  ASSERT_TRUE(p.LoadPreset(1));
  EXPECT_STREQ(p.PresetName(1), "user preset 1");
  ASSERT_TRUE(p.LoadPreset(2));
  EXPECT_STREQ(p.PresetName(2), "user preset 2");
  EXPECT_EQ(p.CurrentPreset(), 2);
  EXPECT_FALSE(p.LoadPreset(3));
  EXPECT_EQ(p.CurrentPreset(), 2);
  EXPECT_STREQ(p.PresetName(3), "");
}

TEST(State, PresetsRoundTripAndModifyCurrent) {
  ReceiverRig a("state");
  a.SetParam(ParamTarget, -14.0);
  a.plug->ModifyCurrentPreset("loud");
  StateChunk list;
  a.plug->SerializePresets(list);

  ZolvarTesk_Receive b(IPlugInstanceInfo{});
  EXPECT_EQ(b.UnserializePresets(list, 0), list.Size());
  EXPECT_STREQ(b.PresetName(0), "loud");
  EXPECT_EQ(b.GetParam(ParamTarget)->Value(), -14.0);
  b.ModifyCurrentPreset(""); // an empty name keeps the old one
  EXPECT_STREQ(b.PresetName(0), "loud");
}

// Garbage and truncations of a valid list are refused or applied partially, never read past
// the end (the sanitizer build turns an overread into a failure).
TEST(State, GarbledChunksNeverCrash) {
  ReceiverRig rig("state");
  StateChunk list;
  rig.plug->SerializePresets(list);
  for (int cut = 0; cut < list.Size(); ++cut) {
    StateChunk partial;
    partial.PutBytes(list.Data(), static_cast<size_t>(cut));
    rig.plug->UnserializePresets(partial, 0);
    rig.plug->UnserializeParams(partial, 0);
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    StateChunk junk;
    const int n = static_cast<int>(rng() % 80);
    for (int i = 0; i < n; ++i) {
      const uint8_t byte = static_cast<uint8_t>(rng());
      junk.PutBytes(&byte, 1);
    }
    rig.plug->UnserializePresets(junk, 0);
    int pos = 0;
    IPlugBase::ReadChunkHeader(junk, &pos);
    rig.plug->UnserializeParams(junk, pos < 0 ? 0 : pos);
    for (int i = 0; i < rig.plug->NParams(); ++i) {
      const IPlugParam* p = rig.plug->GetParam(i);
      ASSERT_GE(p->Value(), p->Min());
      ASSERT_LE(p->Value(), p->Max());
    }
  }
}

TEST(State, StateMatchesComparesInSinglePrecision) {
  ReceiverRig rig("state");
  double values[] = {0.0, -23.0 + 1e-9, 0.0, 0.0, 0.0, 1.0};
  EXPECT_TRUE(rig.plug->StateMatches(values, 0));
  EXPECT_FALSE(rig.plug->StateMatches(values, 1));
  values[1] = -22.99;
  EXPECT_FALSE(rig.plug->StateMatches(values, 0));
}

} // namespace
