#pragma once
// The host side of the AAX contract (iplug/aax/support/AAX_Interfaces.h): the objects a host
// hands a module, each recording what the module does with it. Built on nothing but the
// contract, as a third-party host would be.
//
// Every reference-counted object here counts itself in LiveHostObjects(), so a test can tell
// whether a module gave back every reference it took.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "iplug/aax/support/AAX_Interfaces.h"

namespace zt::aaxhost {

// Host objects alive now, in this process.
int LiveHostObjects();

// The reference counting of a host object; Release deletes it at 0.
class HostRefCount {
public:
  HostRefCount();
  virtual ~HostRefCount();
  HostRefCount(const HostRefCount&) = delete;
  HostRefCount& operator=(const HostRefCount&) = delete;
  uint32_t AddRefImpl() { return ++references_; }
  uint32_t ReleaseImpl();

private:
  uint32_t references_ = 1;
};

#define ZT_HOST_UNKNOWN                                                                            \
  uint32_t AddRef() override {                                                                     \
    return AddRefImpl();                                                                           \
  }                                                                                                \
  uint32_t Release() override {                                                                    \
    return ReleaseImpl();                                                                          \
  }                                                                                                \
  AAX_Result QueryInterface(const acfUID& iid, void** out) override

// A host string a module fills.
class HostString : public AAX_IString {
public:
  uint32_t Length() const override { return static_cast<uint32_t>(text.size()); }
  uint32_t MaxLength() const override { return 4096; }
  const char* Get() const override { return text.c_str(); }
  void Set(const char* t) override { text = t ? std::string(t).substr(0, 4096) : std::string(); }
  std::string text;
};

// --- the description a module registers
// ------------------------------------------------------------
struct FieldRecord {
  enum Kind { AudioIn, AudioOut, BufferLength, MidiNode, PrivateData, Meters } kind = AudioIn;
  AAX_CFieldIndex index = 0;
  int32_t size = 0;     // private data
  int32_t midiType = 0; // MIDI nodes
  std::string name;     // MIDI nodes
  uint32_t mask = 0;    // MIDI nodes
  uint32_t meterCount = 0;
};

struct ComponentRecord {
  std::vector<FieldRecord> fields;
  std::map<uint32_t, AAX_CPropertyValue> properties;
  AAX_CProcessProc process = nullptr;
  int processCalls = 0; // AddProcessProc calls
  const FieldRecord* Field(AAX_CFieldIndex index) const;
  // The property's value, or fallback when the component has none.
  AAX_CPropertyValue Property(uint32_t id, AAX_CPropertyValue fallback = -1) const;
};

struct EffectRecord {
  std::string id; // "" until the module added the effect
  std::vector<std::string> names;
  std::vector<uint32_t> categories;
  std::map<int32_t, void*> procs; // by AAX_ProcPtrID
  std::vector<ComponentRecord> components;
};

struct DescriptionRecord {
  std::vector<EffectRecord> effects; // the effects added to the collection
  int descriptorsMade = 0;           // NewDescriptor calls
  std::vector<std::string> manufacturerNames, packageNames;
  uint32_t packageVersion = 0;
};

// The host interface of ACFStartup and ACFRegisterPlugin: it answers the component factory
// (which makes collections recording into `description`) and the host services (which record
// traces).
class HostInterface : public IACFUnknown, public HostRefCount {
public:
  ZT_HOST_UNKNOWN;
  DescriptionRecord description;
  std::vector<std::string> traces;
  bool refuseFactory = false; // the factory query is refused
  bool nullFactory = false;   // the factory query succeeds with null
  bool refuseCollection = false;
};

// Makes a new HostInterface with one reference.
HostInterface* NewHostInterface();

// --- what an instance reaches of the host
// ---------------------------------------------------------- The transport, moved by the caller as
// a sequencer would.
class HostTransport : public AAX_ITransport {
public:
  AAX_Result GetCurrentTempo(double* bpm) const override;
  AAX_Result IsTransportPlaying(bool* playing) const override;
  AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) const override;
  AAX_Result GetCurrentTickPosition(int64_t* ticks) const override;
  AAX_Result GetCurrentNativeSampleLocation(int64_t* sample) const override;
  AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* startTicks,
                                    int64_t* endTicks) const override;
  // Moves on by frames at sampleRate: the sample location, and the ticks by the tempo.
  void Advance(int frames, double sampleRate);

  bool playing = false;
  double tempo = 120.0;
  int32_t numerator = 4, denominator = 4;
  int64_t ticks = 0, sample = 0;
  bool looping = false;
  int64_t loopStart = 0, loopEnd = 0;
};

class HostMIDINode : public AAX_IMIDINode {
public:
  explicit HostMIDINode(AAX_ITransport* transport = nullptr) : transport_(transport) {}
  AAX_CMidiStream* GetNodeBuffer() override;
  AAX_ITransport* GetTransport() override { return transport_; }
  std::vector<AAX_CMidiPacket> packets; // what the next render call delivers

private:
  AAX_ITransport* transport_;
  AAX_CMidiStream stream_{};
};

// One gesture or request the module sent through the automation delegate.
struct AutomationRecord {
  enum Kind { Register, Unregister, Touch, Set, Release, Current } kind;
  std::string id;
  double value = 0.0;
  bool operator==(const AutomationRecord& o) const {
    return kind == o.kind && id == o.id && value == o.value;
  }
};

// The controller object handed to Initialize: controller, automation delegate, and the way to
// the instance's own effect-parameters object for its editor.
class HostController : public AAX_IController, public AAX_IAutomationDelegate, public HostRefCount {
public:
  ZT_HOST_UNKNOWN;
  // AAX_IController
  AAX_Result GetSampleRate(float* rate) const override;
  AAX_Result GetInputStemFormat(uint32_t* format) const override;
  AAX_Result GetOutputStemFormat(uint32_t* format) const override;
  AAX_Result SetSignalLatency(int32_t samples) override;
  AAX_Result GetSignalLatency(int32_t* samples) const override;
  AAX_ITransport* GetTransport() override { return transport; }
  // AAX_IAutomationDelegate
  AAX_Result RegisterParameter(const char* id) override;
  AAX_Result UnregisterParameter(const char* id) override;
  AAX_Result PostSetValueRequest(const char* id, double normalized) override;
  AAX_Result PostCurrentValue(const char* id, double normalized) override;
  AAX_Result PostTouchRequest(const char* id) override;
  AAX_Result PostReleaseRequest(const char* id) override;
  AAX_Result GetTouchState(const char* id, bool* touched) override;

  float sampleRate = 48000.0f;
  uint32_t inputStem = 0x10002, outputStem = 0x10002;
  AAX_Result stemResult = kAAXSuccess; // what the stem queries answer (a host may refuse them)
  int32_t latency = 0;
  AAX_ITransport* transport = nullptr;                    // lent by the instance
  IACFUnknown* effectParameters = nullptr;                // the instance's object, not owned
  std::vector<AutomationRecord> automation;               // everything the module sent
  std::deque<std::pair<std::string, double>> pendingSets; // set requests not yet delivered
  std::map<std::string, int> touched;                     // touch depth per identifier
};

// The host's view of an editor.
class HostViewContainer : public AAX_IViewContainer, public HostRefCount {
public:
  ZT_HOST_UNKNOWN;
  int32_t GetType() override { return parent ? kAAXViewContainerHWND : kAAXViewContainerNull; }
  void* GetPtr() override { return parent; }
  AAX_Result GetModifiers(uint32_t* m) override;
  AAX_Result SetViewSize(const AAX_Point& size) override;
  AAX_Result HandleParameterMouseDown(const char* id, uint32_t modifiers) override;

  void* parent = nullptr; // the native parent window, or null (headless)
  uint32_t modifiers = 0;
  bool takePresses = false; // answer 0: the host takes a parameter press itself
  std::vector<std::pair<std::string, uint32_t>> presses;
  std::vector<AAX_Point> sizes;
};

} // namespace zt::aaxhost
