#pragma once
// The effect description an AAX host reads through ACFRegisterPlugin: the effect's identifier,
// names, category and version, one component per channel configuration with its render context
// and render procedure, and the two creation procedures. Also the creation procedures
// themselves and the render procedure every component registers.

#include <cstdint>
#include <mutex>
#include <string>

#include "iplug/IPlugStructs.h"
#include "iplug/aax/IPlugAAX.h"
#include "iplug/aax/support/AAX_Wrappers.h"

// What one component registers.
struct ComponentSetup {
  bool wantsGlobalMidi = false;
  std::string globalMidiName = "GlobalMIDI";
  uint32_t globalMidiMask = 0xFFFF;
  bool wantsMidiInput = false;
  std::string midiInputName;
  uint32_t midiInputMask = 1;
  bool wantsTransport = true;
  std::string transportName = "Transport";
  int32_t meterCount = 0;
  const AAX_CTypeID* meterIds = nullptr;
  uint32_t inputStem = 0;
  uint32_t outputStem = 0;
  bool property151 = false;
  uint8_t property60 = 1;
  AAX_CTypeID manufacturerId = 0;
  AAX_CTypeID productId = 0;
  AAX_CTypeID nativeTypeId = 0;
  AAX_CTypeID secondTypeId = 0;
  int32_t property56 = 0;
};

// What the description of one plug-in needs.
struct AAXEffectInfo {
  PluginConfig config;
  // Per channel configuration, in the order of config.channelIO: its native and its second
  // type ID as two four-character codes ("EFN1 EFA1 EFN2 EFA2"); a configuration beyond them
  // has no row and is not registered.
  const char* typeIds = "";
  AAX_CreateObjectProc createParameters = nullptr;
  AAX_CreateObjectProc createGUI = nullptr;
};

// The stem format of a channel count: an index in the top 16 bits, the count in the low 16;
// 0xFF9C0000 (no stem) for a count without one.
uint32_t StemFormatForChannels(int channels);

// Registers one component on effect; the OR of every step's result.
AAX_Result RegisterComponent(AAX_VEffectDescriptor& effect, const ComponentSetup& setup);

// Describes the effect into collection; 0, or the OR of the failed steps' results (the effect is
// then not added). Prints "***** inputs %d *****" per configuration on standard output.
AAX_Result DescribeEffect(AAX_VCollection& collection, const AAXEffectInfo& info);

// ACFRegisterPlugin: a new collection from the host's factory, described, handed back as the
// definition.
AAX_Result AAXRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition,
                             const AAXEffectInfo& info);

// The render procedure: each context's instance renders it. Audio thread. RenderProcedureFor
// gives the one of a component with so many input and output channels, which tells the instance
// how many buffers the host hands over; RenderProcedure itself knows none.
void RenderProcedure(void* const* contexts, const void* end);
AAX_CProcessProc RenderProcedureFor(int inputs, int outputs);

// Held while an instance is created, so that instances are constructed one after the other.
// Created on first use; destroyed when the module unloads.
std::recursive_mutex& AAXConstructionLock();

// Creation procedure 0: a new instance's effect-parameters face, or null.
template <class Plugin> IACFUnknown* AAXCreateParameters() {
  std::lock_guard<std::recursive_mutex> lock(AAXConstructionLock());
  try {
    AAX_CIPlugParameters* face = new Plugin(IPlugInstanceInfo{});
    return static_cast<AAX_IEffectParameters*>(face);
  } catch (...) {
    return nullptr;
  }
}

// Creation procedure 1: a new editor bridge, or null.
IACFUnknown* AAXCreateGUI();
