#include "tests/support/FreedMemoryPoison.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr unsigned char kPattern = 0xDD;
constexpr int kHeld = 1 << 16; // blocks beyond this are poisoned and freed at once

std::atomic<bool> gArmed{false};
std::atomic_flag gBusy = ATOMIC_FLAG_INIT; // guards the held blocks
void* gHeldBlocks[kHeld];
int gHeld = 0;
long gPoisoned = 0;

void Lock() {
  while (gBusy.test_and_set(std::memory_order_acquire)) {
  }
}
void Unlock() {
  gBusy.clear(std::memory_order_release);
}

void* Allocate(size_t n) {
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

void Release(void* p) {
  if (!p) return;
  if (!gArmed.load(std::memory_order_acquire)) {
    std::free(p);
    return;
  }
  std::memset(p, kPattern, _msize(p));
  Lock();
  ++gPoisoned;
  const bool held = gHeld < kHeld;
  if (held) gHeldBlocks[gHeld++] = p;
  Unlock();
  if (!held) std::free(p);
}

} // namespace

FreedMemoryPoison::FreedMemoryPoison() {
  Lock();
  gPoisoned = 0;
  Unlock();
  gArmed.store(true, std::memory_order_release);
}

FreedMemoryPoison::~FreedMemoryPoison() {
  gArmed.store(false, std::memory_order_release);
  Lock();
  for (int i = 0; i < gHeld; ++i)
    std::free(gHeldBlocks[i]);
  gHeld = 0;
  Unlock();
}

long FreedMemoryPoison::Poisoned() {
  Lock();
  const long n = gPoisoned;
  Unlock();
  return n;
}

void* operator new(size_t n) {
  return Allocate(n);
}
void* operator new[](size_t n) {
  return Allocate(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, size_t) noexcept {
  Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  Release(p);
}
