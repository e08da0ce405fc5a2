// The read-outs' hand-over costs the audio thread no allocation and no lock: UpdateText with the
// text already shown marks nothing, with a new text it marks once, and neither allocates. The C
// library's allocation and mutex entry points are interposed here to count what happens.
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include "ICairoControls.h"
#include "IGraphicsHeadless.h"
#include "ReceiverRig.h"

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

struct Counted {
  Counted() {
    gAllocations = 0;
    gLocks = 0;
    gCounting = true;
  }
  ~Counted() { gCounting = false; }
};

TEST(ReadoutAudioPath, UpdateTextAllocatesNothingAndMarksOnlyChanges) {
  ReceiverRig rig("ra");
  auto* editor = dynamic_cast<IGraphicsHeadless*>(rig.plug->Editor());
  ASSERT_NE(editor, nullptr);
  editor->OpenEditorWindow(nullptr);
  ICairoText* readout = rig.plug->ReadoutIn();
  ASSERT_NE(readout, nullptr);
  readout->UpdateText("-23.4");
  for (int i = 0; i < 3; ++i)
    editor->Tick(); // painted; the marks are used up
  ASSERT_FALSE(readout->NeedsPaint());

  long allocations, locks;
  {
    Counted c;
    for (int i = 0; i < 1000; ++i)
      readout->UpdateText("-23.4");
    allocations = gAllocations;
    locks = gLocks;
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  EXPECT_FALSE(readout->NeedsPaint()) << "the same text marked the read-out";

  {
    Counted c;
    readout->UpdateText("-inf");
    readout->UpdateText("-123.4");
    readout->UpdateText(""); // shrinking to nothing allocates nothing either
    allocations = gAllocations;
    locks = gLocks;
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  EXPECT_TRUE(readout->NeedsPaint());
}

} // namespace
