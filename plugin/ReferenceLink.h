#pragma once
// A receiver's view of the shared segment: claims a slot when constructed and, once per block (once
// per millisecond of audio for shorter blocks), reads the reference level of the lowest slot a
// sender has flagged.

#include <atomic>
#include <cstdint>
#include <memory>

#include "plugin/SharedSegment.h"

class IPlugBase;

class ReferenceLink {
public:
  // The loudest reference followed: +30 LUFS. A full-scale square wave, the loudest a real
  // programme gets, measures +2 to +4 LUFS in stereo, +6.3 at most where the K-weighting lifts
  // it; a level 24 dB beyond that comes from a broken or hostile sender and counts as no
  // reference, like a level that is not a number.
  static constexpr double kMaxReferenceDb = 30.0;
  static constexpr double kMaxReferenceLevel = 31.622776601683793; // 10^(30/20)

  // Takes the owner's instance mutex while it opens the segment and claims a slot.
  ReferenceLink(IPlugBase* owner, const char* baseName);
  ~ReferenceLink(); // gives the claimed slot back, then unmaps

  // audio thread, owner's mutex held (taken again here): leaves firstValue and referenceDb of
  // this block; referenceDb is -1000.0 when there is no usable reference. frames is the block's
  // length: the segment is read (through its descriptor, so that another process shrinking it
  // cannot fault the host; system calls) once per millisecond of audio, and shorter blocks keep
  // the last reading; 0 reads every time.
  void ReadReference(int frames = 0);
  // The next ReadReference reads, whatever its block's length (after the host's reset).
  void ReadAtNextBlock() { framesSinceRead_ = -1; }

  double referenceDb = -1000.0;
  double firstValue = -1.0;

  int SlotIndex() const { return slotIndex_; }
  const SharedSegment* Segment() const { return segment_.get(); }

private:
  enum class Reading { None, Sender, Unsure }; // no sender; a sender's slot; a slot in flux
  Reading ReadSender(double* first, double* level);

  IPlugBase* owner_;
  std::atomic<int32_t> busy_{0};
  std::atomic<bool> ready_{false};
  int slotIndex_ = -1;
  std::unique_ptr<SharedSegment> segment_;
  int64_t framesSinceRead_ = -1; // audio since the last reading; -1: read at the next block
  alignas(8) uint8_t copy_[kSegmentDataBytes]; // the data area as last read
};
