// The receiver module's three audio callbacks allocate nothing and take no lock but the instance
// mutex, counted by the allocation probe in this executable, which the module loaded by the host
// harness binds to; the harness's host callback neither allocates (with recording off) nor locks.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/AllocProbe.h"
#include "tools/sender/ReferenceSender.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"
#include "tools/vsthost/VstHost.h"

namespace {

class AudioCallbacks : public testing::Test {
protected:
  void SetUp() override {
    std::string error;
    module = VstModule::Load(ZT_VST2_MODULE, &error);
    ASSERT_NE(module, nullptr) << error;
    plug = VstPlugin::Create(*module, &error);
    ASSERT_NE(plug, nullptr) << error;
    plug->recordCalls = false;
  }
  void TearDown() override {
    plug.reset();
    module.reset();
  }

  intptr_t Dispatch(int32_t op, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    return plug->Dispatch(op, index, value, ptr, opt);
  }

  template <typename F> ProbeCounts Measure(F&& body) {
    return AllocProbe::Measure(body, allowedMutex);
  }

  void Fill(int frames) {
    for (int k = 0; k < frames; ++k) {
      inF[0][k] = static_cast<float>(0.2 * noise.Next());
      inF[1][k] = static_cast<float>(0.2 * noise.Next());
      inD[0][k] = inF[0][k];
      inD[1][k] = inF[1][k];
    }
  }

  TestSession session{"vst2alloc"};
  std::unique_ptr<VstModule> module;
  std::unique_ptr<VstPlugin> plug;
  Noise noise{7};
  const void* allowedMutex = nullptr;
  std::vector<float> inF[2], outF[2];
  std::vector<double> inD[2], outD[2];
};

TEST_F(AudioCallbacks, AllocateNothingAndLockOnlyTheInstanceMutex) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-18.0);
  plug->transport.playing = true;

  Dispatch(kEffOpen);
  // The interposer sees the module: a sample-rate change re-creates meter state.
  const ProbeCounts setup = Measure([&] { Dispatch(kEffSetSampleRate, 0, 0, nullptr, 48000.0f); });
  EXPECT_GT(setup.allocations, 0);
  Dispatch(kEffSetBlockSize, 0, 512);
  Dispatch(kEffMainsChanged, 0, 1);
  char on[] = "on";
  ASSERT_EQ(Dispatch(kEffString2Parameter, 3, 0, on), 1); // analysis runs the integrated meter

  // Learn the instance mutex from an opcode that takes it and nothing else.
  allowedMutex = Measure([&] { Dispatch(kEffGetTailSize); }).firstMutex;
  ASSERT_NE(allowedMutex, nullptr);

  constexpr int kMax = 2000; // longer than the block size: runs in slices
  for (int c = 0; c < 2; ++c) {
    inF[c].assign(kMax, 0.0f), outF[c].assign(kMax, 0.0f);
    inD[c].assign(kMax, 0.0), outD[c].assign(kMax, 0.0);
  }
  float* insF[] = {inF[0].data(), inF[1].data()};
  float* outsF[] = {outF[0].data(), outF[1].data()};
  double* insD[] = {inD[0].data(), inD[1].data()};
  double* outsD[] = {outD[0].data(), outD[1].data()};

  for (int frames : {512, 256, kMax}) {
    SCOPED_TRACE(frames);
    const ProbeCounts run = Measure([&] {
      for (int b = 0; b < 20; ++b) {
        Fill(frames);
        plug->ProcessReplacing(insF, outsF, frames);
        plug->ProcessAccumulating(insF, outsF, frames);
        plug->ProcessDouble(insD, outsD, frames);
      }
    });
    EXPECT_EQ(run.allocations, 0);
    EXPECT_EQ(run.foreignLocks, 0);
    EXPECT_GT(run.locks, 0); // the instance mutex, seen through the interposer
    EXPECT_TRUE(std::isfinite(outF[0][frames - 1]));
  }

  // Hosts automate from their audio thread: switching analysis on there restarts it with a meter
  // made beforehand, however often it happens between two set-up calls.
  const ProbeCounts automation = Measure([&] {
    for (int b = 0; b < 4; ++b) {
      plug->SetParameter(3, 0.0f);
      plug->SetParameter(3, 1.0f);
      Fill(512);
      plug->ProcessReplacing(insF, outsF, 512);
    }
  });
  EXPECT_EQ(automation.allocations, 0);
  EXPECT_EQ(automation.foreignLocks, 0);
  Dispatch(kEffMainsChanged, 0, 0); // the set-up thread frees what the restarts retired

  // A mono arrangement reads the second input from the scratch buffer.
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&mono), &mono);
  const ProbeCounts monoRun = Measure([&] {
    for (int b = 0; b < 10; ++b) {
      Fill(kMax);
      plug->ProcessReplacing(insF, outsF, kMax);
      plug->ProcessDouble(insD, outsD, kMax);
    }
  });
  EXPECT_EQ(monoRun.allocations, 0);
  EXPECT_EQ(monoRun.foreignLocks, 0);
}

} // namespace
