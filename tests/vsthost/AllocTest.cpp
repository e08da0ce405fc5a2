// The harness's process calls allocate nothing and lock no mutex, with call recording on, so a
// test of a plug-in's audio path can count around them with the allocation probe. The probe
// plug-in asks the host for time info, the process level and an automation record in every block.
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/AllocProbe.h"
#include "tools/vsthost/VstHost.h"

namespace {

TEST(HarnessAudioPath, ProcessCallsAllocateAndLockNothing) {
  std::string error;
  auto module = VstModule::Load(ZT_PROBE, &error);
  ASSERT_TRUE(module) << error;
  auto plugin = VstPlugin::Create(*module, &error);
  ASSERT_TRUE(plugin) << error;
  plugin->Open();
  plugin->SetSampleRate(48000.0);
  plugin->SetBlockSize(256);
  plugin->Resume();
  plugin->transport.playing = true;
  std::vector<float> f[4];
  std::vector<double> d[4];
  for (int c = 0; c < 4; ++c) {
    f[c].assign(256, 0.25f);
    d[c].assign(256, 0.25);
  }
  float* fin[2] = {f[0].data(), f[1].data()};
  float* fout[2] = {f[2].data(), f[3].data()};
  double* din[2] = {d[0].data(), d[1].data()};
  double* dout[2] = {d[2].data(), d[3].data()};
  plugin->ClearRecords();

  const ProbeCounts c = AllocProbe::Measure([&] {
    for (int block = 0; block < 100; ++block) {
      plugin->ProcessReplacing(fin, fout, 256);
      plugin->ProcessAccumulating(fin, fout, 256);
      plugin->ProcessDouble(din, dout, 256);
      plugin->transport.Advance(256);
    }
  });
  EXPECT_EQ(c.allocations, 0);
  EXPECT_EQ(c.locks, 0);
  EXPECT_EQ(plugin->calls.size(), 900u); // every call recorded, within the reserved room
}

} // namespace
