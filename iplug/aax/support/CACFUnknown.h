#pragma once
// The reference-counted object base of the support library. An object starts with one reference,
// held by whoever created it, and deletes itself when the last is released. The module counts
// its live objects, which is what ACFCanUnloadNow reports: a host may unload the module once the
// count is 0.

#include <atomic>
#include <cstdint>

#include "iplug/aax/support/AAX_Interfaces.h"

class CACFUnknown {
public:
  CACFUnknown();
  virtual ~CACFUnknown();
  CACFUnknown(const CACFUnknown&) = delete;
  CACFUnknown& operator=(const CACFUnknown&) = delete;

  uint32_t InternalAddRef();
  uint32_t InternalRelease(); // deletes the object when the count reaches 0
  // Answers kIID_ACFUnknown with unknown; derived classes add their interfaces and call this
  // for the rest. A null out answers kAAXErrorNullObject.
  virtual AAX_Result InternalQueryInterface(const acfUID& iid, void** out);

  // Objects of this module alive now, in any thread.
  static int32_t LiveObjects();

protected:
  // The object's IACFUnknown face, handed out for kIID_ACFUnknown.
  virtual IACFUnknown* Unknown() = 0;

private:
  std::atomic<uint32_t> references_{1};
};

// Writes `face` (with one more reference) into *out when iid is `wanted`; true when it did.
template <class Face>
bool AnswerInterface(const acfUID& iid, const acfUID& wanted, Face* face, void** out) {
  if (!(iid == wanted)) return false;
  face->AddRef();
  *out = face;
  return true;
}

// An object of this library that a host reaches through Interface (an IACFUnknown): the host's
// IACFUnknown calls go to the counting and the query of CACFUnknown, and the object's IACFUnknown
// face is its Interface.
template <class Interface> class CACFObject : public Interface, public CACFUnknown {
public:
  AAX_Result QueryInterface(const acfUID& iid, void** out) override {
    return InternalQueryInterface(iid, out);
  }
  uint32_t AddRef() override { return InternalAddRef(); }
  uint32_t Release() override { return InternalRelease(); }

protected:
  IACFUnknown* Unknown() override { return static_cast<Interface*>(this); }
};
