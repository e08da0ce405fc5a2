// The AAX module's render path, counted: after the first block (which follows the block size
// and may allocate) a render call allocates nothing and locks only the instance mutex, with
// and without the master bypass. Natively, without sanitizers (the probe interposes the heap).
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/AllocProbe.h"
#include "tests/support/TestSession.h"
#include "tools/aaxhost/AaxHost.h"

using namespace zt::aaxhost;

namespace {

TEST(AaxAudioAlloc, RenderAllocatesNothingAfterTheFirstBlock) {
  TestSession session("aaxalloc");
  std::string error;
  auto module = AaxModule::Load(ZT_AAX_MODULE, &error);
  ASSERT_NE(module, nullptr) << error;
  for (size_t component : {0u, 1u}) {
    SCOPED_TRACE(component);
    auto instance = AaxInstance::Create(*module, component, &error);
    ASSERT_NE(instance, nullptr) << error;
    // The instance mutex: the first (and only) one a host update takes.
    const void* instanceMutex =
        AllocProbe::Measure([&] { instance->Automate("1", 0.0); }).firstMutex;
    ASSERT_NE(instanceMutex, nullptr);

    std::vector<float> a(512), b(512), c(512), d(512);
    float* ins[2] = {a.data(), b.data()};
    float* outs[2] = {c.data(), d.data()};
    instance->transport.playing = true;
    auto block = [&](int k) {
      for (int i = 0; i < 512; ++i)
        a[i] = b[i] = 0.2f * static_cast<float>(std::sin(0.01 * (512 * k + i)));
      instance->Render(ins, outs, 512);
      instance->transport.Advance(512, 48000.0);
    };
    block(0); // follows the block size
    const ProbeCounts run = AllocProbe::Measure(
        [&] {
          for (int k = 1; k < 200; ++k)
            block(k);
        },
        instanceMutex);
    EXPECT_EQ(run.allocations, 0);
    EXPECT_EQ(run.foreignLocks, 0);
    EXPECT_GT(run.locks, 0);

    instance->SetMasterBypass(true);
    block(200);
    const ProbeCounts bypassed = AllocProbe::Measure([&] { block(201); }, instanceMutex);
    EXPECT_EQ(bypassed.allocations, 0);
    EXPECT_EQ(bypassed.foreignLocks, 0);
  }
}

} // namespace
