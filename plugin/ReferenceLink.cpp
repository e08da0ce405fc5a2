#include "plugin/ReferenceLink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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
  // read (system calls) once per millisecond of audio, and the blocks in between keep that
  // reading. Blocks of 1 ms or more read every time.
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
    double first = -1.0, level = 0.0;
    const Reading reading = ReadSender(&first, &level);
    if (reading != Reading::Unsure) {
      firstValue = -1.0;
      referenceDb = -1000.0;
    }
    if (reading == Reading::Sender) {
      firstValue = first;
      // A level that is not a number, or louder than any programme can be, is no usable
      // reference: it would turn into an unbounded gain on the audio.
      if (std::isfinite(level) && std::fabs(level) <= kMaxReferenceLevel)
        referenceDb = std::log(std::fabs(level)) * 8.685889638065037;
    }
  }
  busy_ = 0;
}

ReferenceLink::Reading ReferenceLink::ReadSender(double* first, double* level) {
  // Read through the descriptor, never the mapped pages: another process may shrink the object
  // at any moment, and a mapped page past its end raises SIGBUS. A segment that is gone or shrunk
  // is no reference.
  const zt::os::SharedMapping* mapping = segment_ ? &segment_->mapping : nullptr;
  if (!mapping || !zt::os::ReadShared(*mapping, kSegmentHeaderBytes, copy_, kSegmentDataBytes))
    return Reading::None;
  for (int i = 0; i < kSlotCount; ++i) {
    if (copy_[kFlagsOffset + i] != 1) continue;
    // The copy is not atomic per double: a slot the sender wrote meanwhile may hold parts of two
    // values. It counts once two readings agree; a slot that keeps changing keeps the last reading.
    double slot[2], again[2];
    memcpy(slot, copy_ + 16 * i, sizeof slot);
    for (int reading = 0;; ++reading) {
      if (!zt::os::ReadShared(*mapping, kSegmentHeaderBytes + 16 * i, again, sizeof again))
        return Reading::None;
      if (memcmp(slot, again, sizeof slot) == 0) break;
      if (reading == 2) return Reading::Unsure;
      memcpy(slot, again, sizeof slot);
    }
    *first = slot[0];
    *level = slot[1];
    return Reading::Sender;
  }
  return Reading::None;
}
