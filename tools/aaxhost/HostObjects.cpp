#include "tools/aaxhost/HostObjects.h"

#include <atomic>
#include <cmath>

namespace zt::aaxhost {

namespace {

std::atomic<int> gLiveHostObjects{0};

FieldRecord MakeField(FieldRecord::Kind kind, AAX_CFieldIndex index) {
  FieldRecord f;
  f.kind = kind;
  f.index = index;
  return f;
}

// Writes face into *out with one more reference when iid is wanted.
template <class Face> bool Answer(const acfUID& iid, const acfUID& wanted, Face* face, void** out) {
  if (!(iid == wanted)) return false;
  face->AddRef();
  *out = face;
  return true;
}

class PropertyMap : public AAX_IPropertyMap, public HostRefCount {
public:
  ZT_HOST_UNKNOWN {
    if (!out) return kAAXErrorNullObject;
    *out = nullptr;
    if (Answer(iid, kIID_ACFUnknown, static_cast<IACFUnknown*>(this), out) ||
        Answer(iid, kIID_PropertyMap, this, out))
      return kAAXSuccess;
    return kACFNoInterface;
  }
  AAX_Result AddProperty(uint32_t property, AAX_CPropertyValue value) override {
    properties[property] = value;
    return kAAXSuccess;
  }
  bool GetProperty(uint32_t property, AAX_CPropertyValue* value) const override {
    const auto it = properties.find(property);
    if (it == properties.end()) return false;
    if (value) *value = it->second;
    return true;
  }
  std::map<uint32_t, AAX_CPropertyValue> properties;
};

// The objects a description is made of record into plain records the collection keeps; a
// component or effect counts only once the module adds it.
class ComponentDescriptor : public AAX_IComponentDescriptor, public HostRefCount {
public:
  ZT_HOST_UNKNOWN {
    if (!out) return kAAXErrorNullObject;
    *out = nullptr;
    if (Answer(iid, kIID_ACFUnknown, static_cast<IACFUnknown*>(this), out) ||
        Answer(iid, kIID_ComponentDescriptor, this, out))
      return kAAXSuccess;
    return kACFNoInterface;
  }
  AAX_Result AddAudioIn(AAX_CFieldIndex field) override {
    return Add(MakeField(FieldRecord::AudioIn, field));
  }
  AAX_Result AddAudioOut(AAX_CFieldIndex field) override {
    return Add(MakeField(FieldRecord::AudioOut, field));
  }
  AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) override {
    return Add(MakeField(FieldRecord::BufferLength, field));
  }
  AAX_Result AddMIDINode(AAX_CFieldIndex field, AAX_MIDINodeType type, const char* name,
                         uint32_t mask) override {
    FieldRecord f = MakeField(FieldRecord::MidiNode, field);
    f.midiType = type;
    f.name = name ? name : "";
    f.mask = mask;
    return Add(f);
  }
  AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t size, uint32_t) override {
    if (size < 0) return kAAXErrorNullObject;
    FieldRecord f = MakeField(FieldRecord::PrivateData, field);
    f.size = size;
    return Add(f);
  }
  AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID*, uint32_t count) override {
    FieldRecord f = MakeField(FieldRecord::Meters, field);
    f.meterCount = count;
    return Add(f);
  }
  AAX_IPropertyMap* NewPropertyMap() override { return new PropertyMap(); }
  AAX_Result AddProcessProc(AAX_CProcessProc proc, AAX_IPropertyMap* properties) override {
    if (!proc) return kAAXErrorNullObject;
    record.process = proc;
    ++record.processCalls;
    if (properties) {
      // Only maps of this host can be read.
      void* out = nullptr;
      if (properties->QueryInterface(kIID_PropertyMap, &out) == kAAXSuccess && out) {
        record.properties =
            static_cast<PropertyMap*>(static_cast<AAX_IPropertyMap*>(out))->properties;
        static_cast<AAX_IPropertyMap*>(out)->Release();
      }
    }
    return kAAXSuccess;
  }
  ComponentRecord record;

private:
  AAX_Result Add(const FieldRecord& f) {
    // The render context has ten fields; a field registered twice is a module's fault.
    if (f.index < 0 || f.index > 15 || record.Field(f.index)) return kAAXErrorNullObject;
    record.fields.push_back(f);
    return kAAXSuccess;
  }
};

class EffectDescriptor : public AAX_IEffectDescriptor, public HostRefCount {
public:
  ZT_HOST_UNKNOWN {
    if (!out) return kAAXErrorNullObject;
    *out = nullptr;
    if (Answer(iid, kIID_ACFUnknown, static_cast<IACFUnknown*>(this), out) ||
        Answer(iid, kIID_EffectDescriptor, this, out))
      return kAAXSuccess;
    return kACFNoInterface;
  }
  AAX_IComponentDescriptor* NewComponentDescriptor() override { return new ComponentDescriptor(); }
  AAX_Result AddComponent(AAX_IComponentDescriptor* component) override {
    void* out = nullptr;
    if (!component || component->QueryInterface(kIID_ComponentDescriptor, &out) != kAAXSuccess ||
        !out)
      return kAAXErrorNullObject;
    auto* c = static_cast<ComponentDescriptor*>(static_cast<AAX_IComponentDescriptor*>(out));
    record.components.push_back(c->record);
    c->Release();
    return kAAXSuccess;
  }
  AAX_Result AddName(const char* name) override {
    if (!name) return kAAXErrorNullObject;
    record.names.emplace_back(name);
    return kAAXSuccess;
  }
  AAX_Result AddCategory(uint32_t category) override {
    record.categories.push_back(category);
    return kAAXSuccess;
  }
  AAX_Result AddProcPtr(void* proc, AAX_ProcPtrID id) override {
    if (!proc) return kAAXErrorNullObject;
    record.procs[id] = proc;
    return kAAXSuccess;
  }
  AAX_IPropertyMap* NewPropertyMap() override { return new PropertyMap(); }
  EffectRecord record;
};

class Collection : public AAX_ICollection, public IACFPluginDefinition, public HostRefCount {
public:
  explicit Collection(DescriptionRecord* description) : description_(description) {}
  ZT_HOST_UNKNOWN {
    if (!out) return kAAXErrorNullObject;
    *out = nullptr;
    if (Answer(iid, kIID_ACFUnknown, static_cast<AAX_ICollection*>(this), out) ||
        Answer(iid, kIID_Collection, static_cast<AAX_ICollection*>(this), out) ||
        Answer(iid, kIID_PluginDefinition, static_cast<IACFPluginDefinition*>(this), out))
      return kAAXSuccess;
    return kACFNoInterface;
  }
  AAX_IEffectDescriptor* NewDescriptor() override {
    ++description_->descriptorsMade;
    return new EffectDescriptor();
  }
  AAX_Result AddEffect(const char* effectId, AAX_IEffectDescriptor* effect) override {
    void* out = nullptr;
    if (!effectId || !effect ||
        effect->QueryInterface(kIID_EffectDescriptor, &out) != kAAXSuccess || !out)
      return kAAXErrorNullObject;
    auto* e = static_cast<EffectDescriptor*>(static_cast<AAX_IEffectDescriptor*>(out));
    description_->effects.push_back(e->record);
    description_->effects.back().id = effectId;
    e->Release();
    return kAAXSuccess;
  }
  AAX_Result SetManufacturerName(const char* name) override {
    if (!name) return kAAXErrorNullObject;
    description_->manufacturerNames.emplace_back(name);
    return kAAXSuccess;
  }
  AAX_Result AddPackageName(const char* name) override {
    if (!name) return kAAXErrorNullObject;
    description_->packageNames.emplace_back(name);
    return kAAXSuccess;
  }
  AAX_Result SetPackageVersion(uint32_t version) override {
    description_->packageVersion = version;
    return kAAXSuccess;
  }

private:
  DescriptionRecord* description_; // the host interface's, which outlives registration
};

class ComponentFactory : public IACFComponentFactory, public HostRefCount {
public:
  explicit ComponentFactory(HostInterface* host) : host_(host) {}
  ZT_HOST_UNKNOWN {
    if (!out) return kAAXErrorNullObject;
    *out = nullptr;
    if (Answer(iid, kIID_ACFUnknown, static_cast<IACFUnknown*>(this), out) ||
        Answer(iid, kIID_ComponentFactory, this, out))
      return kAAXSuccess;
    return kACFNoInterface;
  }
  AAX_Result CreateInstance(const acfUID& classId, const acfUID& iid, void** out) override {
    if (!out) return kAAXErrorNullObject;
    *out = nullptr;
    if (!(classId == kCLSID_Collection) || host_->refuseCollection) return kACFNoInterface;
    auto* collection = new Collection(&host_->description);
    const AAX_Result result = collection->QueryInterface(iid, out);
    collection->Release();
    return result;
  }

private:
  HostInterface* host_;
};

class HostServices : public AAX_IHostServices, public HostRefCount {
public:
  explicit HostServices(HostInterface* host) : host_(host) {}
  ZT_HOST_UNKNOWN {
    if (!out) return kAAXErrorNullObject;
    *out = nullptr;
    if (Answer(iid, kIID_ACFUnknown, static_cast<IACFUnknown*>(this), out) ||
        Answer(iid, kIID_HostServices, this, out))
      return kAAXSuccess;
    return kACFNoInterface;
  }
  AAX_Result Trace(int32_t, const char* message) override {
    host_->traces.emplace_back(message ? message : "");
    return kAAXSuccess;
  }

private:
  HostInterface* host_;
};

} // namespace

int LiveHostObjects() {
  return gLiveHostObjects.load();
}

HostRefCount::HostRefCount() {
  ++gLiveHostObjects;
}
HostRefCount::~HostRefCount() {
  --gLiveHostObjects;
}

uint32_t HostRefCount::ReleaseImpl() {
  if (references_ == 0) return 0; // released once too often: the count stays at 0
  if (--references_ == 0) {
    delete this;
    return 0;
  }
  return references_;
}

const FieldRecord* ComponentRecord::Field(AAX_CFieldIndex index) const {
  for (const FieldRecord& f : fields)
    if (f.index == index) return &f;
  return nullptr;
}

AAX_CPropertyValue ComponentRecord::Property(uint32_t id, AAX_CPropertyValue fallback) const {
  const auto it = properties.find(id);
  return it == properties.end() ? fallback : it->second;
}

AAX_Result HostInterface::QueryInterface(const acfUID& iid, void** out) {
  if (!out) return kAAXErrorNullObject;
  *out = nullptr;
  if (Answer(iid, kIID_ACFUnknown, static_cast<IACFUnknown*>(this), out)) return kAAXSuccess;
  if (iid == kIID_ComponentFactory) {
    if (refuseFactory) return kACFNoInterface;
    if (nullFactory) return kAAXSuccess;
    *out = static_cast<IACFComponentFactory*>(new ComponentFactory(this));
    return kAAXSuccess;
  }
  if (iid == kIID_HostServices) {
    *out = static_cast<AAX_IHostServices*>(new HostServices(this));
    return kAAXSuccess;
  }
  return kACFNoInterface;
}

HostInterface* NewHostInterface() {
  return new HostInterface();
}

// --- transport
// ---------------------------------------------------------------------------------------

AAX_Result HostTransport::GetCurrentTempo(double* bpm) const {
  if (!bpm) return kAAXErrorNullObject;
  *bpm = tempo;
  return kAAXSuccess;
}

AAX_Result HostTransport::IsTransportPlaying(bool* p) const {
  if (!p) return kAAXErrorNullObject;
  *p = playing;
  return kAAXSuccess;
}

AAX_Result HostTransport::GetCurrentMeter(int32_t* n, int32_t* d) const {
  if (!n || !d) return kAAXErrorNullObject;
  *n = numerator;
  *d = denominator;
  return kAAXSuccess;
}

AAX_Result HostTransport::GetCurrentTickPosition(int64_t* t) const {
  if (!t) return kAAXErrorNullObject;
  *t = ticks;
  return kAAXSuccess;
}

AAX_Result HostTransport::GetCurrentNativeSampleLocation(int64_t* s) const {
  if (!s) return kAAXErrorNullObject;
  *s = sample;
  return kAAXSuccess;
}

AAX_Result HostTransport::GetCurrentLoopPosition(bool* l, int64_t* start, int64_t* end) const {
  if (!l || !start || !end) return kAAXErrorNullObject;
  *l = looping;
  *start = loopStart;
  *end = loopEnd;
  return kAAXSuccess;
}

void HostTransport::Advance(int frames, double sampleRate) {
  sample += frames;
  if (sampleRate > 0.0)
    ticks += std::llround(frames / sampleRate * tempo / 60.0 * kAAXTicksPerQuarter);
}

AAX_CMidiStream* HostMIDINode::GetNodeBuffer() {
  stream_.count = static_cast<uint32_t>(packets.size());
  stream_.packets = packets.empty() ? nullptr : packets.data();
  return &stream_;
}

// --- controller
// ----------------------------------------------------------------------------------------

AAX_Result HostController::QueryInterface(const acfUID& iid, void** out) {
  if (!out) return kAAXErrorNullObject;
  *out = nullptr;
  if (Answer(iid, kIID_ACFUnknown, static_cast<AAX_IController*>(this), out) ||
      Answer(iid, kIID_Controller, static_cast<AAX_IController*>(this), out) ||
      Answer(iid, kIID_AutomationDelegate, static_cast<AAX_IAutomationDelegate*>(this), out))
    return kAAXSuccess;
  if (iid == kIID_EffectParameters && effectParameters)
    return effectParameters->QueryInterface(iid, out);
  return kACFNoInterface;
}

AAX_Result HostController::GetSampleRate(float* rate) const {
  if (!rate) return kAAXErrorNullObject;
  *rate = sampleRate;
  return kAAXSuccess;
}

AAX_Result HostController::GetInputStemFormat(uint32_t* format) const {
  if (!format) return kAAXErrorNullObject;
  if (stemResult != kAAXSuccess) return stemResult;
  *format = inputStem;
  return kAAXSuccess;
}

AAX_Result HostController::GetOutputStemFormat(uint32_t* format) const {
  if (!format) return kAAXErrorNullObject;
  if (stemResult != kAAXSuccess) return stemResult;
  *format = outputStem;
  return kAAXSuccess;
}

AAX_Result HostController::SetSignalLatency(int32_t samples) {
  latency = samples;
  return kAAXSuccess;
}

AAX_Result HostController::GetSignalLatency(int32_t* samples) const {
  if (!samples) return kAAXErrorNullObject;
  *samples = latency;
  return kAAXSuccess;
}

AAX_Result HostController::RegisterParameter(const char* id) {
  if (!id) return kAAXErrorNullObject;
  automation.push_back({AutomationRecord::Register, id});
  return kAAXSuccess;
}

AAX_Result HostController::UnregisterParameter(const char* id) {
  if (!id) return kAAXErrorNullObject;
  automation.push_back({AutomationRecord::Unregister, id});
  return kAAXSuccess;
}

AAX_Result HostController::PostSetValueRequest(const char* id, double normalized) {
  if (!id) return kAAXErrorNullObject;
  automation.push_back({AutomationRecord::Set, id, normalized});
  pendingSets.emplace_back(id, normalized);
  return kAAXSuccess;
}

AAX_Result HostController::PostCurrentValue(const char* id, double normalized) {
  if (!id) return kAAXErrorNullObject;
  automation.push_back({AutomationRecord::Current, id, normalized});
  return kAAXSuccess;
}

AAX_Result HostController::PostTouchRequest(const char* id) {
  if (!id) return kAAXErrorNullObject;
  automation.push_back({AutomationRecord::Touch, id});
  ++touched[id];
  return kAAXSuccess;
}

AAX_Result HostController::PostReleaseRequest(const char* id) {
  if (!id) return kAAXErrorNullObject;
  automation.push_back({AutomationRecord::Release, id});
  if (touched[id] > 0) --touched[id];
  return kAAXSuccess;
}

AAX_Result HostController::GetTouchState(const char* id, bool* state) {
  if (!id || !state) return kAAXErrorNullObject;
  const auto it = touched.find(id);
  *state = it != touched.end() && it->second > 0;
  return kAAXSuccess;
}

// --- view container
// ------------------------------------------------------------------------------------

AAX_Result HostViewContainer::QueryInterface(const acfUID& iid, void** out) {
  if (!out) return kAAXErrorNullObject;
  *out = nullptr;
  if (Answer(iid, kIID_ACFUnknown, static_cast<IACFUnknown*>(this), out) ||
      Answer(iid, kIID_ViewContainer, this, out))
    return kAAXSuccess;
  return kACFNoInterface;
}

AAX_Result HostViewContainer::GetModifiers(uint32_t* m) {
  if (!m) return kAAXErrorNullObject;
  *m = modifiers;
  return kAAXSuccess;
}

AAX_Result HostViewContainer::SetViewSize(const AAX_Point& size) {
  sizes.push_back(size);
  return kAAXSuccess;
}

AAX_Result HostViewContainer::HandleParameterMouseDown(const char* id, uint32_t m) {
  presses.emplace_back(id ? id : "", m);
  return takePresses ? kAAXSuccess : kAAXErrorUnimplemented;
}

} // namespace zt::aaxhost
