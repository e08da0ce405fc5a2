#pragma once
// The AAX host adapter. An instance is the plug-in base and, as its second face, the support
// library's effect-parameters object (AAX_CIPlugParameters): the host creates it through creation
// procedure 0 of the effect description (AAXDescription.h), initialises it, renders through the
// component's render procedure, and shows its editor through an AAX_CEffectGUI_IPLUG.
//
// The host is not trusted: null pointers, unknown identifiers, foreign chunks and absurd sizes are
// answered with error codes, never a crash, and no exception leaves an entry.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iplug/IPlugBase.h"
#include "iplug/aax/support/AAX_CEffectGUI.h"
#include "iplug/aax/support/AAX_CEffectParameters.h"

// What the AAX factory hands to the plug-in's constructor: nothing; the host's objects arrive
// later, through Initialize.
struct IPlugInstanceInfo {};

class AAX_CIPlugParameters;

// The render context of the effect description: field i at byte offset 8 x i.
struct RenderContext {
  float** inputs;                  // 0: one buffer per input channel of the stem
  float** outputs;                 // 1: one buffer per output channel of the stem
  void* unused2;                   // 2
  int32_t* bufferLength;           // 3: frames of this call
  void* unused4;                   // 4
  void* midiInput;                 // 5: AAX_IMIDINode* with MIDI input, else 4 private bytes
  void* globalMidi;                // 6: AAX_IMIDINode* with global MIDI, else 4 private bytes
  void* transportNode;             // 7: AAX_IMIDINode* with the transport, else 4 private bytes
  AAX_CIPlugParameters** instance; // 8: 8 private bytes holding the instance
  void* meters;                    // 9: meters, else 4 private bytes
};
static_assert(sizeof(RenderContext) == 80, "the render context is ten 8-byte fields");

enum RenderField : AAX_CFieldIndex {
  kFieldInputs = 0,
  kFieldOutputs = 1,
  kFieldBufferLength = 3,
  kFieldMidiInput = 5,
  kFieldGlobalMidi = 6,
  kFieldTransport = 7,
  kFieldInstance = 8,
  kFieldMeters = 9,
};

// Answers interface queries for our own instances only, so that a bridge handed some object by
// the host finds out whether it is one of ours (with one reference for the caller).
constexpr acfUID kIID_IPlugInstance{
    0x5A7C3E10, 0x2B4D, 0x4F61, {0x9A, 0x83, 0x11, 0xC5, 0xE2, 0x47, 0x6B, 0x0D}};

// The effect-parameters face of an instance, with the two operations the adapter adds.
class AAX_CIPlugParameters : public AAX_CEffectParameters {
public:
  // Called by the support library's initialisation once the host wrappers exist.
  virtual AAX_Result SetUpParameters() { return kAAXSuccess; }
  // Audio thread: one render call of the host for a component with so many input and output
  // channels (its stems; -1 where the render procedure does not know them).
  virtual void RenderFromContext(RenderContext* /*context*/, int /*componentInputs*/,
                                 int /*componentOutputs*/) {}

protected:
  AAX_Result EffectInit() override { return SetUpParameters(); }
};

// The taper of Double parameters: min at 0, max at 1, with the parameter's shape.
class AAX_CIPlugTaperDelegate : public AAX_ITaperDelegate<double> {
public:
  AAX_CIPlugTaperDelegate(double minValue, double maxValue, double shape)
      : min_(minValue), max_(maxValue), shape_(shape) {}
  std::unique_ptr<AAX_ITaperDelegate<double>> Clone() const override {
    return std::make_unique<AAX_CIPlugTaperDelegate>(*this);
  }
  double GetMaximumValue() const override { return max_; }
  double GetMinimumValue() const override { return min_; }
  double ConstrainRealValue(double value) const override;
  double NormalizedToReal(double normalized) const override;
  double RealToNormalized(double value) const override;

private:
  double min_, max_, shape_;
};

class IPlugAAX : public IPlugBase, public AAX_CIPlugParameters {
public:
  // Longest render call accepted; a longer one writes silence (no host renders such blocks).
  static constexpr int kMaxBlockSize = 1 << 20;
  // Largest chunk accepted from the host.
  static constexpr int32_t kMaxChunkBytes = 64 << 20;

  // The factory's thread, under the construction lock. The plug-in's constructor runs after this.
  IPlugAAX(IPlugInstanceInfo info, PluginConfig config);
  ~IPlugAAX() override;

  // --- plug-in to host ------------------------------------------------------------------------
  void BeginParameterEdit(int paramIdx) override;                           // touch
  void NotifyHostParameterChange(int paramIdx, double normalized) override; // set request
  void EndParameterEdit(int paramIdx) override;                             // release
  void NotifyHostPresetChange() override {}
  bool SendMidiMessage(const MidiMessage&) override { return false; }
  bool SendSysExMessage(const SysExMessage&) override { return false; }
  // The time queries read the transport of the current render call; audio thread.
  int HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void ReadTransport(TransportInfo& info) override;
  // Only with an editor: the host's view follows, and the drawing layer is bound afresh.
  void ResizeEditor(int width, int height) override;
  void SetLatencySamples(int samples) override; // the host is told through its controller

  // --- host to plug-in ------------------------------------------------------------------------
  // Makes the master bypass and one AAX parameter per parameter, then follows the host's rate
  // and resets. Once per instance: a second initialisation only follows the rate again.
  AAX_Result SetUpParameters() override;
  // The host's wrappers are replaced under the instance mutex, so that a render call on the audio
  // thread never meets them half made.
  AAX_Result Initialize(IACFUnknown* controller) override;
  AAX_Result Uninitialize() override;
  // Only instances of this class answer kIID_IPlugInstance (with their AAX_CIPlugParameters face).
  AAX_Result InternalQueryInterface(const acfUID& iid, void** out) override;
  // Audio thread: the whole block under the instance mutex. The channels are the stems the
  // controller reports, never more than the component's; a null channel pointer is an
  // unconnected channel. Without a controller, stems or inputs, the outputs get silence.
  void RenderFromContext(RenderContext* context, int componentInputs,
                         int componentOutputs) override;
  // Any thread; the parameter changes under the instance mutex.
  AAX_Result UpdateParameterNormalizedValue(const char* id, double value,
                                            AAX_UpdateSource source) override;
  // Field kFieldInstance receives this face's address (zeros when it is too small for one, so
  // that the render procedure skips the context); every other field zeros.
  AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data, uint32_t size) override;
  // The chunk: identifier UniqueId(), the state without the chunk header.
  AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* id) override;
  AAX_Result GetChunkSize(AAX_CTypeID id, uint32_t* size) override;
  AAX_Result GetChunk(AAX_CTypeID id, AAX_SPlugInChunk* chunk) override;
  AAX_Result SetChunk(AAX_CTypeID id, const AAX_SPlugInChunk* chunk) override;
  AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, bool* equal) override;

  // --- for the bridges and tests ---------------------------------------------------------------
  const std::vector<std::string>& ParameterIds() const { return parameterIds_; }
  AAX_IParameter* BypassParameter() const { return bypassParameter_; }
  // The AAX identifier of parameter i, or null outside the parameters.
  const char* ParameterId(int paramIdx) const;
  // The editor bridge's view while it is open (not owned), for ResizeEditor; null when closed.
  void AttachView(IGraphicsViewContainer* view) { view_ = view; }

private:
  void MakeAAXParameter(int paramIdx);
  void FollowHostSampleRate();
  // The state as the chunk carries it; false when it could not be written.
  bool WriteChunkData(StateChunk& chunk);
  // The stems of this render call, clamped to the component's channels; false when the
  // controller cannot tell them.
  bool StemChannels(int componentInputs, int componentOutputs, int* inputs, int* outputs);
  // Connects the first `inputs` channels whose host pointer is not null and the first `outputs`
  // outputs, attaches the buffers, and prints the attach line when the inputs changed.
  void ConnectStems(RenderContext* context, int inputs, int outputs, int frames);

  std::vector<std::string> parameterIds_;
  bool parametersMade_ = false;
  AAX_IParameter* bypassParameter_ = nullptr; // owned by the parameter manager
  std::vector<float*> connectedInputs_;       // the host's non-null inputs of a render call
  AAX_VTransport currentTransport_;           // the transport of the current render call
  IGraphicsViewContainer* view_ = nullptr;
  // The attach line is printed when the render calls' inputs first appear or change.
  int attachLineInputs_ = -1;
};

// The editor bridge: opens the instance's editor in the host's view.
class AAX_CEffectGUI_IPLUG : public AAX_CEffectGUI {
public:
  AAX_CEffectGUI_IPLUG();
  ~AAX_CEffectGUI_IPLUG() override;
  // The editor's height and width; the point stays as it is without an editor.
  AAX_Result GetViewSize(AAX_Point* size) override;
  IPlugAAX* Plug() const { return plug_; }

protected:
  void CreateViewContents() override;
  void CreateViewContainer() override;
  void DeleteViewContainer() override;

private:
  class ContainerBridge;
  void ForgetPlug();

  IPlugAAX* plug_ = nullptr; // one reference held while set
  std::unique_ptr<ContainerBridge> bridge_;
  bool windowOpen_ = false;
};
