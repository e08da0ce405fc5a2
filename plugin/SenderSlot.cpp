#include "plugin/SenderSlot.h"

#include <atomic>
#include <bit>
#include <chrono>

#include "plugin/SharedSegment.h"

namespace sender_slot {

namespace {

// A quiet NaN (exponent all ones, bit 51 set) with "ZT" in payload bits 35 to 49 and the clock in
// bits 0 to 34.
constexpr uint64_t kClockBits = 35;
constexpr uint64_t kClockMask = (uint64_t{1} << kClockBits) - 1;
constexpr uint64_t kSignature = 0x7FF8000000000000ull | (uint64_t{0x5A54} << kClockBits);
// Held in a slot's first double while a sender of ours is clearing it: no heartbeat, so nobody
// else touches the slot meanwhile.
constexpr uint64_t kClearing = 0x7FF8000000000000ull | (uint64_t{0x5A55} << kClockBits);

uint64_t Bits(double v) {
  return std::bit_cast<uint64_t>(v);
}

// Replaces the slot's first double only if it still holds `expected` (compared bit for bit, so
// that NaN heartbeats compare too).
bool ReplaceFirst(uint8_t* data, int slot, double expected, double desired) {
  return std::atomic_ref<double>(SlotValues(data, slot)[0])
      .compare_exchange_strong(expected, desired, std::memory_order_acq_rel);
}

// Frees a slot that holds `expected`: marked as being cleared first, so that nobody claims it
// while its flag and level are still those of the sender that leaves; then the flag goes down,
// the level, and last the slot is offered again. False when the slot no longer held expected.
bool ClearSlot(uint8_t* data, int slot, double expected) {
  if (!ReplaceFirst(data, slot, expected, std::bit_cast<double>(kClearing))) return false;
  StoreFlag(data, slot, 0);
  StoreSlot(data, slot, 1, kSlotFree);
  StoreSlot(data, slot, 0, kSlotFree);
  return true;
}

} // namespace

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

double Heartbeat(uint64_t nowMs) {
  return std::bit_cast<double>(kSignature | (nowMs & kClockMask));
}

bool ReadHeartbeat(double value, uint64_t* ms) {
  const uint64_t bits = Bits(value);
  if ((bits & ~kClockMask) != kSignature) return false;
  if (ms) *ms = bits & kClockMask;
  return true;
}

uint64_t HeartbeatAgeMs(uint64_t nowMs, uint64_t beatMs) {
  const uint64_t age = ((nowMs & kClockMask) - beatMs) & kClockMask;
  // A beat written after the caller read its clock (another process, another thread) reads as
  // "ahead": it is as fresh as can be.
  return age >= (uint64_t{1} << (kClockBits - 1)) ? 0 : age;
}

int Claim(uint8_t* data, int channel, uint64_t nowMs) {
  if (!data) return -1;
  const double beat = Heartbeat(nowMs);
  if (channel == kAuto) {
    for (int i = 0; i < kSlotCount; ++i)
      if (LoadFlag(data, i) != 1 && ReplaceFirst(data, i, kSlotFree, beat)) return i;
    return -1;
  }
  if (channel < 0 || channel >= kSlotCount) return -1;
  // Free, counted by a receiver (0.0, no flag), or a stale sender of ours; a slot any other
  // sender keeps is left alone, whatever it holds.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const double first = LoadSlot(data, channel, 0);
    uint64_t old = 0;
    const bool free = first == kSlotFree || (first == 0.0 && LoadFlag(data, channel) != 1);
    const bool stale = ReadHeartbeat(first, &old) && HeartbeatAgeMs(nowMs, old) > kStaleMs;
    if (!free && !stale) return -1;
    if (ReplaceFirst(data, channel, first, beat)) {
      // The flag of a stale sender is not ours to keep raised: it goes up when we send.
      if (stale) StoreFlag(data, channel, 0);
      return channel;
    }
  }
  return -1;
}

bool Beat(uint8_t* data, int slot, double lastBeat, double beat) {
  return data && slot >= 0 && slot < kSlotCount && ReplaceFirst(data, slot, lastBeat, beat);
}

bool StillOurs(uint8_t* data, int slot, double lastBeat) {
  return data && slot >= 0 && slot < kSlotCount && Bits(LoadSlot(data, slot, 0)) == Bits(lastBeat);
}

int ClearStale(uint8_t* data, uint64_t nowMs, int exceptSlot) {
  if (!data) return 0;
  int lowered = 0;
  for (int i = 0; i < kSlotCount; ++i) {
    if (i == exceptSlot) continue;
    const double first = LoadSlot(data, i, 0);
    uint64_t beat = 0;
    if (!ReadHeartbeat(first, &beat) || HeartbeatAgeMs(nowMs, beat) <= kStaleMs) continue;
    const bool flagged = LoadFlag(data, i) == 1;
    // Only while nobody wrote a fresh heartbeat meanwhile.
    if (ClearSlot(data, i, first) && flagged) ++lowered;
  }
  return lowered;
}

void Release(uint8_t* data, int slot, double lastBeat) {
  if (!data || slot < 0 || slot >= kSlotCount) return;
  ClearSlot(data, slot, lastBeat);
}

int FollowedSlot(uint8_t* data) {
  if (!data) return -1;
  for (int i = 0; i < kSlotCount; ++i)
    if (LoadFlag(data, i) == 1) return i;
  return -1;
}

} // namespace sender_slot
