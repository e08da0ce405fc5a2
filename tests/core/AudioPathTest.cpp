// The audio path allocates nothing and takes no lock but the instance mutex. The C library's
// allocation and mutex entry points are interposed here to count what happens in between.
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include "ReceiverRig.h"
#include "ReferenceSender.h"
#include "Signals.h"

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
std::atomic<long> gForeignLocks{0};
std::atomic<pthread_mutex_t*> gAllowedMutex{nullptr};
using LockFn = int (*)(pthread_mutex_t*);
LockFn gRealLock = nullptr;
LockFn gRealTryLock = nullptr;

void CountAllocation() {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
}
void CountLock(pthread_mutex_t* m) {
  if (gCounting.load(std::memory_order_relaxed) && m != gAllowedMutex.load())
    gForeignLocks.fetch_add(1);
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
  CountLock(m);
  return gRealLock(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
  CountLock(m);
  return gRealTryLock(m);
}
}

namespace {

class AudioPath : public testing::Test {
protected:
  static void SetUpTestSuite() {
    gRealLock = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    gRealTryLock = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
    ASSERT_NE(gRealLock, nullptr);
  }

  // Runs `blocks` blocks with counting on and returns the allocations seen.
  void Measure(ReceiverRig& rig, int frames, int blocks, long* allocations, long* locks) {
    rig.Resize(frames);
    double* ins[2] = {rig.in0.data(), rig.in1.data()};
    double* outs[2] = {rig.out0.data(), rig.out1.data()};
    gAllowedMutex = rig.plug->Mutex().native_handle();
    gAllocations = 0;
    gForeignLocks = 0;
    gCounting = true;
    for (int b = 0; b < blocks; ++b) {
      for (int k = 0; k < frames; ++k)
        rig.in0[k] = rig.in1[k] = 0.2 * noise.Next();
      rig.plug->ProcessDouble(ins, outs, frames);
    }
    gCounting = false;
    *allocations = gAllocations;
    *locks = gForeignLocks;
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
  gCounting = true;
  gAllocations = 0;
  gForeignLocks = 0;
  void* volatile p = malloc(16);
  free(p);
  pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_lock(&m);
  pthread_mutex_unlock(&m);
  gCounting = false;
  EXPECT_EQ(gAllocations, 2);
  EXPECT_EQ(gForeignLocks, 1);
}

} // namespace
