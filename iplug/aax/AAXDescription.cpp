#include "iplug/aax/AAXDescription.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kNoStem = 0xFF9C0000u;

// The pieces of text before each "\n", up to the first empty one.
std::vector<std::string> NamePieces(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    if (end == start) break;
    pieces.push_back(text.substr(start, end - start));
  }
  return pieces;
}

std::vector<std::string> SplitAtSpaces(const char* text) {
  std::vector<std::string> pieces;
  std::string piece;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == ' ') {
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece += *p;
    }
  }
  pieces.push_back(piece);
  return pieces;
}

AAX_CTypeID TypeId(const std::string& code) {
  if (code.size() != 4) return 0;
  return static_cast<AAX_CTypeID>(FourCC(code[0], code[1], code[2], code[3]));
}

} // namespace

uint32_t StemFormatForChannels(int channels) {
  static constexpr uint32_t kStems[] = {0x00001, 0x10002, 0x20003, 0x40004,
                                        0x50005, 0x60006, 0x80007, 0xC0008};
  return channels >= 1 && channels <= 8 ? kStems[channels - 1] : kNoStem;
}

AAX_Result RegisterComponent(AAX_VEffectDescriptor& effect, const ComponentSetup& setup) {
  AAX_VComponentDescriptor* c = effect.NewComponentDescriptor();
  if (!c) return kAAXErrorNullObject;
  AAX_Result err = kAAXSuccess;
  err |= setup.wantsGlobalMidi ? c->AddMIDINode(kFieldGlobalMidi, kAAXMIDINodeGlobal,
                                                setup.globalMidiName.c_str(), setup.globalMidiMask)
                               : c->AddPrivateData(kFieldGlobalMidi, 4);
  err |= setup.wantsMidiInput ? c->AddMIDINode(kFieldMidiInput, kAAXMIDINodeLocalInput,
                                               setup.midiInputName.c_str(), setup.midiInputMask)
                              : c->AddPrivateData(kFieldMidiInput, 4);
  err |= setup.wantsTransport ? c->AddMIDINode(kFieldTransport, kAAXMIDINodeTransport,
                                               setup.transportName.c_str(), 0xFFFF)
                              : c->AddPrivateData(kFieldTransport, 4);
  err |= c->AddAudioIn(kFieldInputs);
  err |= c->AddAudioOut(kFieldOutputs);
  err |= c->AddAudioBufferLength(kFieldBufferLength);
  err |= setup.meterCount > 0
             ? c->AddMeters(kFieldMeters, setup.meterIds, static_cast<uint32_t>(setup.meterCount))
             : c->AddPrivateData(kFieldMeters, 4);
  err |= c->AddPrivateData(kFieldInstance, 8);

  AAX_VPropertyMap* map = c->NewPropertyMap();
  if (!map) return err | kAAXErrorNullObject;
  if (setup.property151) err |= map->AddProperty(kAAXProperty151, 1);
  err |= map->AddProperty(kAAXProperty56, setup.property56);
  err |= map->AddProperty(kAAXPropertyInputStemFormat, setup.inputStem);
  err |= map->AddProperty(kAAXPropertyOutputStemFormat, setup.outputStem);
  err |= map->AddProperty(kAAXProperty60, setup.property60);
  err |= map->AddProperty(kAAXPropertyManufacturerId, setup.manufacturerId);
  err |= map->AddProperty(kAAXPropertyProductId, setup.productId);
  err |= map->AddProperty(kAAXPropertyNativeTypeId, setup.nativeTypeId);
  if (setup.secondTypeId != static_cast<AAX_CTypeID>(FourCC('n', 'o', 'n', 'e')))
    err |= map->AddProperty(kAAXPropertySecondTypeId, setup.secondTypeId);
  err |= c->AddProcessProc(RenderProcedureFor(static_cast<int>(setup.inputStem & 0xFFFF),
                                              static_cast<int>(setup.outputStem & 0xFFFF)),
                           map);
  err |= effect.AddComponent(c);
  return err;
}

namespace {

// Registers one component per configuration of the channel I/O string that has a type-ID row.
AAX_Result DescribeConfigurations(AAX_VEffectDescriptor& effect, const AAXEffectInfo& info) {
  const std::vector<std::string> typeIds = SplitAtSpaces(info.typeIds);
  AAX_Result err = kAAXSuccess;
  size_t row = 0;
  for (const std::string& piece : SplitAtSpaces(info.config.channelIO)) {
    int inputs = 0, outputs = 0;
    if (sscanf(piece.c_str(), "%d-%d", &inputs, &outputs) != 2) continue;
    if (2 * row + 1 >= typeIds.size()) break; // no type IDs for it
    inputs = std::max(inputs, 1);
    printf("***** inputs %d *****\n", inputs);
    ComponentSetup setup;
    setup.wantsMidiInput = info.config.doesMidi;
    setup.midiInputName = std::string(info.config.effectName) + " Midi";
    setup.inputStem = StemFormatForChannels(inputs);
    setup.outputStem = StemFormatForChannels(outputs);
    setup.manufacturerId = static_cast<AAX_CTypeID>(info.config.makerId);
    setup.productId = static_cast<AAX_CTypeID>(info.config.uniqueId);
    setup.nativeTypeId = TypeId(typeIds[2 * row]);
    setup.secondTypeId = TypeId(typeIds[2 * row + 1]);
    err |= RegisterComponent(effect, setup);
    ++row;
  }
  return err;
}

} // namespace

AAX_Result DescribeEffect(AAX_VCollection& collection, const AAXEffectInfo& info) {
  AAX_VEffectDescriptor* effect = collection.NewDescriptor();
  if (!effect) return kAAXErrorNullObject;
  const PluginConfig& config = info.config;
  AAX_Result err = kAAXSuccess;
  for (const std::string& name : NamePieces(std::string(config.effectName) + "\n")) {
    err |= effect->AddName(name.c_str());
    collection.AddPackageName(name.c_str());
  }
  err |= effect->AddCategory(0);
  err |= DescribeConfigurations(*effect, info);
  err |=
      effect->AddProcPtr(reinterpret_cast<void*>(info.createParameters), kAAXProcEffectParameters);
  err |= effect->AddProcPtr(reinterpret_cast<void*>(info.createGUI), kAAXProcEffectGUI);
  AAX_Result result = err;
  if (err == kAAXSuccess) {
    const std::string id = std::string("com.") + config.makerName + ".aax." + config.effectName;
    result = collection.AddEffect(id.c_str(), effect);
  }
  for (const std::string& name : NamePieces(std::string(config.makerName) + "\n"))
    collection.SetManufacturerName(name.c_str());
  collection.SetPackageVersion(static_cast<uint32_t>(config.version));
  return result;
}

AAX_Result AAXRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition,
                             const AAXEffectInfo& info) {
  if (!host || !definition) return kAAXErrorNullObject;
  void* out = nullptr;
  AAX_Result result = host->QueryInterface(kIID_ComponentFactory, &out);
  if (result != kAAXSuccess) return result;
  if (!out) return kACFUnexpected;
  AAX_HostRef<IACFComponentFactory> factory(static_cast<IACFComponentFactory*>(out));
  out = nullptr;
  result = factory.Get()->CreateInstance(kCLSID_Collection, kIID_ACFUnknown, &out);
  if (result != kAAXSuccess) return result;
  if (!out) return kACFUnexpected;
  AAX_HostRef<IACFUnknown> unknown(static_cast<IACFUnknown*>(out));
  AAX_VCollection collection(unknown.Get());
  result = DescribeEffect(collection, info);
  if (result == kAAXSuccess) {
    *definition = nullptr;
    if (collection.GetDefinition(definition) != kAAXSuccess) result = kAAXErrorNullObject;
  }
  return result;
}

namespace {

void RenderContexts(void* const* contexts, const void* end, int inputs, int outputs) {
  if (!contexts || !end) return;
  // Nothing may escape into the host's audio thread.
  try {
    for (void* const* p = contexts; p < static_cast<void* const*>(end); ++p) {
      auto* context = static_cast<RenderContext*>(*p);
      if (!context || !context->instance) continue;
      if (AAX_CIPlugParameters* instance = *context->instance)
        instance->RenderFromContext(context, inputs, outputs);
    }
  } catch (...) {
  }
}

// One procedure per pair of channel counts, so that a render call knows how many buffers the
// host's arrays hold even when its controller cannot tell.
template <int Inputs, int Outputs> void RenderProcedureOf(void* const* contexts, const void* end) {
  RenderContexts(contexts, end, Inputs, Outputs);
}

constexpr int kCountsKnown = 9; // 0 to 8 channels, the stems there are

template <size_t... I>
constexpr std::array<AAX_CProcessProc, sizeof...(I)> MakeProcedures(std::index_sequence<I...>) {
  return {&RenderProcedureOf<static_cast<int>(I / kCountsKnown),
                             static_cast<int>(I % kCountsKnown)>...};
}

constexpr auto kProcedures =
    MakeProcedures(std::make_index_sequence<kCountsKnown * kCountsKnown>());

} // namespace

void RenderProcedure(void* const* contexts, const void* end) {
  RenderContexts(contexts, end, -1, -1);
}

AAX_CProcessProc RenderProcedureFor(int inputs, int outputs) {
  if (inputs < 0 || inputs >= kCountsKnown || outputs < 0 || outputs >= kCountsKnown)
    return &RenderProcedure;
  return kProcedures[static_cast<size_t>(inputs * kCountsKnown + outputs)];
}

std::recursive_mutex& AAXConstructionLock() {
  static std::recursive_mutex lock;
  return lock;
}

IACFUnknown* AAXCreateGUI() {
  try {
    return static_cast<AAX_IEffectGUI*>(new AAX_CEffectGUI_IPLUG());
  } catch (...) {
    return nullptr;
  }
}
