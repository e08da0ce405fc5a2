#pragma once
// Base class of every plug-in instance. It owns the parameters, presets, channel records and the
// instance mutex, remembers what the host told it, and declares the operations through which a
// host adapter drives the plug-in (and the plug-in reaches the host). Adapters derive from it and
// implement the host-facing operations; a plug-in derives from the adapter of its build.
//
// Threads: the host calls in on its audio thread (RunBlock) and its user-interface thread
// (parameters, state, presets). The recursive instance mutex serialises both; adapters hold it
// around every block and every host call, and several operations here take it again.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "iplug/IPlugParam.h"
#include "iplug/IPlugStructs.h"

class IGraphics;      // the editor (igraphics/IGraphics.h)
class ycairo_context; // the cairo drawing context (ycairo/ycairo.h)

// What the base does with its editor. The graphics library is built on this one, so the base
// cannot call into it by name without tying every user of the framework core to the graphics
// library (and making the two static libraries depend on each other). Constructing an editor
// installs these entry points, once per module; an editor can only be attached after that.
struct EditorEntryPoints {
  void (*destroy)(IGraphics* editor);
  void (*createDrawBitmap)(IGraphics* editor);
  void (*pushParamToControls)(IGraphics* editor, int paramIdx, double value, bool normalized);
};

// What the base does with its drawing context, installed by the cairo layer when a context is
// constructed (once per module), for the same reason as the editor's entry points.
struct DrawingContextEntryPoints {
  void (*destroy)(ycairo_context* context);
  void (*bindToBitmap)(ycairo_context* context, IGraphics* editor);
  // Paints the whole editor into its back buffer and copies width x height pixels from its
  // top-left corner into pixels (rows rowPixels apart); false when nothing could be painted.
  bool (*snapshotEditor)(IGraphics* editor, uint32_t* pixels, int width, int height, int rowPixels);
  // The editor's width and height.
  void (*editorSize)(IGraphics* editor, int* width, int* height);
};

// ParameterChanged source codes.
enum ParamSource : int {
  kSourceOpen = 0,    // the adapter opened the instance
  kSourceHost = 1,    // host text or host value
  kSourceRestore = 2, // state restore
  kSourceEditor = 3,  // the editor, through SetParameterFromGUI
};

class IPlugBase {
public:
  explicit IPlugBase(const PluginConfig& config);
  virtual ~IPlugBase();
  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // --- operations a plug-in overrides -------------------------------------------------------
  virtual void Reset();                                    // host thread, takes the mutex
  virtual void ParameterChanged(int paramIdx, int source); // takes the mutex
  // audio thread, instance mutex held; inputs/outputs hold one pointer per channel record
  virtual void ProcessBlock(double** inputs, double** outputs, int frames);
  virtual void EditorOpened() {}
  virtual void EditorClosing() {}
  virtual void ActivationChanged(bool active);
  virtual void ProcessMidiMessage(const MidiMessage& msg) { SendMidiMessage(msg); }
  virtual void ProcessSysExMessage(const SysExMessage&) {}
  virtual bool GetMidiKeyName(int key, char* text, size_t textSize);
  virtual bool WriteState(StateChunk& chunk) { return SerializeParams(chunk); }
  virtual int ReadState(const StateChunk& chunk, int pos) { return UnserializeParams(chunk, pos); }
  // Compares the live values with consecutive doubles of data from double index pos; no lock.
  virtual bool StateMatches(const double* data, int pos) const;
  virtual void HostReady() {}

  // --- editor to plug-in ----------------------------------------------------------------------
  virtual void SetParameterFromGUI(int paramIdx, double normalized);

  // --- plug-in to host (implemented by the adapter) -------------------------------------------
  virtual void BeginParameterEdit(int paramIdx) = 0;
  virtual void NotifyHostParameterChange(int paramIdx, double normalized) = 0;
  virtual void EndParameterEdit(int paramIdx) = 0;
  virtual void NotifyHostPresetChange() = 0;
  virtual bool HostRendersOffline() { return false; }
  virtual int HostSamplePosition() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSignature(int* numerator, int* denominator) = 0;
  // audio thread: overwrites the fields of info for which the host has valid data
  virtual void ReadTransport(TransportInfo& info) = 0;
  virtual int IdentifyHost() { return hostCode_; }
  virtual int HostApi() const { return hostApi_; }
  virtual void ResizeEditor(int width, int height) = 0;
  virtual void InitForHost() {}
  // Takes ownership of editor (null is ignored; a previously attached editor is deleted).
  // Under the mutex: creates its back buffer and gives every parameter's normalised value to
  // the controls bound to it, then keeps the editor. Plug-in constructor.
  virtual void AttachEditor(IGraphics* editor);
  virtual void SetLatencySamples(int samples) { latency_ = samples; }
  virtual bool SendMidiMessage(const MidiMessage& msg) = 0;
  virtual bool SendSysExMessage(const SysExMessage&) { return false; }
  // Pushes every parameter's value into the editor's controls; nothing without an editor.
  virtual void RefreshEditorParams();
  virtual void PresetRestored() {}
  // Sizes the channel scratch buffers; the only place they allocate.
  virtual void ChangeBlockSize(int frames);

  // --- editor ----------------------------------------------------------------------------------
  // The attached editor, or null; every editor call of the framework is skipped without one.
  IGraphics* Editor() const { return editor_; }
  // Gives value (plain unless normalized) to the editor's controls bound to paramIdx, as the
  // editor's PushParamToControls does; nothing without an editor. Mutex held.
  void PushParamToEditor(int paramIdx, double value, bool normalized);
  static void InstallEditorEntryPoints(const EditorEntryPoints* entries);

  // --- drawing context -------------------------------------------------------------------------
  // Takes ownership of the instance's cairo context (plug-in constructor, before the editor's
  // controls are built); a previous one is destroyed. It is destroyed after everything else but
  // the mutex, so after the editor whose back buffer it was bound to.
  void SetDrawingContext(ycairo_context* context);
  ycairo_context* DrawingContext() const { return drawingContext_.context; }
  // Binds the drawing context to the editor's back buffer afresh (after AttachEditor and after
  // a size change); nothing without both.
  void BindDrawingContext();
  // Paints the whole editor and copies its pixels (width x height from the top-left corner,
  // rows rowPixels apart, the bitmaps' pixel format) into pixels. Takes the mutex. False without
  // an editor or a drawing context, or with a null or too small buffer.
  bool SnapshotEditor(uint32_t* pixels, int width, int height, int rowPixels);
  // The editor's size, for adapters that cannot include the graphics library; 0 x 0 without an
  // editor or a drawing context.
  void EditorSize(int* width, int* height);
  static void InstallDrawingContextEntryPoints(const DrawingContextEntryPoints* entries);

  // --- host identification --------------------------------------------------------------------
  static int LookupHostCode(const char* name);
  void SetHost(const char* name, int version);
  int HostCode() const { return hostCode_; }
  int HostVersion() const { return hostVersion_; }

  // --- channels and blocks (adapter side) -----------------------------------------------------
  bool LegalIO(int inputs, int outputs) const;
  void LimitExtraChannels();
  void ConnectInputs(int first, int count, bool connected);
  void ConnectOutputs(int first, int count, bool connected);
  void AttachInputs(int first, int count, double** hostBuffers);
  // Converts frames single-precision samples per connected input into its scratch buffer;
  // frames must not exceed BlockSize() (the adapter splits longer host blocks).
  void AttachInputs(int first, int count, float** hostBuffers, int frames);
  void AttachOutputs(int first, int count, double** hostBuffers);
  void AttachOutputs(int first, int count, float** hostBuffers);
  void RunBlock(int frames);      // double buffers attached
  void RunBlockFloat(int frames); // single precision, replacing the host's samples
  void RunBlockAccumulating(int frames);
  void NotifyAllParameters(int source);

  // --- state and presets ----------------------------------------------------------------------
  bool SerializeParams(StateChunk& chunk);
  int UnserializeParams(const StateChunk& chunk, int pos);
  static void WriteChunkHeader(StateChunk& chunk);
  static int ReadChunkHeader(const StateChunk& chunk, int* pos);
  void FillDefaultPresets(const char* name, int count);
  void FillEmptyPresets();
  bool LoadPreset(int idx);
  const char* PresetName(int idx) const;
  void ModifyCurrentPreset(const char* name = nullptr);
  bool SerializePresets(StateChunk& chunk);
  int UnserializePresets(const StateChunk& chunk, int pos);

  static constexpr int32_t kChunkMagic = 0x70666674;
  static constexpr int32_t kStateVersion = 0x00010000;

  // --- accessors ------------------------------------------------------------------------------
  std::recursive_mutex& Mutex() { return mutex_; }
  int VersionNumber(bool decimal) const;
  void StoreSampleRate(double rate) { sampleRate_ = rate; }
  double SampleRate() const { return sampleRate_; }
  int BlockSize() const { return blockSize_; }
  int Latency() const { return latency_; }
  int NParams() const { return static_cast<int>(params_.size()); }
  IPlugParam* GetParam(int idx) { return idx >= 0 && idx < NParams() ? &params_[idx] : nullptr; }
  const IPlugParam* GetParam(int idx) const {
    return idx >= 0 && idx < NParams() ? &params_[idx] : nullptr;
  }
  int NPresets() const { return static_cast<int>(presets_.size()); }
  IPlugPreset* GetPreset(int idx) {
    return idx >= 0 && idx < NPresets() ? &presets_[idx] : nullptr;
  }
  int CurrentPreset() const { return currentPreset_; }
  int NInChannels() const { return static_cast<int>(inChannels_.size()); }
  int NOutChannels() const { return static_cast<int>(outChannels_.size()); }
  bool IsInChannelConnected(int ch) const;
  bool IsOutChannelConnected(int ch) const;
  const char* InChannelLabel(int ch) const;
  const char* OutChannelLabel(int ch) const;
  const std::vector<std::pair<int, int>>& LegalIOPairs() const { return ioPairs_; }
  const char* EffectName() const { return effectName_; }
  const char* ProductName() const { return productName_; }
  const char* MakerName() const { return makerName_; }
  int32_t UniqueId() const { return uniqueId_; }
  int32_t MakerId() const { return makerId_; }
  bool DoesChunks() const { return doesChunks_; }
  bool DoesMidi() const { return doesMidi_; }
  bool IsInstrument() const { return isInstrument_; }

protected:
  struct InChannel {
    bool connected = false;
    int pointerIdx = 0; // entry of the input pointer array that belongs to this channel
    std::vector<double> scratch;
    std::string label;
  };
  struct OutChannel {
    bool connected = false;
    int pointerIdx = 0;
    std::vector<double> scratch;
    float* hostDest = nullptr; // single-precision destination of the float paths
    std::string label;
  };

private:
  void ConvertOutputs(int frames, bool accumulate);

  std::recursive_mutex mutex_;
  // Declared right after the mutex, so destroyed after every other member and before the mutex.
  struct DrawingContextHolder {
    DrawingContextHolder() = default;
    DrawingContextHolder(const DrawingContextHolder&) = delete;
    DrawingContextHolder& operator=(const DrawingContextHolder&) = delete;
    ~DrawingContextHolder() { Reset(nullptr); }
    void Reset(ycairo_context* next);
    ycairo_context* context = nullptr; // owned
  } drawingContext_;
  std::vector<std::pair<int, int>> ioPairs_;
  int32_t uniqueId_, makerId_, version_, hostApi_;
  int32_t hostCode_ = -1;
  int32_t hostVersion_ = 0;
  bool doesChunks_, isInstrument_, doesMidi_;
  int32_t currentPreset_ = 0;
  double sampleRate_ = 44100.0;
  int32_t blockSize_ = 0;
  int32_t latency_;
  std::vector<IPlugParam> params_;
  std::vector<IPlugPreset> presets_;
  std::vector<double*> inPointers_, outPointers_;
  std::vector<InChannel> inChannels_;
  std::vector<OutChannel> outChannels_;
  IGraphics* editor_ = nullptr; // owned; deleted first of all in the destructor
  char effectName_[kNameStringSize] = {};
  char productName_[kNameStringSize] = {};
  char makerName_[kNameStringSize] = {};
};
