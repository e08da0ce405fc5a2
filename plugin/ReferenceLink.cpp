#include "plugin/ReferenceLink.h"

#include <cmath>
#include <mutex>

#include "iplug/IPlugBase.h"

ReferenceLink::ReferenceLink(IPlugBase* owner, const char* baseName) : owner_(owner) {
  std::lock_guard<std::recursive_mutex> lock(owner_->Mutex());
  segment_ = shmem(baseName, kSegmentDataBytes);
  if (uint8_t* data = SegmentData(segment_.get())) {
    if (segment_->created) {
      FreeAllSlots(data);
    }
    slotIndex_ = ClaimFreeSlot(data);
    if (slotIndex_ < 0) {
      // All slots taken (they are never given back): start over from slot 0.
      FreeAllSlots(data);
      slotIndex_ = ClaimFreeSlot(data);
    }
  }
  ready_ = true;
}

ReferenceLink::~ReferenceLink() = default;

void ReferenceLink::ReadReference() {
  if (!ready_ || busy_) {
    firstValue = -1.0;
    referenceDb = -1000.0;
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(owner_->Mutex());
    busy_ = 1;
    firstValue = -1.0;
    referenceDb = -1000.0;
    if (uint8_t* data = SegmentData(segment_.get())) {
      for (int i = 0; i < kSlotCount; ++i) {
        if (LoadFlag(data, i) != 1) continue;
        firstValue = LoadSlot(data, i, 0);
        const double level = LoadSlot(data, i, 1);
        // A level that is not a number or infinite is no usable reference: it would turn into
        // an infinite or NaN gain on the audio.
        if (std::isfinite(level)) referenceDb = std::log(std::fabs(level)) * 8.685889638065037;
        break;
      }
    }
  }
  busy_ = 0;
}
