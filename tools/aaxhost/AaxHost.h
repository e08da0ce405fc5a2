#pragma once
// A small AAX host: loads a module, registers it and keeps its description, creates instances of
// its effect with the render context of a component, renders blocks against a transport the
// caller moves, delivers parameter values as a host's automation does, exchanges chunks and
// shows the editor in a view container. Used by tests and by zt-aaxhost.
//
// Every call goes to the module as a host would make it; results are passed back, not judged,
// so that tests can see how a module answers bad requests. The raw interfaces are reachable for
// requests this class does not model.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iplug/aax/support/AAX_Interfaces.h"
#include "tools/aaxhost/HostObjects.h"

namespace zt::aaxhost {

// The seven exports of a module.
struct AcfExports {
  ACFRegisterPluginProc registerPlugin = nullptr;
  ACFRegisterComponentProc registerComponent = nullptr;
  ACFGetClassFactoryProc getClassFactory = nullptr;
  ACFCanUnloadNowProc canUnloadNow = nullptr;
  ACFStartupProc startup = nullptr;
  ACFShutdownProc shutdown = nullptr;
  ACFGetSDKVersionProc getSDKVersion = nullptr;
};

// The export names, in the order of AcfExports.
extern const char* const kAcfExportNames[7];

class AaxModule {
public:
  // Loads the file, finds the seven exports, calls ACFStartup and ACFRegisterPlugin. Null with a
  // one-line *error for a file that cannot be loaded or misses an export; a module whose
  // registration fails is returned, with RegisterResult() telling why.
  static std::unique_ptr<AaxModule> Load(const std::string& path, std::string* error);
  // The same for exports linked into this program (a module built into a test).
  static std::unique_ptr<AaxModule> FromExports(const AcfExports& exports, std::string* error);
  // Calls ACFShutdown and unloads. Release every instance first.
  ~AaxModule();
  AaxModule(const AaxModule&) = delete;
  AaxModule& operator=(const AaxModule&) = delete;

  const AcfExports& Exports() const { return exports_; }
  AAX_Result StartupResult() const { return startupResult_; }
  AAX_Result RegisterResult() const { return registerResult_; }
  bool DefinitionReturned() const { return definitionReturned_; }
  const DescriptionRecord& Description() const { return host_->description; }
  // The one effect the module added, or null.
  const EffectRecord* Effect() const;
  int32_t CanUnloadNow() const;
  HostInterface& Host() { return *host_; }

private:
  AaxModule() = default;
  bool Register(std::string* error);

  void* library_ = nullptr;
  AcfExports exports_;
  HostInterface* host_ = nullptr; // one reference, released after shutdown
  AAX_Result startupResult_ = 0, registerResult_ = 0;
  bool definitionReturned_ = false;
  bool started_ = false;
};

// One instance of the module's effect with the render context of one component.
class AaxInstance {
public:
  // Creation procedure 0, the effect-parameters interface, Initialize with this host's
  // controller, then the render context: buffers for the audio fields and a block per private
  // field, initialised through ResetFieldData. Null with a one-line *error when the module
  // offers no such component or refuses a step.
  static std::unique_ptr<AaxInstance> Create(AaxModule& module, size_t component,
                                             std::string* error, float sampleRate = 48000.0f);
  ~AaxInstance(); // closes the editor, Uninitialize, Release
  AaxInstance(const AaxInstance&) = delete;
  AaxInstance& operator=(const AaxInstance&) = delete;

  AAX_IEffectParameters* Parameters() const { return parameters_; }
  HostController& Controller() { return *controller_; }
  HostTransport transport;
  HostMIDINode midiInput;
  int Inputs() const { return static_cast<int>(controller_->inputStem & 0xFFFF); }
  int Outputs() const { return static_cast<int>(controller_->outputStem & 0xFFFF); }
  // The render context as the module sees it (ten 8-byte fields).
  void** Context() { return context_; }
  // The private block of a field, or null.
  void* PrivateBlock(AAX_CFieldIndex field) const;

  // One render call: in and out hold Inputs() and Outputs() channel pointers. The transport
  // does not move; the caller advances it.
  void Render(float** in, float** out, int32_t frames);

  // Host side of parameters.
  int32_t ParameterCount() const;
  std::string ParameterId(int32_t index) const;
  std::string ParameterName(const std::string& id) const;
  std::string ValueString(const std::string& id, int32_t maxLength = 64) const;
  double NormalizedValue(const std::string& id) const;
  // The host delivers a value (automation playback): UpdateParameterNormalizedValue.
  AAX_Result Automate(const std::string& id, double normalized);
  // The host answers the set requests the module posted, in order; returns how many.
  int DeliverPendingSets();
  void SetMasterBypass(bool on);

  // Chunks: the module's one chunk as a whole record (header and data).
  std::vector<uint8_t> GetChunk(AAX_CTypeID id, AAX_Result* result = nullptr);
  AAX_Result SetChunk(AAX_CTypeID id, const std::vector<uint8_t>& record);
  AAX_Result CompareChunk(const std::vector<uint8_t>& record, bool* equal);

  // The editor: creation procedure 1, Initialize, SetViewContainer with a container whose
  // native parent is `parent` (null: headless). False when a step failed.
  bool OpenEditor(void* parent);
  void CloseEditor(); // SetViewContainer(null), Uninitialize, Release
  AAX_IEffectGUI* Editor() const { return gui_; }
  HostViewContainer* View() const { return view_; }
  AAX_Point ViewSize() const; // GetViewSize from {-1, -1}

private:
  AaxInstance() = default;
  bool BuildContext(const ComponentRecord& component, std::string* error);

  AaxModule* module_ = nullptr;
  AAX_CProcessProc process_ = nullptr;
  IACFUnknown* object_ = nullptr;               // from creation procedure 0
  AAX_IEffectParameters* parameters_ = nullptr; // one reference
  HostController* controller_ = nullptr;        // one reference
  AAX_IEffectGUI* gui_ = nullptr;
  HostViewContainer* view_ = nullptr;
  void* context_[16] = {};
  std::vector<std::vector<uint64_t>> privateBlocks_;
  std::vector<AAX_CFieldIndex> privateFields_;
  int32_t frames_ = 0;
  HostMIDINode transportNode_{&transport};
  HostMIDINode globalMidi_;
};

// Four characters of a type ID, '.' for unprintable ones.
std::string FourChars(uint32_t id);

} // namespace zt::aaxhost
