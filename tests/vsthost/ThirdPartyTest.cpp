// Third-party Linux VST2 effects from Debian packages, loaded in the harness: if our interface
// header disagreed with the real binary layout, their names, parameters or audio would come out
// wrong here. Each module is expected at its Debian path; a missing one names its package.
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/vsthost/VstHost.h"

#if defined(ZT_SANITIZED)
// LSP's per-effect stub loads LSP's libraries, whose static constructors allocate blocks that
// nothing frees; the leak check would blame this test for them. Only a full unwind at each
// allocation shows the stub in the stack for the suppression to match.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:/usr/lib/vst/lsp-plugins/\n";
}
extern "C" const char* __lsan_default_options() {
  return "fast_unwind_on_malloc=0";
}
#endif

namespace {

struct ThirdParty {
  const char* path;
  const char* package;
  const char* entry; // the only entry point the module exports
  const char* effectName;
  const char* vendor;
};

const ThirdParty kModules[] = {
    {"/usr/lib/vst/3BandEQ-vst.so", "dpf-plugins-vst", "main", "3 Band EQ", "DISTRHO"},
    {"/usr/lib/vst/lsp-plugins/comp-delay-stereo.so", "lsp-plugins-vst", "VSTPluginMain",
     "Delay Compensator Stereo", "LSP VST"},
    {"/usr/lib/lxvst/DragonflyRoomReverb-vst.so", "dragonfly-reverb-vst", "main",
     "Dragonfly Room Reverb", "Michael Willis"},
};

void PrintTo(const ThirdParty& m, std::ostream* os) {
  *os << m.path;
}

class ThirdPartyTest : public testing::TestWithParam<ThirdParty> {};

// Each module is loaded once and stays loaded for the process's life, as hosts keep them: one of
// them (LSP's) leaks a little on every load and unload, which is its own affair.
VstModule* LoadThirdParty(const ThirdParty& m) {
  static auto* loaded = new std::map<std::string, std::unique_ptr<VstModule>>;
  if (auto it = loaded->find(m.path); it != loaded->end()) return it->second.get();
  if (!std::filesystem::exists(m.path)) {
    ADD_FAILURE() << m.path << " is missing: install the Debian package " << m.package;
    return nullptr;
  }
  std::string error;
  auto module = VstModule::Load(m.path, &error);
  EXPECT_TRUE(module) << error;
  if (!module) return nullptr;
  return ((*loaded)[m.path] = std::move(module)).get();
}

TEST_P(ThirdPartyTest, NamesParametersOneBlockClose) {
  const ThirdParty& m = GetParam();
  VstModule* module = LoadThirdParty(m);
  if (!module) return;
  EXPECT_EQ(module->EntryName(), m.entry);
  std::string error;
  auto plugin = VstPlugin::Create(*module, &error);
  ASSERT_TRUE(plugin) << error;
  VstPlugin& p = *plugin;
  const int frames = 300; // not a power of two, and smaller than the announced block size
  p.Open();
  p.SetSampleRate(48000.0);
  p.SetBlockSize(512);

  EXPECT_EQ(p.EffectName(), m.effectName);
  EXPECT_EQ(p.VendorString(), m.vendor);
  EXPECT_FALSE(p.ProductString().empty());
  EXPECT_NE(p.UniqueId(), 0);
  EXPECT_TRUE(p.Flags() & kEffFlagsCanReplacing);
  ASSERT_EQ(p.NumInputs(), 2);
  ASSERT_EQ(p.NumOutputs(), 2);
  ASSERT_GT(p.NumParams(), 3);
  ASSERT_LT(p.NumParams(), 200);
  int displays = 0;
  for (int i = 0; i < p.NumParams(); ++i) {
    SCOPED_TRACE(i);
    const std::string name = p.ParamName(i);
    EXPECT_FALSE(name.empty());
    EXPECT_LT(name.size(), 64u);
    displays += !p.ParamDisplay(i).empty();
    const float v = p.GetParameter(i);
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 1.0f);
  }
  EXPECT_EQ(displays, p.NumParams());

  // One block of a -12 dBFS sine; outputs have a guard after the block that must stay as it was.
  constexpr int kGuard = 32;
  constexpr float kPoison = 12345.0f;
  std::vector<float> in[2], out[2];
  float* ins[2];
  float* outs[2];
  for (int c = 0; c < 2; ++c) {
    in[c].resize(frames);
    for (int i = 0; i < frames; ++i)
      in[c][i] = 0.25f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 440.0 * i / 48000.0));
    out[c].assign(frames + kGuard, kPoison);
    ins[c] = in[c].data();
    outs[c] = out[c].data();
  }
  p.transport.playing = true;
  p.Resume();
  ASSERT_TRUE(p.ProcessReplacing(ins, outs, frames));
  p.transport.Advance(frames);
  double energy = 0.0;
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < frames; ++i) {
      ASSERT_TRUE(std::isfinite(out[c][i])) << "channel " << c << " frame " << i;
      ASSERT_NE(out[c][i], kPoison) << "channel " << c << " frame " << i << " not written";
      ASSERT_LT(std::fabs(out[c][i]), 4.0f);
      energy += double(out[c][i]) * out[c][i];
    }
    for (int i = frames; i < frames + kGuard; ++i)
      ASSERT_EQ(out[c][i], kPoison) << "written past the block, channel " << c;
  }
  EXPECT_GT(energy, 1e-6) << "these effects pass a sine at their defaults";

  // A chunk-saving effect hands out its state and takes it back.
  if (p.Flags() & kEffFlagsProgramChunks) {
    const std::vector<uint8_t> chunk = p.GetChunk(true);
    EXPECT_FALSE(chunk.empty());
    p.SetChunk(chunk, true);
    EXPECT_EQ(p.GetChunk(true), chunk);
  }

  p.Suspend();
  p.Close();
  EXPECT_TRUE(p.IsClosed());
  EXPECT_GE(p.CountCalls(kHostVersion), 1);
}

// Two instances of one module at once, created while the other is open: the callbacks each
// makes during creation (with a null effect) reach its own record.
TEST_P(ThirdPartyTest, TwoInstancesAtOnce) {
  const ThirdParty& m = GetParam();
  VstModule* module = LoadThirdParty(m);
  if (!module) return;
  std::string error;
  auto a = VstPlugin::Create(*module, &error);
  ASSERT_TRUE(a) << error;
  auto b = VstPlugin::Create(*module, &error);
  ASSERT_TRUE(b) << error;
  EXPECT_NE(a->Effect(), b->Effect());
  EXPECT_GE(a->CountCalls(kHostVersion), 1);
  EXPECT_GE(b->CountCalls(kHostVersion), 1);
  a->Open();
  b->Open();
  EXPECT_EQ(a->EffectName(), b->EffectName());
  a.reset();
  EXPECT_EQ(b->EffectName(), m.effectName);
}

INSTANTIATE_TEST_SUITE_P(Debian, ThirdPartyTest, testing::ValuesIn(kModules),
                         [](const testing::TestParamInfo<ThirdParty>& info) {
                           std::string name = info.param.package;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

} // namespace
