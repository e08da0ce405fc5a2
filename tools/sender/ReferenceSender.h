#pragma once
// A stand-in for the sender plug-in: publishes a reference level into the shared segment the way
// a sender on another track does, so that receivers can be driven from tests and tools.

#include <memory>
#include <string>

#include "plugin/SharedSegment.h"

class ReferenceSender {
public:
  ReferenceSender() = default;
  ~ReferenceSender(); // unless Keep() was called, lowers the flag and gives the slot back
  ReferenceSender(const ReferenceSender&) = delete;
  ReferenceSender& operator=(const ReferenceSender&) = delete;

  // Opens the segment (or creates it with the receivers' header and all slots free) and claims
  // the lowest free slot. False with a one-line reason in Error() when that is impossible.
  bool Open(const char* baseName = kSegmentBaseName);
  // Keeps 10^(lufs/20) in the slot's level and holds its flag at 1; -inf publishes silence.
  void PublishLufs(double lufs);
  // Keeps the linear ratio as given (also values a real sender should never write).
  void PublishRatio(double ratio);
  // Lowers the flag: receivers stop following this slot.
  void Withdraw();
  void Keep() { keep_ = true; }

  int Slot() const { return slot_; }
  const std::string& Error() const { return error_; }
  uint8_t* Data() const { return SegmentData(segment_.get()); }

private:
  uint8_t* Writable() const;

  std::unique_ptr<SharedSegment> segment_;
  int slot_ = -1;
  bool keep_ = false;
  std::string error_;
};
