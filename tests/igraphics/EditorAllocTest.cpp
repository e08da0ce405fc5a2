// The editor's timer tick allocates nothing and takes no lock, whether it finds nothing to paint
// or repaints a dirty control; neither do the calls the audio thread makes into the editor. The
// C library's allocation and mutex entry points are interposed to count what happens.
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include "EditorRig.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
std::atomic<long> gLocks{0};
using LockFn = int (*)(pthread_mutex_t*);
LockFn gRealLock = nullptr;
LockFn gRealTryLock = nullptr;

void CountAllocation() {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
}
void CountLock() {
  if (gCounting.load(std::memory_order_relaxed)) gLocks.fetch_add(1);
}
} // namespace

extern "C" {
void* malloc(size_t n) {
  CountAllocation();
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
  CountAllocation();
  return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
  CountAllocation();
  return __libc_realloc(p, n);
}
void free(void* p) {
  if (p) CountAllocation();
  __libc_free(p);
}
void* aligned_alloc(size_t a, size_t n) {
  CountAllocation();
  return __libc_memalign(a, n);
}
int posix_memalign(void** out, size_t a, size_t n) {
  CountAllocation();
  *out = __libc_memalign(a, n);
  return *out ? 0 : 12;
}
int pthread_mutex_lock(pthread_mutex_t* m) {
  CountLock();
  return gRealLock(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
  CountLock();
  return gRealTryLock(m);
}
}

namespace {

class EditorAlloc : public testing::Test {
protected:
  static void SetUpTestSuite() {
    gRealLock = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    gRealTryLock = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
    ASSERT_NE(gRealLock, nullptr);
  }
  template <typename F> void Count(F&& f, long* allocations, long* locks) {
    gAllocations = 0;
    gLocks = 0;
    gCounting = true;
    f();
    gCounting = false;
    *allocations = gAllocations;
    *locks = gLocks;
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
