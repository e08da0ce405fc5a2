#pragma once
// Base class of every plug-in instance. It owns the parameters, presets, channel records and the
// instance mutex, remembers what the host told it, and declares the operations through which a
// host adapter drives the plug-in (and the plug-in reaches the host). Adapters derive from it and
// implement the host-facing operations; a plug-in derives from the adapter of its build.
//
// Threads: the host calls in on its audio thread (RunBlock) and its user-interface thread
// (parameters, state, presets). The recursive instance mutex serialises both; adapters hold it
// around every block and every host call, and several operations here take it again.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "iplug/IPlugParam.h"
#include "iplug/IPlugStructs.h"

class IGraphics;      // the editor (igraphics/IGraphics.h)
class ycairo_context; // the cairo drawing context (ycairo/ycairo.h)

// The host's view container, through which an AAX host may take a press on a parameter control
// before the control sees it. Implemented by the AAX editor bridge; absent in other builds.
class IGraphicsViewContainer {
public:
  virtual ~IGraphicsViewContainer() = default;
  // The host's current modifier bits, merged into the press flags.
  virtual uint32_t CurrentModifiers() = 0;
  // paramId is the decimal text of the parameter index + 1; 0 means the host took the press.
  virtual int ParameterMouseDown(const char* paramId, uint32_t flags) = 0;
  // The host's view takes a new size for the editor.
  virtual void ResizeView(int width, int height) = 0;
};

// What the base does with its editor. The graphics library is built on this one, so the base
// cannot call into it by name without tying every user of the framework core to the graphics
// library (and making the two static libraries depend on each other). Constructing an editor
// installs these entry points, once per module; an editor can only be attached after that.
struct EditorEntryPoints {
  void (*destroy)(IGraphics* editor);
  void (*createDrawBitmap)(IGraphics* editor);
  void (*pushParamToControls)(IGraphics* editor, int paramIdx, double value, bool normalized);
  // The editor's window in the host's parent; null when it has no window of the system's (the
  // headless editor) or the window could not be made.
  void* (*openWindow)(IGraphics* editor, void* parent);
  void (*closeWindow)(IGraphics* editor);
  void (*setViewContainer)(IGraphics* editor, IGraphicsViewContainer* container);
  // The editor's width and height.
  void (*editorSize)(IGraphics* editor, int* width, int* height);
};

// What the base does with its drawing context, installed by the cairo layer when a context is
// constructed (once per module), for the same reason as the editor's entry points.
struct DrawingContextEntryPoints {
  void (*destroy)(ycairo_context* context);
  void (*bindToBitmap)(ycairo_context* context, IGraphics* editor);
  // Paints the whole editor into its back buffer and copies width x height pixels from its
  // top-left corner into pixels (rows rowPixels apart); false when nothing could be painted.
  bool (*snapshotEditor)(IGraphics* editor, uint32_t* pixels, int width, int height, int rowPixels);
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
  // Host's set-up thread (sample rate, block size, processing off); takes the mutex.
  virtual void Reset();
  // Any thread, the audio thread included (host automation); takes the mutex. source is a
  // ParamSource.
  virtual void ParameterChanged(int paramIdx, int source);
  // Audio thread, instance mutex held; inputs/outputs hold one pointer per channel record. The
  // default copies inputs to outputs and zeroes outputs without an input.
  virtual void ProcessBlock(double** inputs, double** outputs, int frames);
  // audio thread, instance mutex held: the host bypassed this block (AAX master bypass), which
  // passed through without ProcessBlock.
  virtual void BlockBypassed(int /*frames*/) {}
  virtual void EditorOpened() {}  // user-interface thread, mutex held, after the window opened
  virtual void EditorClosing() {} // user-interface thread, mutex held, before it closes
  // Host thread, mutex held by the adapter (taken again by the default).
  virtual void ActivationChanged(bool active);
  // Audio or host thread, mutex held; the default passes the message on to the host.
  virtual void ProcessMidiMessage(const MidiMessage& msg) { SendMidiMessage(msg); }
  virtual void ProcessSysExMessage(const SysExMessage&) {} // as ProcessMidiMessage
  // Host thread, mutex held; writes at most textSize bytes; false (and "") without a name.
  virtual bool GetMidiKeyName(int key, char* text, size_t textSize);
  // Host thread; takes the mutex. False when the chunk could not grow.
  virtual bool WriteState(StateChunk& chunk) { return SerializeParams(chunk); }
  // Host thread; takes the mutex. The position after what was read, or -1 (values read before
  // the failure stay applied).
  virtual int ReadState(const StateChunk& chunk, int pos) { return UnserializeParams(chunk, pos); }
  // Any thread, no lock: compares the live values with consecutive doubles of data from double
  // index pos. False for null data or a negative pos.
  virtual bool StateMatches(const double* data, int pos) const;
  virtual void HostReady() {} // host thread, mutex held, once, at the end of InitForHost

  // --- editor to plug-in ----------------------------------------------------------------------
  // User-interface thread; takes the mutex. Sets the parameter, tells the host, then calls
  // ParameterChanged with the editor as source; an index outside the parameters is ignored.
  virtual void SetParameterFromGUI(int paramIdx, double normalized);

  // --- plug-in to host (implemented by the adapter) -------------------------------------------
  // User-interface thread: a gesture on a control bound to paramIdx begins and ends.
  virtual void BeginParameterEdit(int paramIdx) = 0;
  // Mutex held (inside SetParameterFromGUI): the host learns the new normalised value.
  virtual void NotifyHostParameterChange(int paramIdx, double normalized) = 0;
  virtual void EndParameterEdit(int paramIdx) = 0;
  virtual void NotifyHostPresetChange() = 0;          // any thread; nothing in this system calls it
  virtual bool HostRendersOffline() { return false; } // any thread; false when unknown
  // Audio thread, mutex held (inside ProcessBlock): the host's time queries. 0 when the host
  // gives nothing valid.
  virtual int HostSamplePosition() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSignature(int* numerator, int* denominator) = 0;
  // Audio thread, mutex held: overwrites the fields of info for which the host has valid data.
  virtual void ReadTransport(TransportInfo& info) = 0;
  virtual int IdentifyHost() { return hostCode_; } // host thread, mutex held; a HostCode
  virtual int HostApi() const { return hostApi_; }
  virtual void ResizeEditor(int width, int height) = 0; // user-interface thread; takes the mutex
  virtual void InitForHost() {}                         // host thread, mutex held
  // Plug-in constructor; takes the mutex. Takes ownership of editor (null is ignored; a
  // previously attached editor is deleted), creates its back buffer, gives every parameter's
  // normalised value to the controls bound to it, keeps the editor and binds the drawing context.
  virtual void AttachEditor(IGraphics* editor);
  virtual void SetLatencySamples(int samples) { latency_ = samples; } // host thread, mutex held
  // Any thread, mutex held; true when the host took the message.
  virtual bool SendMidiMessage(const MidiMessage& msg) = 0;
  virtual bool SendSysExMessage(const SysExMessage&) { return false; }
  // Host thread; takes the mutex. Pushes every parameter's value into the editor's controls;
  // nothing without an editor.
  virtual void RefreshEditorParams();
  virtual void PresetRestored() {} // host thread, after a preset was loaded
  // Host's set-up thread, mutex held: sizes the channel scratch buffers, the only place they
  // allocate.
  virtual void ChangeBlockSize(int frames);

  // --- editor ----------------------------------------------------------------------------------
  // The attached editor, or null; every editor call of the framework is skipped without one.
  IGraphics* Editor() const { return editor_; }
  // Gives value (plain unless normalized) to the editor's controls bound to paramIdx, as the
  // editor's PushParamToControls does; nothing without an editor. Mutex held.
  void PushParamToEditor(int paramIdx, double value, bool normalized);
  static void InstallEditorEntryPoints(const EditorEntryPoints* entries);
  // User-interface thread, mutex held (the adapter's editor-open request): opens the editor's
  // window in the host's parent and returns it; null without an editor, when the editor has no
  // window of the system's, or when the window could not be made.
  void* OpenEditorWindow(void* parent);
  // Closes the editor's window; false without an editor.
  bool CloseEditorWindow();
  // The host view container the editor offers parameter presses to (not owned; null for none);
  // false without an editor.
  bool SetEditorViewContainer(IGraphicsViewContainer* container);

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
  // editor.
  void EditorSize(int* width, int* height);
  // The same without the mutex, for bridges that must not wait for the audio thread: the size as
  // the editor was attached, or as the adapter last noted it (NoteEditorSize).
  void EditorSizeWithoutLock(int* width, int* height) const {
    if (width) *width = editorWidth_.load(std::memory_order_relaxed);
    if (height) *height = editorHeight_.load(std::memory_order_relaxed);
  }
  // An adapter whose editor changes size notes the new size here (user-interface thread).
  void NoteEditorSize(int width, int height) {
    editorWidth_.store(width, std::memory_order_relaxed);
    editorHeight_.store(height, std::memory_order_relaxed);
  }
  static void InstallDrawingContextEntryPoints(const DrawingContextEntryPoints* entries);

  // --- host identification (host thread, mutex held) -------------------------------------------
  static int LookupHostCode(const char* name); // any thread; a HostCode, kHostUnknown for null
  void SetHost(const char* name, int version);
  int HostCode() const { return hostCode_; }
  int HostVersion() const { return hostVersion_; }

  // --- channels and blocks (adapter side, mutex held) -------------------------------------------
  bool LegalIO(int inputs, int outputs) const; // a negative count matches any
  void LimitExtraChannels();
  // An unconnected channel reads zeros from (or writes into) its own scratch buffer.
  void ConnectInputs(int first, int count, bool connected);
  void ConnectOutputs(int first, int count, bool connected);
  // Audio thread: each connected channel takes the next host buffer, in channel order. Nothing
  // here allocates.
  void AttachInputs(int first, int count, double** hostBuffers);
  // Copies frames samples of each connected input into its scratch buffer and hands those
  // copies on, so that the host's buffers stay untouched; frames must not exceed BlockSize().
  void CopyInputs(int first, int count, double** hostBuffers, int frames);
  // Converts frames single-precision samples per connected input into its scratch buffer;
  // frames must not exceed BlockSize() (the adapter splits longer host blocks).
  void AttachInputs(int first, int count, float** hostBuffers, int frames);
  void AttachOutputs(int first, int count, double** hostBuffers);
  void AttachOutputs(int first, int count, float** hostBuffers);
  void RunBlock(int frames);             // audio thread: double buffers attached
  void RunBlockFloat(int frames);        // audio thread: single precision, replacing
  void RunBlockAccumulating(int frames); // audio thread: single precision, adding
  // Audio thread: the bypass counterpart of RunBlockFloat, without ProcessBlock: output i takes
  // input i (zeros where there is no input record), converted into the connected outputs.
  void PassThroughBlockFloat(int frames);
  // Audio thread: every channel's scratch buffer holds zeros again.
  void ClearScratchBuffers();
  // ParameterChanged for every parameter in index order; takes no lock itself.
  void NotifyAllParameters(int source);

  // --- state and presets (host thread) ----------------------------------------------------------
  // Take the mutex. SerializeParams is false when the chunk could not grow; UnserializeParams
  // returns the position after the values read, or -1, and calls ParameterChanged for every
  // parameter either way.
  bool SerializeParams(StateChunk& chunk);
  int UnserializeParams(const StateChunk& chunk, int pos);
  static void WriteChunkHeader(StateChunk& chunk);
  // The framework version after a header at *pos (which then moves past it); 0 and *pos
  // unchanged when there is no header, 0 and *pos -1 when it is cut short.
  static int ReadChunkHeader(const StateChunk& chunk, int* pos);
  // The preset operations take no lock of their own: they reach the parameters through
  // WriteState and ReadState, which do.
  void FillDefaultPresets(const char* name, int count);
  void FillEmptyPresets();
  bool LoadPreset(int idx);              // false for an index outside the presets or a failed read
  const char* PresetName(int idx) const; // "" outside the presets
  void ModifyCurrentPreset(const char* name = nullptr);
  bool SerializePresets(StateChunk& chunk);
  int UnserializePresets(const StateChunk& chunk, int pos);

  static constexpr int32_t kChunkMagic = 0x70666674;
  static constexpr int32_t kStateVersion = 0x00010000;

  // --- accessors (read under the mutex, or from the thread that owns the value) ----------------
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
  void DisconnectInput(int ch);
  template <typename Sample>
  void CopyIntoScratch(int first, int count, Sample** hostBuffers, int frames);

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
  int32_t hostCode_ = kHostUnidentified;
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
  std::atomic<int> editorWidth_{0}, editorHeight_{0};
  char effectName_[kNameStringSize] = {};
  char productName_[kNameStringSize] = {};
  char makerName_[kNameStringSize] = {};
};
