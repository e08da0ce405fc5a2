// The audio path allocates nothing and takes no lock but the instance mutex, counted by the
// allocation probe.
#include <cstdlib>
#include <pthread.h>

#include <gtest/gtest.h>

#include "tests/support/AllocProbe.h"
#include "tests/support/ReceiverRig.h"
#include "tools/sender/ReferenceSender.h"
#include "tests/support/Signals.h"

namespace {

class AudioPath : public testing::Test {
protected:
  // Runs `blocks` blocks with counting on and returns the allocations seen.
  void Measure(ReceiverRig& rig, int frames, int blocks, long* allocations, long* locks) {
    rig.Resize(frames);
    double* ins[2] = {rig.in0.data(), rig.in1.data()};
    double* outs[2] = {rig.out0.data(), rig.out1.data()};
    const ProbeCounts c = AllocProbe::Measure(
        [&] {
          for (int b = 0; b < blocks; ++b) {
            for (int k = 0; k < frames; ++k)
              rig.in0[k] = rig.in1[k] = 0.2 * noise.Next();
            rig.plug->ProcessDouble(ins, outs, frames);
          }
        },
        rig.plug->Mutex().native_handle());
    *allocations = c.allocations;
    *locks = c.foreignLocks;
  }

  Noise noise{3};
};

TEST_F(AudioPath, ProcessBlockAllocatesNothingAndLocksOnlyTheInstance) {
  ReceiverRig rig("alloc");
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-18.0);
  rig.plug->transport.playing = true;
  rig.plug->recordEvents = false;

  long allocations = -1, locks = -1;
  struct Mode {
    const char* what;
    int analysis, normalize, bypass;
  } modes[] = {{"matching", 0, 0, 0},
               {"analysis", 1, 0, 0},
               {"normalisation", 0, 1, 0},
               {"bypass with analysis", 1, 0, 1}};
  for (const Mode& m : modes) {
    // Any change of output normalisation switches analysis off, so analysis comes last.
    rig.SetParam(ParamBypass, m.bypass);
    rig.SetParam(ParamOutputNormalization, m.normalize);
    rig.SetParam(ParamAnalysis, m.analysis);
    ASSERT_EQ(rig.plug->GetParam(ParamAnalysis)->IsOn(), m.analysis == 1);
    for (int frames : {64, 512, 4096, 10000}) {
      rig.Run(frames, [](int, int) { return 0.0; }); // the first block may warm up
      Measure(rig, frames, 50, &allocations, &locks);
      EXPECT_EQ(allocations, 0) << m.what << ", " << frames << " frames";
      EXPECT_EQ(locks, 0) << m.what << ", " << frames << " frames";
    }
  }
}

// The counters themselves work: a deliberate allocation and a foreign lock are seen.
TEST_F(AudioPath, CountersSeeWhatTheyCount) {
  pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
  const ProbeCounts c = AllocProbe::Measure([&] {
    void* volatile p = malloc(16);
    free(p);
    pthread_mutex_lock(&m);
    pthread_mutex_unlock(&m);
  });
  EXPECT_EQ(c.allocations, 2);
  EXPECT_EQ(c.foreignLocks, 1);
}

} // namespace
