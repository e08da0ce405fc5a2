#include "plugin/SharedSegment.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr char kMagic[4] = {'S', 'M', 'E', 'M'};
}

std::unique_ptr<SharedSegment> shmem(const char* baseName, uint64_t dataSize) {
  auto segment = std::make_unique<SharedSegment>();
  segment->name = baseName ? baseName : "";
  segment->size = dataSize;
  const uint64_t total = dataSize + kSegmentHeaderBytes;

  const zt::os::MapResult result =
      zt::os::MapShared(zt::os::SharedName(baseName), total, segment->mapping);
  if (result == zt::os::MapResult::Failed || !segment->mapping.view) return nullptr;
  segment->created = result == zt::os::MapResult::Created;
  uint8_t* view = segment->View();

  if (segment->created) {
    memcpy(view, kMagic, 4);
    for (int i = 0; i < 8; ++i)
      view[8 + i] = static_cast<uint8_t>(dataSize >> (8 * i));
    return segment;
  }

  const uint64_t mapped = segment->mapping.viewBytes;
  if (mapped < 16 || memcmp(view, kMagic, 4) != 0) {
    fprintf(stderr, "shmem(\"%s\", %d) failed: invalid header\n", segment->name.c_str(),
            static_cast<int>(dataSize));
    return nullptr;
  }
  uint64_t found = 0;
  for (int i = 0; i < 8; ++i)
    found |= static_cast<uint64_t>(view[8 + i]) << (8 * i);
  // An object too small for the requested size is a size mismatch too, whatever it claims.
  if (found != dataSize || mapped < total) {
    fprintf(stderr, "shmem(\"%s\", %d) failed: size mismatch (found %d)\n", segment->name.c_str(),
            static_cast<int>(dataSize), static_cast<int>(found));
    return nullptr;
  }
  return segment;
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

int ClaimFreeSlot(uint8_t* data) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (LoadSlot(data, i, 0) == kSlotFree) {
      StoreSlot(data, i, 0, 0.0);
      StoreSlot(data, i, 1, 0.0);
      return i;
    }
  }
  return -1;
}
