// The harness's process calls allocate nothing and lock no mutex, with call recording on, so a
// test of a plug-in's audio path can count around them. The C library's allocation and mutex
// entry points are interposed in this executable; the probe plug-in asks the host for time
// info, the process level and an automation record in every block.
#include <atomic>
#include <cstdlib>
#include <pthread.h>
#include <vector>

#include <dlfcn.h>
#include <gtest/gtest.h>

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
using LockFn = int (*)(pthread_mutex_t*);
LockFn gRealLock = nullptr;

void CountAllocation() {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
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
  if (gCounting.load(std::memory_order_relaxed)) gLocks.fetch_add(1);
  if (!gRealLock) gRealLock = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  return gRealLock(m);
}
}

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

  gCounting = true;
  for (int block = 0; block < 100; ++block) {
    plugin->ProcessReplacing(fin, fout, 256);
    plugin->ProcessAccumulating(fin, fout, 256);
    plugin->ProcessDouble(din, dout, 256);
    plugin->transport.Advance(256);
  }
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0);
  EXPECT_EQ(gLocks.load(), 0);
  EXPECT_EQ(plugin->calls.size(), 900u); // every call recorded, within the reserved room
}

} // namespace
