#pragma once
// The shared segment in which a sender publishes reference levels and receivers read them.
// Layout (little-endian): "SMEM" at 0, the 64-bit data size at 8, then from offset 64 the data
// area: 128 slots of two doubles, then 128 flag bytes. There is no lock: a sender writes while
// receivers in any process read, so every slot double and flag byte is accessed as one atomic
// value.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "os/SharedMemory.h"

constexpr uint64_t kSegmentHeaderBytes = 64;
constexpr uint64_t kSegmentDataBytes = 2176;
constexpr int kSlotCount = 128;
constexpr uint64_t kFlagsOffset = 2048; // within the data area: after the 128 slots
constexpr double kSlotFree = -1.0;
constexpr const char* kSegmentBaseName = "ZolvarTesk";

struct SharedSegment {
  std::string name; // the base name, as given
  zt::os::SharedMapping mapping;
  uint64_t size = 0; // requested data size
  bool created = false;

  ~SharedSegment() { zt::os::UnmapShared(mapping); }
  uint8_t* View() const { return static_cast<uint8_t*>(mapping.view); }
};

// Opens or creates and validates the segment; null on failure. A segment with a wrong magic or
// size prints one line on standard error, naming the base name.
std::unique_ptr<SharedSegment> shmem(const char* baseName, uint64_t dataSize);

// Pointer to the data area (offset 64), or null for a null segment or a missing view.
uint8_t* SegmentData(const SharedSegment* segment);
bool SegmentCreated(const SharedSegment* segment);

// Slot and flag access on a data area of kSegmentDataBytes.
static_assert(std::atomic_ref<double>::is_always_lock_free);
inline double* SlotValues(uint8_t* data, int slot) {
  return reinterpret_cast<double*>(data + 16 * slot);
}
inline double LoadSlot(uint8_t* data, int slot, int which) {
  return std::atomic_ref<double>(SlotValues(data, slot)[which]).load(std::memory_order_acquire);
}
inline void StoreSlot(uint8_t* data, int slot, int which, double v) {
  std::atomic_ref<double>(SlotValues(data, slot)[which]).store(v, std::memory_order_release);
}
inline uint8_t LoadFlag(uint8_t* data, int slot) {
  return std::atomic_ref<uint8_t>(data[kFlagsOffset + slot]).load(std::memory_order_acquire);
}
inline void StoreFlag(uint8_t* data, int slot, uint8_t v) {
  std::atomic_ref<uint8_t>(data[kFlagsOffset + slot]).store(v, std::memory_order_release);
}
// Marks every slot free (both doubles -1.0); flag bytes are left alone. For a segment just made.
void FreeAllSlots(uint8_t* data);
// Marks every slot free whose flag byte is not 1: what a receiver does when no slot is left, so
// that the slots senders are publishing in stay as they are.
void FreeUnflaggedSlots(uint8_t* data);
// Claims the lowest free slot (first double -1.0) by writing 0.0 to both doubles; -1 if none.
int ClaimFreeSlot(uint8_t* data);
// Gives a slot claimed with ClaimFreeSlot back (both doubles -1.0), unless a sender has raised
// its flag or holds a value of its own in it since.
void ReleaseSlot(uint8_t* data, int slot);
