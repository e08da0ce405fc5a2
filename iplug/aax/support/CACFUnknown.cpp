#include "iplug/aax/support/CACFUnknown.h"

namespace {
std::atomic<int32_t> gLiveObjects{0};
}

CACFUnknown::CACFUnknown() {
  gLiveObjects.fetch_add(1, std::memory_order_relaxed);
}

CACFUnknown::~CACFUnknown() {
  gLiveObjects.fetch_sub(1, std::memory_order_relaxed);
}

uint32_t CACFUnknown::InternalAddRef() {
  return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t CACFUnknown::InternalRelease() {
  const uint32_t before = references_.fetch_sub(1, std::memory_order_acq_rel);
  if (before == 0) {
    // Released once too often: the count stays at 0 and the object, already gone or about to
    // be, is not deleted twice.
    references_.store(0, std::memory_order_relaxed);
    return 0;
  }
  if (before == 1) delete this;
  return before - 1;
}

AAX_Result CACFUnknown::InternalQueryInterface(const acfUID& iid, void** out) {
  if (!out) return kAAXErrorNullObject;
  *out = nullptr;
  if (AnswerInterface(iid, kIID_ACFUnknown, Unknown(), out)) return kAAXSuccess;
  return kACFNoInterface;
}

int32_t CACFUnknown::LiveObjects() {
  return gLiveObjects.load(std::memory_order_relaxed);
}
