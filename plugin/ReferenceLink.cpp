#include "plugin/ReferenceLink.h"

#include <algorithm>
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
      // All slots taken (by instances that crashed, or of an older build that kept them): start
      // over, but never under a sender that is publishing.
      FreeUnflaggedSlots(data);
      slotIndex_ = ClaimFreeSlot(data);
    }
  }
  ready_ = true;
}

// Instances come and go with every scan, project reload and undo of a host: the slot goes back,
// or the segment would run out of slots.
ReferenceLink::~ReferenceLink() {
  if (uint8_t* data = SegmentData(segment_.get()); data && zt::os::MappingIntact(segment_->mapping))
    ReleaseSlot(data, slotIndex_);
}

void ReferenceLink::ReadReference(int frames) {
  if (!ready_ || busy_) {
    firstValue = -1.0;
    referenceDb = -1000.0;
    framesSinceRead_ = -1;
    return;
  }
  // Hosts that split blocks into a few frames make thousands of blocks a second: the segment is
  // read (after the shrink check, a system call) once per millisecond of audio, and the blocks
  // in between keep that reading. Blocks of 1 ms or more read every time.
  // The meters' rule: a millisecond is due once frames x 1000 reach the rate.
  if (frames > 0 && framesSinceRead_ >= 0 &&
      static_cast<double>(framesSinceRead_ + frames) * 1000.0 < owner_->SampleRate()) {
    framesSinceRead_ += frames;
    return;
  }
  framesSinceRead_ = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(owner_->Mutex());
    busy_ = 1;
    firstValue = -1.0;
    referenceDb = -1000.0;
    uint8_t* data = SegmentData(segment_.get());
    // A segment another process has shrunk is no reference (and must not be touched).
    if (data && zt::os::MappingIntact(segment_->mapping)) {
      for (int i = 0; i < kSlotCount; ++i) {
        if (LoadFlag(data, i) != 1) continue;
        firstValue = LoadSlot(data, i, 0);
        const double level = LoadSlot(data, i, 1);
        // A level that is not a number, or louder than any programme can be, is no usable
        // reference: it would turn into an unbounded gain on the audio.
        if (std::isfinite(level) && std::fabs(level) <= kMaxReferenceLevel)
          referenceDb = std::log(std::fabs(level)) * 8.685889638065037;
        break;
      }
    }
  }
  busy_ = 0;
}
