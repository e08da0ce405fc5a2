// The editor's timer tick allocates nothing and takes no lock, whether it finds nothing to paint
// or repaints a dirty control; neither do the calls the audio thread makes into the editor. The
// allocation probe counts what happens.
#include <algorithm>
#include <cstdlib>
#include <pthread.h>

#include <gtest/gtest.h>

#include "tests/support/AllocProbe.h"
#include "tests/igraphics/EditorRig.h"

namespace {

class EditorAlloc : public testing::Test {
protected:
  template <typename F> void Count(F&& f, long* allocations, long* locks) {
    const ProbeCounts c = AllocProbe::Measure(f);
    *allocations = c.allocations;
    *locks = c.locks;
  }
};

TEST_F(EditorAlloc, QuietTicksAllocateNothing) {
  EditorRig rig;
  rig.Open();
  long allocations = -1, locks = -1, painted = 0;
  Count(
      [&] {
        for (int i = 0; i < 1000; ++i)
          painted += rig.editor->Tick();
      },
      &allocations, &locks);
  EXPECT_EQ(painted, 0);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
}

TEST_F(EditorAlloc, RepaintingADirtyControlAllocatesNothing) {
  EditorRig rig;
  rig.Open();
  long allocations = -1, locks = -1, painted = 0;
  for (int i = 0; i < 50; ++i) {
    rig.switch1->SetValue(i & 1);
    rig.switch1->MarkDirty(false);
    long a = 0, l = 0;
    Count([&] { painted += rig.editor->Tick() + rig.editor->Tick(); }, &a, &l);
    allocations = std::max(allocations, a);
    locks = std::max(locks, l);
  }
  EXPECT_EQ(painted, 100);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
}

// What the receiver's processing does to its editor every block.
TEST_F(EditorAlloc, AudioSideCallsAllocateNothingAndTakeNoLock) {
  EditorRig rig;
  rig.Open();
  long allocations = -1, locks = -1;
  Count(
      [&] {
        for (int i = 0; i < 1000; ++i) {
          rig.editor->DimParamControls(kParamOther, (i & 1) != 0);
          rig.editor->PushParamToControls(kParamSwitch, (i & 2) ? 1.0 : 0.0, true);
          rig.editor->PushParamToControls(kParamTarget, -20.0 - (i % 5), false);
        }
      },
      &allocations, &locks);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  EXPECT_TRUE(rig.switch2->IsDimmed());
}

// The counters themselves work.
TEST_F(EditorAlloc, CountersSeeWhatTheyCount) {
  long allocations = -1, locks = -1;
  Count(
      [] {
        void* volatile p = malloc(16);
        free(p);
        pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&m);
        pthread_mutex_unlock(&m);
      },
      &allocations, &locks);
  EXPECT_EQ(allocations, 2);
  EXPECT_EQ(locks, 1);
}

} // namespace
