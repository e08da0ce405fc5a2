#pragma once
// Selects the host adapter a plug-in class derives from in this build. Each adapter defines
// IPlugInstanceInfo, the argument its factory hands to the plug-in's constructor.

#if defined(ZT_API_VST2)
#include "iplug/vst2/IPlugVST.h"
using IPlugAdapter = IPlugVST;
#elif defined(ZT_API_AAX)
#include "iplug/aax/IPlugAAX.h"
using IPlugAdapter = IPlugAAX;
#elif defined(ZT_API_TEST)
#include "iplug/test/IPlugTest.h"
using IPlugAdapter = IPlugTest;
#else
#error "Define ZT_API_VST2, ZT_API_AAX or ZT_API_TEST to pick the plug-in's host adapter"
#endif
