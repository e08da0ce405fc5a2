#pragma once
// The binary contract between an AAX host and a plug-in module of ours: the module's seven
// exports, the interfaces each side implements for the other, and the records they exchange.
// It needs nothing but <cstdint>, so a host (our mock host in tools/aaxhost) builds against it
// without any of the plug-in's code.
//
// Interfaces are classes of pure virtual operations without data and without a virtual
// destructor, so that their layout is one table of function pointers in declaration order.
// Objects that cross the boundary as IACFUnknown are reference counted: whoever receives one from
// a creation call or an interface query owns one reference and gives it back with Release.
// Plain interfaces (strings, transport, MIDI nodes) are owned by the side that made them and
// only lent for the duration of a call, or for as long as the owner documents.
//
// Failures are results: 0 for success, the negative codes below otherwise. Nothing throws across
// the boundary.

#include <cstddef>
#include <cstdint>

using AAX_Result = int32_t;
using AAX_CTypeID = uint32_t;    // a four-character code, first character in the top byte
using AAX_CFieldIndex = int32_t; // a field of the render context, 8 bytes each
using AAX_CPropertyValue = int64_t;

// --- results ------------------------------------------------------------------------------------
constexpr AAX_Result kAAXSuccess = 0;
constexpr AAX_Result kAAXErrorUnknownParameter = -20001; // no parameter has this identifier
constexpr AAX_Result kAAXErrorNullObject = -20004;       // a required object is missing
constexpr AAX_Result kAAXErrorChunkIndex = -20006;       // no chunk at this index
constexpr AAX_Result kAAXErrorChunkId = -20007;          // no chunk with this identifier
constexpr AAX_Result kAAXErrorUnimplemented = -20009;    // the operation is not offered
constexpr AAX_Result kAAXErrorInvalidString = -20013;    // a text that names no value
constexpr AAX_Result kACFUnexpected = static_cast<AAX_Result>(0x8000FFFFu);  // an escaped failure
constexpr AAX_Result kACFNoInterface = static_cast<AAX_Result>(0x80004002u); // query refused

// --- identifiers of interfaces and classes ------------------------------------------------------
struct acfUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

constexpr bool operator==(const acfUID& a, const acfUID& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}

// clang-format off
constexpr acfUID kIID_ACFUnknown             {0x08E1BE91, 0xEDCF, 0x445A, {0xB1, 0x01, 0xB3, 0xA3, 0x52, 0xD0, 0x74, 0xB0}};
constexpr acfUID kIID_ComponentFactory       {0x9556D41F, 0xCD81, 0x437F, {0xA7, 0x10, 0x68, 0x65, 0xFF, 0xF6, 0x3D, 0x43}};
constexpr acfUID kIID_PluginDefinition       {0x77A091F1, 0xA651, 0x4503, {0x9E, 0xDB, 0x9E, 0x0F, 0xD8, 0x23, 0x15, 0xED}};
constexpr acfUID kIID_ComponentDefinition    {0xED08B79A, 0xCCD4, 0x4997, {0x8B, 0xE6, 0xAF, 0x8C, 0x16, 0x3E, 0xFE, 0x04}};
constexpr acfUID kIID_Collection             {0xAE5DA5B2, 0x54FF, 0x449B, {0xBC, 0xBB, 0x1A, 0x43, 0x5A, 0x20, 0x8F, 0xEF}};
constexpr acfUID kIID_EffectDescriptor       {0x12CB866B, 0x5945, 0x4BDB, {0x8E, 0x87, 0xEF, 0xF9, 0x51, 0xFD, 0x28, 0xC9}};
constexpr acfUID kIID_ComponentDescriptor    {0x317A8CA2, 0xA4F4, 0x4E5B, {0x81, 0x8B, 0x8E, 0x11, 0xB4, 0x1C, 0x57, 0xDC}};
constexpr acfUID kIID_PropertyMap            {0x9B6F2C73, 0xF2EC, 0x427A, {0xAB, 0xDD, 0xFD, 0xDC, 0x49, 0xCF, 0x6D, 0x4F}};
constexpr acfUID kIID_Controller             {0xD2C9A1F1, 0x5DE9, 0x426E, {0x94, 0x78, 0x98, 0x55, 0xBC, 0x66, 0x53, 0x06}};
constexpr acfUID kIID_AutomationDelegate     {0x433B00D9, 0xECB9, 0x4A9F, {0x8D, 0x9D, 0xD2, 0x25, 0x33, 0xDB, 0xAE, 0x30}};
constexpr acfUID kIID_ViewContainer          {0x63034F71, 0x3784, 0x4790, {0xA5, 0xF3, 0x06, 0x27, 0xAE, 0x6A, 0xA5, 0xD2}};
constexpr acfUID kIID_HostServices           {0xBE1C7340, 0xDFD1, 0x49DA, {0xB8, 0xB4, 0x00, 0x04, 0x42, 0xBC, 0x8B, 0x18}};
constexpr acfUID kIID_EffectParameters       {0x22060207, 0xF4FC, 0x43F0, {0xB2, 0xBC, 0xFB, 0x0F, 0x19, 0x0B, 0xC4, 0xD8}};
constexpr acfUID kIID_EffectGUI              {0x43726EDC, 0x6A80, 0x420F, {0x8C, 0xDF, 0x71, 0x14, 0x2E, 0x51, 0x3C, 0x98}};
// The class the host's component factory makes for ACFRegisterPlugin: an empty collection.
constexpr acfUID kCLSID_Collection           {0xC68CCEBD, 0xE1FC, 0x4D5B, {0x8F, 0x8C, 0xB6, 0x77, 0x31, 0xAC, 0x99, 0x8C}};
// clang-format on

// --- the reference-counted base -----------------------------------------------------------------
class IACFUnknown {
public:
  // Writes the object's interface iid into *out, with one more reference, and answers 0; or
  // writes null and answers kACFNoInterface.
  virtual AAX_Result QueryInterface(const acfUID& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0; // the object is gone when this answers 0

protected:
  ~IACFUnknown() = default;
};

// What ACFRegisterPlugin hands back: the filled collection, seen as the module's definition.
class IACFPluginDefinition : public IACFUnknown {
protected:
  ~IACFPluginDefinition() = default;
};
class IACFComponentDefinition : public IACFUnknown {
protected:
  ~IACFComponentDefinition() = default;
};

// The host's factory, reached by querying the host interface for kIID_ComponentFactory.
class IACFComponentFactory : public IACFUnknown {
public:
  virtual AAX_Result CreateInstance(const acfUID& classId, const acfUID& iid, void** out) = 0;

protected:
  ~IACFComponentFactory() = default;
};

// --- strings ------------------------------------------------------------------------------------
// A text one side lends the other to read or fill. Set copies the text; Get stays valid until
// the next Set or until the owner takes it back.
class AAX_IString {
public:
  virtual uint32_t Length() const = 0;
  virtual uint32_t MaxLength() const = 0; // the longest text Set keeps; longer texts are cut
  virtual const char* Get() const = 0;
  virtual void Set(const char* text) = 0; // null sets ""

protected:
  ~AAX_IString() = default;
};

// --- the description (host side, filled by ACFRegisterPlugin) ------------------------------------
// Creation procedures registered with AAX_IEffectDescriptor::AddProcPtr: each returns a new
// object with one reference, or null.
using AAX_CreateObjectProc = IACFUnknown* (*)();
enum AAX_ProcPtrID : int32_t {
  kAAXProcEffectParameters = 0, // returns an object answering kIID_EffectParameters
  kAAXProcEffectGUI = 1,        // returns an object answering kIID_EffectGUI
};

// The render procedure of a component. contexts points at the first of a run of pointers to
// render contexts, end just past the last; each context is a record of 8-byte fields laid out as
// the component registered them (field i at byte offset 8 x i).
using AAX_CProcessProc = void (*)(void* const* contexts, const void* end);

enum AAX_MIDINodeType : int32_t {
  kAAXMIDINodeLocalInput = 0,
  kAAXMIDINodeLocalOutput = 1,
  kAAXMIDINodeGlobal = 2,
  kAAXMIDINodeTransport = 3,
};

// Properties a component registers; their meaning is the host's.
enum AAX_PropertyID : uint32_t {
  kAAXPropertyManufacturerId = 11,
  kAAXPropertyProductId = 12,
  kAAXPropertyNativeTypeId = 13,
  kAAXPropertySecondTypeId = 14,
  kAAXPropertyInputStemFormat = 51,
  kAAXPropertyOutputStemFormat = 52,
  kAAXProperty56 = 56,
  kAAXProperty60 = 60,
  kAAXProperty151 = 151,
};

class AAX_IPropertyMap : public IACFUnknown {
public:
  virtual AAX_Result AddProperty(uint32_t property, AAX_CPropertyValue value) = 0;
  // False, and *value untouched, when the property is not in the map.
  virtual bool GetProperty(uint32_t property, AAX_CPropertyValue* value) const = 0;

protected:
  ~AAX_IPropertyMap() = default;
};

class AAX_IComponentDescriptor : public IACFUnknown {
public:
  virtual AAX_Result AddAudioIn(AAX_CFieldIndex field) = 0;           // float** of input channels
  virtual AAX_Result AddAudioOut(AAX_CFieldIndex field) = 0;          // float** of output channels
  virtual AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) = 0; // int32_t* frames
  // The field holds an AAX_IMIDINode*.
  virtual AAX_Result AddMIDINode(AAX_CFieldIndex field, AAX_MIDINodeType type, const char* name,
                                 uint32_t channelMask) = 0;
  // The field holds a pointer to a block of size bytes that lives as long as the instance; the
  // host has the effect-parameters object initialise it (ResetFieldData) before rendering.
  virtual AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t size, uint32_t options) = 0;
  virtual AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* ids, uint32_t count) = 0;
  // A new, empty map with one reference for the caller.
  virtual AAX_IPropertyMap* NewPropertyMap() = 0;
  virtual AAX_Result AddProcessProc(AAX_CProcessProc proc, AAX_IPropertyMap* properties) = 0;

protected:
  ~AAX_IComponentDescriptor() = default;
};

class AAX_IEffectDescriptor : public IACFUnknown {
public:
  // A new, empty component with one reference for the caller.
  virtual AAX_IComponentDescriptor* NewComponentDescriptor() = 0;
  virtual AAX_Result AddComponent(AAX_IComponentDescriptor* component) = 0;
  virtual AAX_Result AddName(const char* name) = 0;
  virtual AAX_Result AddCategory(uint32_t category) = 0;
  virtual AAX_Result AddProcPtr(void* proc, AAX_ProcPtrID id) = 0;
  virtual AAX_IPropertyMap* NewPropertyMap() = 0;

protected:
  ~AAX_IEffectDescriptor() = default;
};

// Made by the host's factory (kCLSID_Collection); answers kIID_PluginDefinition once filled.
class AAX_ICollection : public IACFUnknown {
public:
  // A new, empty effect with one reference for the caller.
  virtual AAX_IEffectDescriptor* NewDescriptor() = 0;
  virtual AAX_Result AddEffect(const char* effectId, AAX_IEffectDescriptor* effect) = 0;
  virtual AAX_Result SetManufacturerName(const char* name) = 0;
  virtual AAX_Result AddPackageName(const char* name) = 0;
  virtual AAX_Result SetPackageVersion(uint32_t version) = 0;

protected:
  ~AAX_ICollection() = default;
};

// --- what an instance reaches of the host --------------------------------------------------------
// The host's transport. Positions in ticks count 960000 per quarter note.
class AAX_ITransport {
public:
  virtual AAX_Result GetCurrentTempo(double* bpm) const = 0;
  virtual AAX_Result IsTransportPlaying(bool* playing) const = 0;
  virtual AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) const = 0;
  virtual AAX_Result GetCurrentTickPosition(int64_t* ticks) const = 0;
  virtual AAX_Result GetCurrentNativeSampleLocation(int64_t* sample) const = 0;
  virtual AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* startTicks,
                                            int64_t* endTicks) const = 0;

protected:
  ~AAX_ITransport() = default;
};

constexpr int64_t kAAXTicksPerQuarter = 960000;

struct AAX_CMidiPacket {
  uint32_t timestamp; // frames into the block
  uint32_t length;    // bytes of data used
  uint8_t data[4];
  bool immediate;
};

struct AAX_CMidiStream {
  uint32_t count;
  AAX_CMidiPacket* packets;
};

// A MIDI node of the render context; valid for the duration of a render call.
class AAX_IMIDINode {
public:
  virtual AAX_CMidiStream* GetNodeBuffer() = 0;
  virtual AAX_ITransport* GetTransport() = 0; // transport nodes; null for others

protected:
  ~AAX_IMIDINode() = default;
};

// The host's controller of one instance, queried from the object handed to Initialize.
class AAX_IController : public IACFUnknown {
public:
  virtual AAX_Result GetSampleRate(float* rate) const = 0;
  virtual AAX_Result GetInputStemFormat(uint32_t* format) const = 0;
  virtual AAX_Result GetOutputStemFormat(uint32_t* format) const = 0;
  virtual AAX_Result SetSignalLatency(int32_t samples) = 0;
  virtual AAX_Result GetSignalLatency(int32_t* samples) const = 0;
  // The transport outside render calls; lent for as long as the controller lives, or null.
  virtual AAX_ITransport* GetTransport() = 0;

protected:
  ~AAX_IController() = default;
};

// The host's automation: a plug-in asks it to change a parameter (touch, set, release); the host
// answers later by delivering the value through UpdateParameterNormalizedValue.
class AAX_IAutomationDelegate : public IACFUnknown {
public:
  virtual AAX_Result RegisterParameter(const char* id) = 0;
  virtual AAX_Result UnregisterParameter(const char* id) = 0;
  virtual AAX_Result PostSetValueRequest(const char* id, double normalized) = 0;
  virtual AAX_Result PostCurrentValue(const char* id, double normalized) = 0;
  virtual AAX_Result PostTouchRequest(const char* id) = 0;
  virtual AAX_Result PostReleaseRequest(const char* id) = 0;
  virtual AAX_Result GetTouchState(const char* id, bool* touched) = 0;

protected:
  ~AAX_IAutomationDelegate() = default;
};

struct AAX_Point {
  float vert;
  float horz;
};

enum AAX_ViewContainerType : int32_t {
  kAAXViewContainerNull = 0,
  kAAXViewContainerHWND = 1, // GetPtr is a Windows window handle
};

// Modifier bits of AAX_IViewContainer::GetModifiers and HandleParameterMouseDown.
enum AAX_Modifiers : uint32_t {
  kAAXModifierShift = 1,
  kAAXModifierControl = 2,
  kAAXModifierOption = 4,
  kAAXModifierCommand = 8,
  kAAXModifierSecondaryButton = 16,
};

// The host's view for an editor: the parent window and the host's part in mouse handling.
class AAX_IViewContainer : public IACFUnknown {
public:
  virtual int32_t GetType() = 0;
  virtual void* GetPtr() = 0; // the native parent, or null
  virtual AAX_Result GetModifiers(uint32_t* modifiers) = 0;
  virtual AAX_Result SetViewSize(const AAX_Point& size) = 0;
  // 0 when the host took the press itself (the plug-in then ignores it).
  virtual AAX_Result HandleParameterMouseDown(const char* id, uint32_t modifiers) = 0;

protected:
  ~AAX_IViewContainer() = default;
};

// Process-wide services of the host, queried from the interface given to ACFStartup.
class AAX_IHostServices : public IACFUnknown {
public:
  virtual AAX_Result Trace(int32_t priority, const char* message) = 0;

protected:
  ~AAX_IHostServices() = default;
};

// --- what the host reaches of an instance
// --------------------------------------------------------- The chunk record: a header the host
// reads, then size bytes of data.
struct AAX_SPlugInChunk {
  int32_t size; // bytes of data
  int32_t version;
  AAX_CTypeID manufacturerId;
  AAX_CTypeID productId;
  AAX_CTypeID pluginId;
  AAX_CTypeID chunkId; // at byte 20
  char name[32];
  char data[8]; // from byte 56; the record is as long as the data needs
};
static_assert(offsetof(AAX_SPlugInChunk, chunkId) == 20 && offsetof(AAX_SPlugInChunk, data) == 56,
              "the chunk record's layout is part of the contract");
constexpr size_t kAAXChunkHeaderBytes = offsetof(AAX_SPlugInChunk, data);

enum AAX_UpdateSource : int32_t {
  kAAXUpdateSourceUnspecified = 0,
  kAAXUpdateSourceParameter = 1, // the host's automation
  kAAXUpdateSourceChunk = 2,
};

enum AAX_ParameterKind : int32_t {
  kAAXParameterContinuous = 0,
  kAAXParameterDiscrete = 1,
};

// The effect-parameters object of one instance (creation procedure kAAXProcEffectParameters).
class AAX_IEffectParameters : public IACFUnknown {
public:
  // The host's controller object (answering kIID_Controller, kIID_AutomationDelegate and
  // kIID_EffectParameters); the object keeps references until Uninitialize.
  virtual AAX_Result Initialize(IACFUnknown* controller) = 0;
  virtual AAX_Result Uninitialize() = 0;

  virtual AAX_Result GetNumberOfParameters(int32_t* count) = 0;
  virtual AAX_Result GetMasterBypassParameter(AAX_IString* id) = 0;
  virtual AAX_Result GetParameterIndex(const char* id, int32_t* index) = 0;
  virtual AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* id) = 0;
  virtual AAX_Result GetParameterName(const char* id, AAX_IString* name) = 0;
  virtual AAX_Result GetParameterIsAutomatable(const char* id, bool* automatable) = 0;
  virtual AAX_Result GetParameterNumberOfSteps(const char* id, int32_t* steps) = 0;
  virtual AAX_Result GetParameterKind(const char* id, int32_t* kind) = 0;
  virtual AAX_Result GetParameterValueString(const char* id, AAX_IString* text,
                                             int32_t maxLength) = 0;
  // The normalised value a text stands for, as the parameter displays its values; an error for
  // a text that names no value of the parameter.
  virtual AAX_Result GetParameterValueFromString(const char* id, double* value,
                                                 const char* text) = 0;
  virtual AAX_Result GetParameterNormalizedValue(const char* id, double* value) = 0;
  virtual AAX_Result GetParameterDefaultNormalizedValue(const char* id, double* value) = 0;
  // A request from the host's own controls: it goes through the host's automation, like a
  // change the plug-in makes.
  virtual AAX_Result SetParameterNormalizedValue(const char* id, double value) = 0;
  // The host delivers a value (its automation's answer, playback, a control surface).
  virtual AAX_Result UpdateParameterNormalizedValue(const char* id, double value,
                                                    AAX_UpdateSource source) = 0;
  virtual AAX_Result GetNumberOfChanges(int32_t* changes) = 0;

  virtual AAX_Result GetNumberOfChunks(int32_t* count) = 0;
  virtual AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* id) = 0;
  virtual AAX_Result GetChunkSize(AAX_CTypeID id, uint32_t* size) = 0;
  // The host's record holds at least the size GetChunkSize answered.
  virtual AAX_Result GetChunk(AAX_CTypeID id, AAX_SPlugInChunk* chunk) = 0;
  virtual AAX_Result SetChunk(AAX_CTypeID id, const AAX_SPlugInChunk* chunk) = 0;
  virtual AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, bool* equal) = 0;

  // Initialises a private-data block of the render context (AddPrivateData).
  virtual AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data, uint32_t size) = 0;

protected:
  ~AAX_IEffectParameters() = default;
};

// The editor object of one instance (creation procedure kAAXProcEffectGUI).
class AAX_IEffectGUI : public IACFUnknown {
public:
  // The instance's controller object, as for AAX_IEffectParameters::Initialize; through it the
  // editor finds its effect-parameters object.
  virtual AAX_Result Initialize(IACFUnknown* controller) = 0;
  virtual AAX_Result Uninitialize() = 0;
  // A container answering kIID_ViewContainer opens the editor in it; null closes it.
  virtual AAX_Result SetViewContainer(IACFUnknown* container) = 0;
  virtual AAX_Result GetViewSize(AAX_Point* size) = 0;
  virtual AAX_Result ParameterUpdated(const char* id) = 0;

protected:
  ~AAX_IEffectGUI() = default;
};

// --- the module's exports
// -------------------------------------------------------------------------
extern "C" {
using ACFRegisterPluginProc = AAX_Result (*)(IACFUnknown* host, IACFPluginDefinition** definition);
using ACFRegisterComponentProc = AAX_Result (*)(IACFUnknown* host, uint32_t index,
                                                IACFComponentDefinition** component);
using ACFGetClassFactoryProc = AAX_Result (*)(IACFUnknown* host, const acfUID* classId,
                                              const acfUID* iid, void** factory);
using ACFCanUnloadNowProc = AAX_Result (*)(IACFUnknown* host); // the live objects; 0: unloadable
using ACFStartupProc = AAX_Result (*)(IACFUnknown* host);
using ACFShutdownProc = AAX_Result (*)(IACFUnknown* host);
using ACFGetSDKVersionProc = AAX_Result (*)(uint64_t* version);
}
