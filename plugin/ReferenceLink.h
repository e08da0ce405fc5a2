#pragma once
// A receiver's view of the shared segment: claims a slot when constructed and, once per block,
// reads the reference level of the lowest slot a sender has flagged.

#include <atomic>
#include <memory>

#include "plugin/SharedSegment.h"

class IPlugBase;

class ReferenceLink {
public:
  // Takes the owner's instance mutex while it opens the segment and claims a slot.
  ReferenceLink(IPlugBase* owner, const char* baseName);
  ~ReferenceLink(); // unmaps; the claimed slot is not given back

  // audio thread, owner's mutex held (taken again here): leaves firstValue and referenceDb of
  // this block; referenceDb is -1000.0 when there is no usable reference.
  void ReadReference();

  double referenceDb = -1000.0;
  double firstValue = -1.0;

  int SlotIndex() const { return slotIndex_; }
  const SharedSegment* Segment() const { return segment_.get(); }

private:
  IPlugBase* owner_;
  std::atomic<int32_t> busy_{0};
  std::atomic<bool> ready_{false};
  int slotIndex_ = -1;
  std::unique_ptr<SharedSegment> segment_;
};
