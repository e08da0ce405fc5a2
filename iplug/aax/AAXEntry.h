#pragma once
// The seven exports of an AAX module. ZT_AAX_ENTRY_POINTS defines them for a plug-in class, once,
// in the module's entry file (AAXEntry.cpp); each turns an escaping exception into
// kACFUnexpected.

#include <cstdint>
#include <memory>

#include "iplug/aax/AAXDescription.h"
#include "iplug/aax/support/CACFUnknown.h"

#if defined(_WIN32)
#define AAX_EXPORT extern "C" __declspec(dllexport)
#else
#define AAX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The version ACFGetSDKVersion reports.
constexpr uint64_t kAAXSDKVersion = 0x00000201007756BFull;

// Runs body; an exception gives kACFUnexpected.
template <class Body> AAX_Result AAXGuard(Body&& body) {
  try {
    return body();
  } catch (...) {
    return kACFUnexpected;
  }
}

// ACFStartup: the host-services wrapper from host, once; a null host deletes it.
AAX_Result AAXStartup(IACFUnknown* host);
AAX_Result AAXShutdown();
AAX_Result AAXGetSDKVersion(uint64_t* version);

#define ZT_AAX_ENTRY_POINTS(PluginClass, typeIdText)                                               \
  static const AAXEffectInfo& ZtAAXEffectInfo() {                                                  \
    static const AAXEffectInfo info{PluginClass::Config(), typeIdText,                             \
                                    &AAXCreateParameters<PluginClass>, &AAXCreateGUI};             \
    return info;                                                                                   \
  }                                                                                                \
  AAX_EXPORT AAX_Result ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition) {  \
    return AAXGuard([&] { return AAXRegisterPlugin(host, definition, ZtAAXEffectInfo()); });       \
  }                                                                                                \
  AAX_EXPORT AAX_Result ACFRegisterComponent(IACFUnknown*, uint32_t,                               \
                                             IACFComponentDefinition** component) {                \
    return AAXGuard([&] {                                                                          \
      if (component) *component = nullptr;                                                         \
      return kAAXSuccess;                                                                          \
    });                                                                                            \
  }                                                                                                \
  AAX_EXPORT AAX_Result ACFGetClassFactory(IACFUnknown*, const acfUID*, const acfUID*,             \
                                           void** factory) {                                       \
    return AAXGuard([&] {                                                                          \
      if (factory) *factory = nullptr;                                                             \
      return kAAXErrorUnimplemented;                                                               \
    });                                                                                            \
  }                                                                                                \
  AAX_EXPORT AAX_Result ACFCanUnloadNow(IACFUnknown*) {                                            \
    return AAXGuard([] { return CACFUnknown::LiveObjects(); });                                    \
  }                                                                                                \
  AAX_EXPORT AAX_Result ACFStartup(IACFUnknown* host) {                                            \
    return AAXGuard([&] { return AAXStartup(host); });                                             \
  }                                                                                                \
  AAX_EXPORT AAX_Result ACFShutdown(IACFUnknown*) {                                                \
    return AAXGuard([] { return AAXShutdown(); });                                                 \
  }                                                                                                \
  AAX_EXPORT AAX_Result ACFGetSDKVersion(uint64_t* version) {                                      \
    return AAXGuard([&] { return AAXGetSDKVersion(version); });                                    \
  }
