// The receiver module's three audio callbacks allocate nothing and take no lock but the instance
// mutex. The C library's allocation and mutex entry points are interposed in this executable,
// which the module loaded by the host harness binds to; the harness's host callback neither
// allocates (with recording off) nor locks.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ReferenceSender.h"
#include "Signals.h"
#include "TestSession.h"
#include "VstHost.h"

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
std::atomic<long> gForeignLocks{0};
std::atomic<pthread_mutex_t*> gAllowedMutex{nullptr};
// The first mutex locked while counting, for learning the instance mutex.
std::atomic<pthread_mutex_t*> gFirstMutex{nullptr};
using LockFn = int (*)(pthread_mutex_t*);
LockFn gRealLock = nullptr;
LockFn gRealTryLock = nullptr;

void CountAllocation() {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
}
void CountLock(pthread_mutex_t* m) {
  if (!gCounting.load(std::memory_order_relaxed)) return;
  gLocks.fetch_add(1);
  pthread_mutex_t* none = nullptr;
  gFirstMutex.compare_exchange_strong(none, m);
  if (m != gAllowedMutex.load()) gForeignLocks.fetch_add(1);
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

struct Counts {
  long allocations, locks, foreignLocks;
};

class AudioCallbacks : public testing::Test {
protected:
  static void SetUpTestSuite() {
    gRealLock = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    gRealTryLock = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
    ASSERT_NE(gRealLock, nullptr);
  }

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

  template <typename F> Counts Measure(F&& body) {
    gAllocations = 0;
    gLocks = 0;
    gForeignLocks = 0;
    gFirstMutex = nullptr;
    gCounting = true;
    body();
    gCounting = false;
    return {gAllocations.load(), gLocks.load(), gForeignLocks.load()};
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
  const Counts setup = Measure([&] { Dispatch(kEffSetSampleRate, 0, 0, nullptr, 48000.0f); });
  EXPECT_GT(setup.allocations, 0);
  Dispatch(kEffSetBlockSize, 0, 512);
  Dispatch(kEffMainsChanged, 0, 1);
  char on[] = "on";
  ASSERT_EQ(Dispatch(kEffString2Parameter, 3, 0, on), 1); // analysis runs the integrated meter

  // Learn the instance mutex from an opcode that takes it and nothing else.
  Measure([&] { Dispatch(kEffGetTailSize); });
  gAllowedMutex = gFirstMutex.load();
  ASSERT_NE(gAllowedMutex.load(), nullptr);

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
    const Counts run = Measure([&] {
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

  // A mono arrangement reads the second input from the scratch buffer.
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&mono), &mono);
  const Counts monoRun = Measure([&] {
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
