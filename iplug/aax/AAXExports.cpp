#include "iplug/aax/AAXEntry.h"

AAX_Result AAXStartup(IACFUnknown* host) {
  if (!host) {
    AAX_VHostServices::Install(nullptr);
    return kAAXSuccess;
  }
  if (!AAX_VHostServices::Current())
    AAX_VHostServices::Install(std::make_unique<AAX_VHostServices>(host));
  return kAAXSuccess;
}

AAX_Result AAXShutdown() {
  AAX_VHostServices::Install(nullptr);
  return kAAXSuccess;
}

AAX_Result AAXGetSDKVersion(uint64_t* version) {
  if (!version) return kAAXErrorNullObject;
  *version = kAAXSDKVersion;
  return kAAXSuccess;
}
