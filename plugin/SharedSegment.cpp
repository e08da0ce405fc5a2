#include "plugin/SharedSegment.h"

#include <cstdio>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr char kMagic[4] = {'S', 'M', 'E', 'M'};

enum class Opening { Ready, SettingUp, InvalidHeader, SizeMismatch, Failed };

uint64_t StoredSize(const uint8_t* view) {
  uint64_t found = 0;
  for (int i = 0; i < 8; ++i)
    found |= static_cast<uint64_t>(view[8 + i]) << (8 * i);
  return found;
}

// One attempt at opening or creating the segment. While `patient`, a segment whose creator is
// still setting it up (no size yet, or no header yet: zero where the magic or the size goes) is
// told apart from one that is really invalid; otherwise it is judged as it is.
Opening TryOpen(SharedSegment& segment, uint64_t dataSize, bool patient, uint64_t* found) {
  const uint64_t total = dataSize + kSegmentHeaderBytes;
  const zt::os::MapResult result =
      zt::os::MapShared(zt::os::SharedName(segment.name.c_str()), total, segment.mapping);
  if (result == zt::os::MapResult::Unsized) return patient ? Opening::SettingUp : Opening::Failed;
  if (result == zt::os::MapResult::Failed || !segment.mapping.view) return Opening::Failed;
  segment.created = result == zt::os::MapResult::Created;
  uint8_t* view = segment.View();
  if (segment.created) {
    memcpy(view, kMagic, 4);
    for (int i = 0; i < 8; ++i)
      view[8 + i] = static_cast<uint8_t>(dataSize >> (8 * i));
    return Opening::Ready;
  }
  const uint64_t mapped = segment.mapping.viewBytes;
  if (mapped < 16) return Opening::InvalidHeader;
  *found = StoredSize(view);
  const bool noMagic = memcmp(view, "\0\0\0\0", 4) == 0;
  if (patient && (noMagic || (memcmp(view, kMagic, 4) == 0 && *found == 0)))
    return Opening::SettingUp;
  if (memcmp(view, kMagic, 4) != 0) return Opening::InvalidHeader;
  // An object too small for the requested size is a size mismatch too, whatever it claims.
  if (*found != dataSize || mapped < total) return Opening::SizeMismatch;
  return Opening::Ready;
}

// How long an opener waits for a creator in another process to finish setting the segment up.
constexpr auto kSetUpWait = std::chrono::milliseconds(100);
constexpr auto kSetUpPoll = std::chrono::milliseconds(2);

} // namespace

std::unique_ptr<SharedSegment> shmem(const char* baseName, uint64_t dataSize) {
  auto segment = std::make_unique<SharedSegment>();
  segment->name = baseName ? baseName : "";
  segment->size = dataSize;

  const auto deadline = std::chrono::steady_clock::now() + kSetUpWait;
  uint64_t found = 0;
  Opening opening = TryOpen(*segment, dataSize, true, &found);
  while (opening == Opening::SettingUp) {
    zt::os::UnmapShared(segment->mapping);
    std::this_thread::sleep_for(kSetUpPoll);
    // Past the wait the creator is gone, and the segment is judged as it stands.
    opening = TryOpen(*segment, dataSize, std::chrono::steady_clock::now() < deadline, &found);
  }
  switch (opening) {
  case Opening::Ready:
    return segment;
  case Opening::SettingUp:
  case Opening::InvalidHeader:
    fprintf(stderr, "shmem(\"%s\", %d) failed: invalid header\n", segment->name.c_str(),
            static_cast<int>(dataSize));
    return nullptr;
  case Opening::SizeMismatch:
    fprintf(stderr, "shmem(\"%s\", %d) failed: size mismatch (found %d)\n", segment->name.c_str(),
            static_cast<int>(dataSize), static_cast<int>(found));
    return nullptr;
  case Opening::Failed:
    break;
  }
  return nullptr;
}

uint8_t* SegmentData(const SharedSegment* segment) {
  if (!segment || !segment->View()) return nullptr;
  return segment->View() + kSegmentHeaderBytes;
}

bool SegmentCreated(const SharedSegment* segment) {
  return segment && segment->created;
}

void FreeAllSlots(uint8_t* data) {
  for (int i = 0; i < kSlotCount; ++i) {
    StoreSlot(data, i, 0, kSlotFree);
    StoreSlot(data, i, 1, kSlotFree);
  }
}

void FreeUnflaggedSlots(uint8_t* data) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (LoadFlag(data, i) == 1) continue;
    StoreSlot(data, i, 0, kSlotFree);
    StoreSlot(data, i, 1, kSlotFree);
  }
}

void ReleaseSlot(uint8_t* data, int slot) {
  if (slot < 0 || slot >= kSlotCount || LoadFlag(data, slot) == 1) return;
  if (LoadSlot(data, slot, 0) != 0.0) return;
  StoreSlot(data, slot, 0, kSlotFree);
  StoreSlot(data, slot, 1, kSlotFree);
}

int ClaimFreeSlot(uint8_t* data) {
  for (int i = 0; i < kSlotCount; ++i) {
    // One step from free to claimed, so that two processes never take the same slot.
    double expected = kSlotFree;
    if (std::atomic_ref<double>(SlotValues(data, i)[0])
            .compare_exchange_strong(expected, 0.0, std::memory_order_acq_rel)) {
      StoreSlot(data, i, 1, 0.0);
      return i;
    }
  }
  return -1;
}
