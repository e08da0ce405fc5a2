#include "tools/sender/ReferenceSender.h"

#include <cmath>

ReferenceSender::~ReferenceSender() {
  if (keep_) return;
  Withdraw();
  if (uint8_t* data = Writable()) ReleaseSlot(data, slot_);
}

// The data area, unless another process has shrunk the segment under it.
uint8_t* ReferenceSender::Writable() const {
  uint8_t* data = Data();
  return data && zt::os::MappingIntact(segment_->mapping) ? data : nullptr;
}

bool ReferenceSender::Open(const char* baseName) {
  segment_ = shmem(baseName, kSegmentDataBytes);
  uint8_t* data = Data();
  if (!data) {
    error_ = "cannot open or create the shared segment \"" + zt::os::SharedName(baseName) + "\"";
    return false;
  }
  if (SegmentCreated(segment_.get())) FreeAllSlots(data);
  slot_ = ClaimFreeSlot(data);
  if (slot_ < 0) {
    segment_.reset();
    error_ = "no free slot in the shared segment";
    return false;
  }
  return true;
}

void ReferenceSender::PublishLufs(double lufs) {
  PublishRatio(std::exp(lufs * 0.1151292546497));
}

void ReferenceSender::PublishRatio(double ratio) {
  uint8_t* data = Writable();
  if (!data || slot_ < 0) return;
  // Level first, flag second: a receiver that sees the flag also sees the level.
  StoreSlot(data, slot_, 1, ratio);
  StoreFlag(data, slot_, 1);
}

void ReferenceSender::Withdraw() {
  if (uint8_t* data = Writable(); data && slot_ >= 0) StoreFlag(data, slot_, 0);
}
