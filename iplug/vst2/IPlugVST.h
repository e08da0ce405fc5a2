#pragma once
// The VST2 host adapter. The instance embeds the effect record it hands to the host; every call
// from the host (dispatcher, parameter entries, audio callbacks) arrives through the static
// entries below, which find the instance through the record's object field, take the instance
// mutex and turn the call into plug-in base operations. Calls towards the host go through the
// host callback given to the entry point.
//
// The host is not trusted: null pointers, out-of-range indices, absurd sizes and non-finite
// numbers are answered with the failure result of the call (0, 0.0 or nothing done), never a
// crash, and no exception leaves an entry.

#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "iplug/IPlugBase.h"
#include "iplug/vst2/vst2_abi.h"

// The editor rectangle of opcode 13, in the interface's layout: four int16 in this order.
struct VstEditorRect {
  int16_t top = 0, left = 0, bottom = 0, right = 0;
};

// What the VST2 factory hands to the plug-in's constructor.
struct IPlugInstanceInfo {
  VstHostCallback hostCallback = nullptr; // may be null: every host call then answers 0
};

class IPlugVST : public IPlugBase {
public:
  // Longest block size accepted from the host; larger requests keep the current size (longer
  // host blocks are processed in slices of the block size anyway).
  static constexpr int kMaxBlockSize = 1 << 20;
  // Largest state chunk accepted from the host.
  static constexpr intptr_t kMaxChunkBytes = 64 << 20;
  // Lowest sample rate accepted from the host, in Hz.
  static constexpr float kMinSampleRate = 1.0f;

  // The factory's thread, under the construction lock. The plug-in's constructor runs after this.
  IPlugVST(IPlugInstanceInfo info, PluginConfig config);
  ~IPlugVST() override; // dispatcher opcode 1, after the mutex was released

  // The record the host receives; it lives and dies with the instance.
  VstEffect* Effect() { return &effect_; }

  // --- plug-in to host ------------------------------------------------------------------------
  void BeginParameterEdit(int paramIdx) override;                           // editor thread
  void NotifyHostParameterChange(int paramIdx, double normalized) override; // mutex held
  void EndParameterEdit(int paramIdx) override;                             // editor thread
  void NotifyHostPresetChange() override; // any thread; nothing calls it
  bool HostRendersOffline() override;     // any thread; asks the host every time
  // The time queries and ReadTransport run on the audio thread inside ProcessBlock.
  int HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void ReadTransport(TransportInfo& info) override;
  int IdentifyHost() override; // asks the host once; later calls return the stored code
  // Only with an editor: the rectangle follows, and the drawing layer is bound afresh.
  void ResizeEditor(int width, int height) override;
  void InitForHost() override; // runs once per instance (dispatcher opcode 0)
  // The base's attachment, then the has-editor flag and the rectangle of the editor's size.
  void AttachEditor(IGraphics* editor) override;
  void SetLatencySamples(int samples) override; // host thread, mutex held; the host is not told
  // Any thread, mutex held; true when the host answered 1.
  bool SendMidiMessage(const MidiMessage& msg) override;
  bool SendSysExMessage(const SysExMessage& msg) override;

  // --- the entries of the effect record ---------------------------------------------------------
  // Any thread the host chooses; each takes the instance mutex for the whole call. Opcode 1
  // (close) releases it and deletes the instance.
  static intptr_t VST_CALL VSTDispatcher(VstEffect* effect, int32_t opcode, int32_t index,
                                         intptr_t value, void* ptr, float opt);
  static float VST_CALL VSTGetParameter(VstEffect* effect, int32_t index);
  static void VST_CALL VSTSetParameter(VstEffect* effect, int32_t index, float value);
  // audio thread
  static void VST_CALL VSTProcess(VstEffect* effect, float** inputs, float** outputs,
                                  int32_t frames);
  static void VST_CALL VSTProcessReplacing(VstEffect* effect, float** inputs, float** outputs,
                                           int32_t frames);
  static void VST_CALL VSTProcessDoubleReplacing(VstEffect* effect, double** inputs,
                                                 double** outputs, int32_t frames);

  // The factory, under the construction lock, once the plug-in's constructor has run: fills the
  // empty presets and returns the record the host receives.
  VstEffect* FinishCreation();

private:
  enum class BlockMode { Replacing, Accumulating };
  // Host buffer pointers advanced to the start of a slice; sized once at construction.
  template <typename Sample> struct SliceBuffers {
    void Size(int inputs, int outputs) {
      in.assign(static_cast<size_t>(inputs), nullptr);
      out.assign(static_cast<size_t>(outputs), nullptr);
    }
    std::vector<Sample*> in, out;
  };

  intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  intptr_t HostCall(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  bool SendEvent(VstEvent* event);
  void SetEditorRect(int width, int height);
  const VstTimeInfo* HostTimeInfo(int32_t mask);

  intptr_t GetChunk(bool bank, void* ptr);
  intptr_t SetChunk(bool bank, intptr_t size, const void* ptr);
  intptr_t ProcessEvents(const VstEventList* list);
  intptr_t StringToParameter(int index, const char* text);
  intptr_t VendorSpecific(int32_t subCode, intptr_t paramIdx, float value, void* ptr);
  intptr_t PinProperties(bool input, int index, VstPinProperties* pin);
  void SetSpeakerArrangement(const VstSpeakerArrangement* in, const VstSpeakerArrangement* out);
  intptr_t CanDo(const char* query) const;

  int ConnectedInputs() const;
  int ConnectedOutputs() const;
  // The three audio entries: find the instance, take its mutex for the whole host block.
  template <typename Sample>
  static void Process(VstEffect* effect, Sample** inputs, Sample** outputs, int32_t frames,
                      BlockMode mode);
  // Runs a host block in slices of at most BlockSize() frames; audio thread, mutex held.
  template <typename Sample>
  void ProcessHostBlock(Sample** inputs, Sample** outputs, int frames, BlockMode mode);
  template <typename Sample> SliceBuffers<Sample>& Slices() {
    if constexpr (std::is_same_v<Sample, double>)
      return sliceD_;
    else
      return sliceF_;
  }

  VstHostCallback host_;
  VstEffect effect_;
  VstSpeakerArrangement inArrangement_;
  VstSpeakerArrangement outArrangement_;
  StateChunk programChunk_;
  StateChunk bankChunk_;
  bool hostSetUp_ = false;
  VstEditorRect editorRect_;
  SliceBuffers<float> sliceF_;
  SliceBuffers<double> sliceD_;
};

// Held while an instance is created, so that host threads creating instances at once construct
// one after the other. Created on first use; destroyed when the module unloads.
std::recursive_mutex& VSTConstructionLock();

// The factory behind both entry points: the new instance's effect record, or null when the
// plug-in could not be created.
template <class Plugin> VstEffect* VSTCreateInstance(VstHostCallback host) {
  std::lock_guard<std::recursive_mutex> lock(VSTConstructionLock());
  try {
    std::unique_ptr<Plugin> plug(new Plugin(IPlugInstanceInfo{host}));
    VstEffect* effect = plug->FinishCreation();
    plug.release(); // from now on the host owns it, through opcode 1
    return effect;
  } catch (...) {
    return nullptr;
  }
}

// Defines the module's entry points for a plug-in class; used once, in the plug-in's VST2 file.
// C++ reserves the name main for the program's entry, so the second entry gets its symbol name
// through an assembler label.
#define ZT_VST2_ENTRY_POINTS(PluginClass)                                                          \
  VST_EXPORT VstEffect* VST_CALL VSTPluginMain(VstHostCallback host) {                             \
    return VSTCreateInstance<PluginClass>(host);                                                   \
  }                                                                                                \
  VST_EXPORT VstEffect* VST_CALL VSTLegacyMain(VstHostCallback host) __asm__("main");              \
  VST_EXPORT VstEffect* VST_CALL VSTLegacyMain(VstHostCallback host) {                             \
    return VSTCreateInstance<PluginClass>(host);                                                   \
  }
