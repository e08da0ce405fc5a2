#include "tests/support/AllocProbe.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>

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
std::atomic<const void*> gAllowedMutex{nullptr};
std::atomic<const void*> gFirstMutex{nullptr};
std::atomic<bool> gThisThreadOnly{false};
// Trivial and zero-initialised: reading it from inside malloc needs no allocation itself.
thread_local bool tCounting = false;

using LockFn = int (*)(pthread_mutex_t*);

// Looked up on first use, without a function-local static: its guard may itself lock a mutex.
std::atomic<LockFn> gRealLock{nullptr};
std::atomic<LockFn> gRealTryLock{nullptr};

LockFn Resolve(std::atomic<LockFn>& slot, const char* name) {
  LockFn fn = slot.load(std::memory_order_acquire);
  if (!fn) {
    fn = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, name));
    slot.store(fn, std::memory_order_release);
  }
  return fn;
}

bool Counting() {
  return gCounting.load(std::memory_order_relaxed) &&
         (!gThisThreadOnly.load(std::memory_order_relaxed) || tCounting);
}

void CountAllocation() {
  if (Counting()) gAllocations.fetch_add(1);
}

void CountLock(const void* m) {
  if (!Counting()) return;
  gLocks.fetch_add(1);
  const void* none = nullptr;
  gFirstMutex.compare_exchange_strong(none, m);
  if (m != gAllowedMutex.load()) gForeignLocks.fetch_add(1);
}

} // namespace

void AllocProbe::Start(const void* allowedMutex, bool thisThreadOnly) {
  tCounting = true;
  gThisThreadOnly = thisThreadOnly;
  gAllowedMutex = allowedMutex;
  gAllocations = 0;
  gLocks = 0;
  gForeignLocks = 0;
  gFirstMutex = nullptr;
  gCounting = true;
}

ProbeCounts AllocProbe::Stop() {
  gCounting = false;
  tCounting = false;
  return {gAllocations.load(), gLocks.load(), gForeignLocks.load(), gFirstMutex.load()};
}

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
  return *out ? 0 : 12; // ENOMEM
}
int pthread_mutex_lock(pthread_mutex_t* m) {
  CountLock(m);
  return Resolve(gRealLock, "pthread_mutex_lock")(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
  CountLock(m);
  return Resolve(gRealTryLock, "pthread_mutex_trylock")(m);
}
}
