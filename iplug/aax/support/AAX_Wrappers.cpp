#include "iplug/aax/support/AAX_Wrappers.h"

namespace {

// Calls member on the wrapped interface, or answers kAAXErrorNullObject without one.
template <class I, class F> AAX_Result Call(I* p, F&& call) {
  return p ? call(p) : kAAXErrorNullObject;
}

std::unique_ptr<AAX_VHostServices> gHostServices;

} // namespace

AAX_Result AAX_VPropertyMap::AddProperty(uint32_t property, AAX_CPropertyValue value) {
  return Call(map_.Get(), [&](AAX_IPropertyMap* m) { return m->AddProperty(property, value); });
}

AAX_Result AAX_VComponentDescriptor::AddAudioIn(AAX_CFieldIndex field) {
  return Call(Interface(), [&](AAX_IComponentDescriptor* c) { return c->AddAudioIn(field); });
}

AAX_Result AAX_VComponentDescriptor::AddAudioOut(AAX_CFieldIndex field) {
  return Call(Interface(), [&](AAX_IComponentDescriptor* c) { return c->AddAudioOut(field); });
}

AAX_Result AAX_VComponentDescriptor::AddAudioBufferLength(AAX_CFieldIndex field) {
  return Call(Interface(),
              [&](AAX_IComponentDescriptor* c) { return c->AddAudioBufferLength(field); });
}

AAX_Result AAX_VComponentDescriptor::AddMIDINode(AAX_CFieldIndex field, AAX_MIDINodeType type,
                                                 const char* name, uint32_t channelMask) {
  return Call(Interface(), [&](AAX_IComponentDescriptor* c) {
    return c->AddMIDINode(field, type, name, channelMask);
  });
}

AAX_Result AAX_VComponentDescriptor::AddPrivateData(AAX_CFieldIndex field, int32_t size,
                                                    uint32_t options) {
  return Call(Interface(),
              [&](AAX_IComponentDescriptor* c) { return c->AddPrivateData(field, size, options); });
}

AAX_Result AAX_VComponentDescriptor::AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* ids,
                                               uint32_t count) {
  return Call(Interface(),
              [&](AAX_IComponentDescriptor* c) { return c->AddMeters(field, ids, count); });
}

AAX_VPropertyMap* AAX_VComponentDescriptor::NewPropertyMap() {
  AAX_IPropertyMap* map = component_ ? component_.Get()->NewPropertyMap() : nullptr;
  if (!map) return nullptr;
  maps_.push_back(std::make_unique<AAX_VPropertyMap>(map));
  return maps_.back().get();
}

AAX_Result AAX_VComponentDescriptor::AddProcessProc(AAX_CProcessProc proc,
                                                    AAX_VPropertyMap* properties) {
  return Call(Interface(), [&](AAX_IComponentDescriptor* c) {
    return c->AddProcessProc(proc, properties ? properties->Interface() : nullptr);
  });
}

AAX_VComponentDescriptor* AAX_VEffectDescriptor::NewComponentDescriptor() {
  AAX_IComponentDescriptor* c = effect_ ? effect_.Get()->NewComponentDescriptor() : nullptr;
  if (!c) return nullptr;
  components_.push_back(std::make_unique<AAX_VComponentDescriptor>(c));
  return components_.back().get();
}

AAX_Result AAX_VEffectDescriptor::AddComponent(AAX_VComponentDescriptor* component) {
  if (!component || !component->IsValid()) return kAAXErrorNullObject;
  return Call(Interface(),
              [&](AAX_IEffectDescriptor* e) { return e->AddComponent(component->Interface()); });
}

AAX_Result AAX_VEffectDescriptor::AddName(const char* name) {
  return Call(Interface(), [&](AAX_IEffectDescriptor* e) { return e->AddName(name); });
}

AAX_Result AAX_VEffectDescriptor::AddCategory(uint32_t category) {
  return Call(Interface(), [&](AAX_IEffectDescriptor* e) { return e->AddCategory(category); });
}

AAX_Result AAX_VEffectDescriptor::AddProcPtr(void* proc, AAX_ProcPtrID id) {
  return Call(Interface(), [&](AAX_IEffectDescriptor* e) { return e->AddProcPtr(proc, id); });
}

AAX_VPropertyMap* AAX_VEffectDescriptor::NewPropertyMap() {
  AAX_IPropertyMap* map = effect_ ? effect_.Get()->NewPropertyMap() : nullptr;
  if (!map) return nullptr;
  maps_.push_back(std::make_unique<AAX_VPropertyMap>(map));
  return maps_.back().get();
}

AAX_VEffectDescriptor* AAX_VCollection::NewDescriptor() {
  AAX_IEffectDescriptor* e = collection_ ? collection_.Get()->NewDescriptor() : nullptr;
  if (!e) return nullptr;
  effects_.push_back(std::make_unique<AAX_VEffectDescriptor>(e));
  return effects_.back().get();
}

AAX_Result AAX_VCollection::AddEffect(const char* effectId, AAX_VEffectDescriptor* effect) {
  if (!effect || !effect->IsValid()) return kAAXErrorNullObject;
  return Call(collection_.Get(),
              [&](AAX_ICollection* c) { return c->AddEffect(effectId, effect->Interface()); });
}

AAX_Result AAX_VCollection::SetManufacturerName(const char* name) {
  return Call(collection_.Get(), [&](AAX_ICollection* c) { return c->SetManufacturerName(name); });
}

AAX_Result AAX_VCollection::AddPackageName(const char* name) {
  return Call(collection_.Get(), [&](AAX_ICollection* c) { return c->AddPackageName(name); });
}

AAX_Result AAX_VCollection::SetPackageVersion(uint32_t version) {
  return Call(collection_.Get(), [&](AAX_ICollection* c) { return c->SetPackageVersion(version); });
}

AAX_Result AAX_VCollection::GetDefinition(IACFPluginDefinition** definition) {
  if (!definition) return kAAXErrorNullObject;
  *definition = nullptr;
  void* out = nullptr;
  if (!collection_ ||
      collection_.Get()->QueryInterface(kIID_PluginDefinition, &out) != kAAXSuccess || !out)
    return kAAXErrorNullObject;
  *definition = static_cast<IACFPluginDefinition*>(out);
  return kAAXSuccess;
}

AAX_Result AAX_VTransport::GetCurrentTempo(double* bpm) const {
  return Call(transport_, [&](AAX_ITransport* t) { return t->GetCurrentTempo(bpm); });
}

AAX_Result AAX_VTransport::IsTransportPlaying(bool* playing) const {
  return Call(transport_, [&](AAX_ITransport* t) { return t->IsTransportPlaying(playing); });
}

AAX_Result AAX_VTransport::GetCurrentMeter(int32_t* numerator, int32_t* denominator) const {
  return Call(transport_,
              [&](AAX_ITransport* t) { return t->GetCurrentMeter(numerator, denominator); });
}

AAX_Result AAX_VTransport::GetCurrentTickPosition(int64_t* ticks) const {
  return Call(transport_, [&](AAX_ITransport* t) { return t->GetCurrentTickPosition(ticks); });
}

AAX_Result AAX_VTransport::GetCurrentNativeSampleLocation(int64_t* sample) const {
  return Call(transport_,
              [&](AAX_ITransport* t) { return t->GetCurrentNativeSampleLocation(sample); });
}

AAX_Result AAX_VTransport::GetCurrentLoopPosition(bool* looping, int64_t* startTicks,
                                                  int64_t* endTicks) const {
  return Call(transport_, [&](AAX_ITransport* t) {
    return t->GetCurrentLoopPosition(looping, startTicks, endTicks);
  });
}

AAX_Result AAX_VController::GetSampleRate(float* rate) const {
  return Call(controller_.Get(), [&](AAX_IController* c) { return c->GetSampleRate(rate); });
}

AAX_Result AAX_VController::GetInputStemFormat(uint32_t* format) const {
  return Call(controller_.Get(), [&](AAX_IController* c) { return c->GetInputStemFormat(format); });
}

AAX_Result AAX_VController::GetOutputStemFormat(uint32_t* format) const {
  return Call(controller_.Get(),
              [&](AAX_IController* c) { return c->GetOutputStemFormat(format); });
}

AAX_Result AAX_VController::SetSignalLatency(int32_t samples) {
  return Call(controller_.Get(), [&](AAX_IController* c) { return c->SetSignalLatency(samples); });
}

AAX_Result AAX_VController::GetSignalLatency(int32_t* samples) const {
  return Call(controller_.Get(), [&](AAX_IController* c) { return c->GetSignalLatency(samples); });
}

AAX_ITransport* AAX_VController::Transport() const {
  return controller_ ? controller_.Get()->GetTransport() : nullptr;
}

AAX_Result AAX_VAutomationDelegate::RegisterParameter(const char* id) {
  return Call(automation_.Get(),
              [&](AAX_IAutomationDelegate* a) { return a->RegisterParameter(id); });
}

AAX_Result AAX_VAutomationDelegate::UnregisterParameter(const char* id) {
  return Call(automation_.Get(),
              [&](AAX_IAutomationDelegate* a) { return a->UnregisterParameter(id); });
}

AAX_Result AAX_VAutomationDelegate::PostSetValueRequest(const char* id, double normalized) {
  return Call(automation_.Get(),
              [&](AAX_IAutomationDelegate* a) { return a->PostSetValueRequest(id, normalized); });
}

AAX_Result AAX_VAutomationDelegate::PostCurrentValue(const char* id, double normalized) {
  return Call(automation_.Get(),
              [&](AAX_IAutomationDelegate* a) { return a->PostCurrentValue(id, normalized); });
}

AAX_Result AAX_VAutomationDelegate::PostTouchRequest(const char* id) {
  return Call(automation_.Get(),
              [&](AAX_IAutomationDelegate* a) { return a->PostTouchRequest(id); });
}

AAX_Result AAX_VAutomationDelegate::PostReleaseRequest(const char* id) {
  return Call(automation_.Get(),
              [&](AAX_IAutomationDelegate* a) { return a->PostReleaseRequest(id); });
}

AAX_Result AAX_VAutomationDelegate::GetTouchState(const char* id, bool* touched) {
  return Call(automation_.Get(),
              [&](AAX_IAutomationDelegate* a) { return a->GetTouchState(id, touched); });
}

int32_t AAX_VViewContainer::GetType() const {
  return container_ ? container_.Get()->GetType() : kAAXViewContainerNull;
}

void* AAX_VViewContainer::GetPtr() const {
  return container_ ? container_.Get()->GetPtr() : nullptr;
}

uint32_t AAX_VViewContainer::GetModifiers() const {
  uint32_t modifiers = 0;
  if (container_ && container_.Get()->GetModifiers(&modifiers) != kAAXSuccess) modifiers = 0;
  return modifiers;
}

AAX_Result AAX_VViewContainer::SetViewSize(const AAX_Point& size) {
  return Call(container_.Get(), [&](AAX_IViewContainer* v) { return v->SetViewSize(size); });
}

AAX_Result AAX_VViewContainer::HandleParameterMouseDown(const char* id, uint32_t modifiers) {
  return Call(container_.Get(),
              [&](AAX_IViewContainer* v) { return v->HandleParameterMouseDown(id, modifiers); });
}

AAX_Result AAX_VHostServices::Trace(int32_t priority, const char* message) {
  return Call(services_.Get(), [&](AAX_IHostServices* s) { return s->Trace(priority, message); });
}

AAX_VHostServices* AAX_VHostServices::Current() {
  return gHostServices.get();
}

void AAX_VHostServices::Install(std::unique_ptr<AAX_VHostServices> services) {
  gHostServices = std::move(services);
}
