#pragma once
// Wrappers of the host's interfaces. Each holds its own reference to the host object (or lends
// a plain interface the host owns) and answers kAAXErrorNullObject, or a neutral value, when the
// host gave it nothing, so callers need no null checks of their own. Objects a wrapper creates
// through the host (descriptors, property maps) are wrapped in turn and owned by the wrapper that
// made them.

#include <cstdint>
#include <memory>
#include <vector>

#include "iplug/aax/support/AAX_Interfaces.h"

// One reference to a host interface; released with the holder.
template <class I> class AAX_HostRef {
public:
  AAX_HostRef() = default;
  explicit AAX_HostRef(I* taken) : p_(taken) {} // takes over a reference the caller owns
  ~AAX_HostRef() { Reset(); }
  AAX_HostRef(const AAX_HostRef&) = delete;
  AAX_HostRef& operator=(const AAX_HostRef&) = delete;
  // Queries `from` for iid; empty when from is null or refuses.
  static AAX_HostRef Query(IACFUnknown* from, const acfUID& iid) {
    void* out = nullptr;
    if (from && from->QueryInterface(iid, &out) == kAAXSuccess && out)
      return AAX_HostRef(static_cast<I*>(out));
    return AAX_HostRef();
  }
  AAX_HostRef(AAX_HostRef&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  AAX_HostRef& operator=(AAX_HostRef&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  I* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

private:
  I* p_ = nullptr;
};

class AAX_VPropertyMap {
public:
  explicit AAX_VPropertyMap(AAX_IPropertyMap* taken) : map_(taken) {}
  AAX_Result AddProperty(uint32_t property, AAX_CPropertyValue value);
  AAX_IPropertyMap* Interface() const { return map_.Get(); }

private:
  AAX_HostRef<AAX_IPropertyMap> map_;
};

class AAX_VComponentDescriptor {
public:
  explicit AAX_VComponentDescriptor(AAX_IComponentDescriptor* taken) : component_(taken) {}
  bool IsValid() const { return static_cast<bool>(component_); }
  AAX_Result AddAudioIn(AAX_CFieldIndex field);
  AAX_Result AddAudioOut(AAX_CFieldIndex field);
  AAX_Result AddAudioBufferLength(AAX_CFieldIndex field);
  AAX_Result AddMIDINode(AAX_CFieldIndex field, AAX_MIDINodeType type, const char* name,
                         uint32_t channelMask);
  AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t size, uint32_t options = 0);
  AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* ids, uint32_t count);
  // Owned by this wrapper; null when the host made none.
  AAX_VPropertyMap* NewPropertyMap();
  AAX_Result AddProcessProc(AAX_CProcessProc proc, AAX_VPropertyMap* properties);
  AAX_IComponentDescriptor* Interface() const { return component_.Get(); }

private:
  AAX_HostRef<AAX_IComponentDescriptor> component_;
  std::vector<std::unique_ptr<AAX_VPropertyMap>> maps_;
};

class AAX_VEffectDescriptor {
public:
  explicit AAX_VEffectDescriptor(AAX_IEffectDescriptor* taken) : effect_(taken) {}
  bool IsValid() const { return static_cast<bool>(effect_); }
  // Owned by this wrapper; null when the host made none.
  AAX_VComponentDescriptor* NewComponentDescriptor();
  AAX_Result AddComponent(AAX_VComponentDescriptor* component);
  AAX_Result AddName(const char* name);
  AAX_Result AddCategory(uint32_t category);
  AAX_Result AddProcPtr(void* proc, AAX_ProcPtrID id);
  AAX_VPropertyMap* NewPropertyMap();
  AAX_IEffectDescriptor* Interface() const { return effect_.Get(); }

private:
  AAX_HostRef<AAX_IEffectDescriptor> effect_;
  std::vector<std::unique_ptr<AAX_VComponentDescriptor>> components_;
  std::vector<std::unique_ptr<AAX_VPropertyMap>> maps_;
};

class AAX_VCollection {
public:
  explicit AAX_VCollection(IACFUnknown* collection)
      : collection_(AAX_HostRef<AAX_ICollection>::Query(collection, kIID_Collection)) {}
  bool IsValid() const { return static_cast<bool>(collection_); }
  // Owned by this wrapper; null when the host made none.
  AAX_VEffectDescriptor* NewDescriptor();
  AAX_Result AddEffect(const char* effectId, AAX_VEffectDescriptor* effect);
  AAX_Result SetManufacturerName(const char* name);
  AAX_Result AddPackageName(const char* name);
  AAX_Result SetPackageVersion(uint32_t version);
  // The collection's definition interface, with a reference for the caller.
  AAX_Result GetDefinition(IACFPluginDefinition** definition);

private:
  AAX_HostRef<AAX_ICollection> collection_;
  std::vector<std::unique_ptr<AAX_VEffectDescriptor>> effects_;
};

// The host's transport, lent by the host (not reference counted).
class AAX_VTransport {
public:
  explicit AAX_VTransport(AAX_ITransport* lent = nullptr) : transport_(lent) {}
  AAX_Result GetCurrentTempo(double* bpm) const;
  AAX_Result IsTransportPlaying(bool* playing) const;
  AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) const;
  AAX_Result GetCurrentTickPosition(int64_t* ticks) const;
  AAX_Result GetCurrentNativeSampleLocation(int64_t* sample) const;
  AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* startTicks, int64_t* endTicks) const;
  AAX_ITransport* Interface() const { return transport_; }

private:
  AAX_ITransport* transport_;
};

class AAX_VController {
public:
  explicit AAX_VController(IACFUnknown* controller)
      : controller_(AAX_HostRef<AAX_IController>::Query(controller, kIID_Controller)) {}
  bool IsValid() const { return static_cast<bool>(controller_); }
  AAX_Result GetSampleRate(float* rate) const;
  AAX_Result GetInputStemFormat(uint32_t* format) const;
  AAX_Result GetOutputStemFormat(uint32_t* format) const;
  AAX_Result SetSignalLatency(int32_t samples);
  AAX_Result GetSignalLatency(int32_t* samples) const;
  AAX_ITransport* Transport() const;

private:
  AAX_HostRef<AAX_IController> controller_;
};

class AAX_VAutomationDelegate {
public:
  explicit AAX_VAutomationDelegate(IACFUnknown* controller)
      : automation_(
            AAX_HostRef<AAX_IAutomationDelegate>::Query(controller, kIID_AutomationDelegate)) {}
  bool IsValid() const { return static_cast<bool>(automation_); }
  AAX_Result RegisterParameter(const char* id);
  AAX_Result UnregisterParameter(const char* id);
  AAX_Result PostSetValueRequest(const char* id, double normalized);
  AAX_Result PostCurrentValue(const char* id, double normalized);
  AAX_Result PostTouchRequest(const char* id);
  AAX_Result PostReleaseRequest(const char* id);
  AAX_Result GetTouchState(const char* id, bool* touched);

private:
  AAX_HostRef<AAX_IAutomationDelegate> automation_;
};

class AAX_VViewContainer {
public:
  explicit AAX_VViewContainer(IACFUnknown* container)
      : container_(AAX_HostRef<AAX_IViewContainer>::Query(container, kIID_ViewContainer)) {}
  bool IsValid() const { return static_cast<bool>(container_); }
  int32_t GetType() const;
  void* GetPtr() const;
  uint32_t GetModifiers() const; // 0 when the host answers nothing
  AAX_Result SetViewSize(const AAX_Point& size);
  AAX_Result HandleParameterMouseDown(const char* id, uint32_t modifiers);

private:
  AAX_HostRef<AAX_IViewContainer> container_;
};

class AAX_VHostServices {
public:
  explicit AAX_VHostServices(IACFUnknown* host)
      : services_(AAX_HostRef<AAX_IHostServices>::Query(host, kIID_HostServices)) {}
  bool IsValid() const { return static_cast<bool>(services_); }
  AAX_Result Trace(int32_t priority, const char* message);

  // The module's one instance, made by ACFStartup and deleted by ACFShutdown; null outside.
  static AAX_VHostServices* Current();
  static void Install(std::unique_ptr<AAX_VHostServices> services); // null deletes it

private:
  AAX_HostRef<AAX_IHostServices> services_;
};
