// AAX modules that misbehave, for the mock host's command to report: built once per mode.
//   MODE 0: ACFRegisterPlugin writes through a null pointer
//   MODE 1: only ACFStartup is exported
//   MODE 2: registers an effect without components, keeps a reference to the host's collection
//           and reports an object alive forever
//   MODE 3: ACFRegisterPlugin answers an error and registers nothing
#include <cstdint>

#include "iplug/aax/support/AAX_Interfaces.h"

#if defined(_WIN32)
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

EXPORT AAX_Result ACFStartup(IACFUnknown*) {
  return kAAXSuccess;
}

#if MODE != 1

EXPORT AAX_Result ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition) {
#if MODE == 0
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  (void)host;
  (void)definition;
  return kAAXSuccess;
#elif MODE == 3
  (void)host;
  (void)definition;
  return kAAXErrorNullObject;
#else
  void* out = nullptr;
  if (host->QueryInterface(kIID_ComponentFactory, &out) != kAAXSuccess || !out)
    return kAAXErrorNullObject;
  auto* factory = static_cast<IACFComponentFactory*>(out);
  out = nullptr;
  factory->CreateInstance(kCLSID_Collection, kIID_Collection, &out);
  factory->Release();
  if (!out) return kAAXErrorNullObject;
  auto* collection = static_cast<AAX_ICollection*>(out);
  AAX_IEffectDescriptor* effect = collection->NewDescriptor();
  effect->AddName("Leaky");
  collection->AddEffect("com.example.leaky", effect);
  effect->Release();
  // The collection's reference is never given back.
  collection->QueryInterface(kIID_PluginDefinition, reinterpret_cast<void**>(definition));
  return kAAXSuccess;
#endif
}

EXPORT AAX_Result ACFRegisterComponent(IACFUnknown*, uint32_t, IACFComponentDefinition** c) {
  if (c) *c = nullptr;
  return kAAXSuccess;
}
EXPORT AAX_Result ACFGetClassFactory(IACFUnknown*, const acfUID*, const acfUID*, void** f) {
  if (f) *f = nullptr;
  return kAAXErrorUnimplemented;
}
EXPORT AAX_Result ACFCanUnloadNow(IACFUnknown*) {
  return MODE == 2 ? 1 : 0;
}
EXPORT AAX_Result ACFShutdown(IACFUnknown*) {
  return kAAXSuccess;
}
EXPORT AAX_Result ACFGetSDKVersion(uint64_t* v) {
  if (v) *v = 0;
  return kAAXSuccess;
}
#endif
