#include "tools/aaxhost/AaxHost.h"

#include <algorithm>
#include <cstring>

#include "tools/loader/DynamicLibrary.h"

namespace zt::aaxhost {

const char* const kAcfExportNames[7] = {
    "ACFRegisterPlugin", "ACFRegisterComponent", "ACFGetClassFactory", "ACFCanUnloadNow",
    "ACFStartup",        "ACFShutdown",          "ACFGetSDKVersion"};

std::string FourChars(uint32_t id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((id >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '.';
  }
  return s;
}

// --- module
// ----------------------------------------------------------------------------------------

std::unique_ptr<AaxModule> AaxModule::Load(const std::string& path, std::string* error) {
  std::string why;
  void* library = zt::loader::OpenLibrary(path, &why);
  if (!library) {
    if (error) *error = "cannot load " + path + ": " + why;
    return nullptr;
  }
  AcfExports e;
  void* found[7] = {};
  for (int i = 0; i < 7; ++i) {
    found[i] = zt::loader::FindSymbol(library, kAcfExportNames[i]);
    if (!found[i]) {
      zt::loader::CloseLibrary(library);
      if (error) *error = path + " does not export " + kAcfExportNames[i];
      return nullptr;
    }
  }
  e.registerPlugin = reinterpret_cast<ACFRegisterPluginProc>(found[0]);
  e.registerComponent = reinterpret_cast<ACFRegisterComponentProc>(found[1]);
  e.getClassFactory = reinterpret_cast<ACFGetClassFactoryProc>(found[2]);
  e.canUnloadNow = reinterpret_cast<ACFCanUnloadNowProc>(found[3]);
  e.startup = reinterpret_cast<ACFStartupProc>(found[4]);
  e.shutdown = reinterpret_cast<ACFShutdownProc>(found[5]);
  e.getSDKVersion = reinterpret_cast<ACFGetSDKVersionProc>(found[6]);
  std::unique_ptr<AaxModule> module = FromExports(e, error);
  if (module)
    module->library_ = library;
  else
    zt::loader::CloseLibrary(library);
  return module;
}

std::unique_ptr<AaxModule> AaxModule::FromExports(const AcfExports& exports, std::string* error) {
  if (!exports.registerPlugin || !exports.registerComponent || !exports.getClassFactory ||
      !exports.canUnloadNow || !exports.startup || !exports.shutdown || !exports.getSDKVersion) {
    if (error) *error = "an export is missing";
    return nullptr;
  }
  std::unique_ptr<AaxModule> module(new AaxModule());
  module->exports_ = exports;
  module->host_ = NewHostInterface();
  if (!module->Register(error)) return nullptr;
  return module;
}

bool AaxModule::Register(std::string*) {
  startupResult_ = exports_.startup(host_);
  started_ = true;
  IACFPluginDefinition* definition = nullptr;
  registerResult_ = exports_.registerPlugin(host_, &definition);
  if (definition) {
    definitionReturned_ = true;
    definition->Release();
  }
  return true;
}

AaxModule::~AaxModule() {
  if (started_) exports_.shutdown(host_);
  if (host_) host_->Release();
  if (library_) zt::loader::CloseLibrary(library_);
}

const EffectRecord* AaxModule::Effect() const {
  return host_->description.effects.size() == 1 ? &host_->description.effects[0] : nullptr;
}

int32_t AaxModule::CanUnloadNow() const {
  return exports_.canUnloadNow(host_);
}

// --- instance
// ----------------------------------------------------------------------------------------

std::unique_ptr<AaxInstance> AaxInstance::Create(AaxModule& module, size_t component,
                                                 std::string* error, float sampleRate) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return nullptr;
  };
  const EffectRecord* effect = module.Effect();
  if (!effect) return fail("the module registered no effect");
  if (component >= effect->components.size()) return fail("the effect has no such component");
  const auto proc = effect->procs.find(kAAXProcEffectParameters);
  if (proc == effect->procs.end()) return fail("the effect has no effect-parameters procedure");
  const ComponentRecord& c = effect->components[component];

  std::unique_ptr<AaxInstance> instance(new AaxInstance());
  instance->module_ = &module;
  instance->process_ = c.process;
  instance->controller_ = new HostController();
  instance->controller_->sampleRate = sampleRate;
  instance->controller_->inputStem =
      static_cast<uint32_t>(c.Property(kAAXPropertyInputStemFormat, 0));
  instance->controller_->outputStem =
      static_cast<uint32_t>(c.Property(kAAXPropertyOutputStemFormat, 0));
  instance->controller_->transport = &instance->transport;

  instance->object_ = reinterpret_cast<AAX_CreateObjectProc>(proc->second)();
  if (!instance->object_) return fail("creation procedure 0 returned null");
  void* out = nullptr;
  if (instance->object_->QueryInterface(kIID_EffectParameters, &out) != kAAXSuccess || !out)
    return fail("the object does not answer the effect-parameters interface");
  instance->parameters_ = static_cast<AAX_IEffectParameters*>(out);
  instance->controller_->effectParameters = instance->object_;
  const AAX_Result init =
      instance->parameters_->Initialize(static_cast<AAX_IController*>(instance->controller_));
  if (init != kAAXSuccess) return fail("Initialize answered " + std::to_string(init));
  if (!instance->BuildContext(c, error)) return nullptr;
  return instance;
}

bool AaxInstance::BuildContext(const ComponentRecord& component, std::string* error) {
  for (const FieldRecord& f : component.fields) {
    switch (f.kind) {
    case FieldRecord::MidiNode:
      context_[f.index] = f.midiType == kAAXMIDINodeTransport ? &transportNode_
                          : f.midiType == kAAXMIDINodeGlobal
                              ? static_cast<AAX_IMIDINode*>(&globalMidi_)
                              : static_cast<AAX_IMIDINode*>(&midiInput);
      break;
    case FieldRecord::PrivateData: {
      privateBlocks_.emplace_back((static_cast<size_t>(f.size) + 7) / 8 + 1, 0xA5A5A5A5A5A5A5A5ull);
      privateFields_.push_back(f.index);
      void* block = privateBlocks_.back().data();
      context_[f.index] = block;
      const AAX_Result r =
          parameters_->ResetFieldData(f.index, block, static_cast<uint32_t>(f.size));
      if (r != kAAXSuccess) {
        if (error) *error = "ResetFieldData answered " + std::to_string(r);
        return false;
      }
      break;
    }
    default:
      break; // audio and length fields are set by every render call
    }
  }
  return true;
}

void* AaxInstance::PrivateBlock(AAX_CFieldIndex field) const {
  for (size_t i = 0; i < privateFields_.size(); ++i)
    if (privateFields_[i] == field) return const_cast<uint64_t*>(privateBlocks_[i].data());
  return nullptr;
}

AaxInstance::~AaxInstance() {
  CloseEditor();
  if (parameters_) {
    parameters_->Uninitialize();
    parameters_->Release();
  }
  if (object_) object_->Release();
  if (controller_) {
    controller_->effectParameters = nullptr;
    controller_->Release();
  }
}

void AaxInstance::Render(float** in, float** out, int32_t frames) {
  frames_ = frames;
  context_[0] = in;
  context_[1] = out;
  context_[3] = &frames_;
  void* contexts[1] = {context_};
  if (process_) process_(contexts, contexts + 1);
}

int32_t AaxInstance::ParameterCount() const {
  int32_t n = 0;
  parameters_->GetNumberOfParameters(&n);
  return n;
}

std::string AaxInstance::ParameterId(int32_t index) const {
  HostString s;
  parameters_->GetParameterIDFromIndex(index, &s);
  return s.text;
}

std::string AaxInstance::ParameterName(const std::string& id) const {
  HostString s;
  parameters_->GetParameterName(id.c_str(), &s);
  return s.text;
}

std::string AaxInstance::ValueString(const std::string& id, int32_t maxLength) const {
  HostString s;
  parameters_->GetParameterValueString(id.c_str(), &s, maxLength);
  return s.text;
}

double AaxInstance::NormalizedValue(const std::string& id) const {
  double v = -1.0;
  parameters_->GetParameterNormalizedValue(id.c_str(), &v);
  return v;
}

AAX_Result AaxInstance::Automate(const std::string& id, double normalized) {
  return parameters_->UpdateParameterNormalizedValue(id.c_str(), normalized,
                                                     kAAXUpdateSourceParameter);
}

int AaxInstance::DeliverPendingSets() {
  int n = 0;
  while (!controller_->pendingSets.empty()) {
    const auto [id, value] = controller_->pendingSets.front();
    controller_->pendingSets.pop_front();
    Automate(id, value);
    ++n;
  }
  return n;
}

void AaxInstance::SetMasterBypass(bool on) {
  HostString id;
  parameters_->GetMasterBypassParameter(&id);
  Automate(id.text, on ? 1.0 : 0.0);
}

std::vector<uint8_t> AaxInstance::GetChunk(AAX_CTypeID id, AAX_Result* result) {
  uint32_t size = 0;
  AAX_Result r = parameters_->GetChunkSize(id, &size);
  std::vector<uint8_t> record;
  if (r == kAAXSuccess) {
    record.assign(kAAXChunkHeaderBytes + size, 0);
    auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(record.data());
    chunk->chunkId = id;
    r = parameters_->GetChunk(id, chunk);
    if (r != kAAXSuccess || chunk->size < 0 || static_cast<uint32_t>(chunk->size) > size)
      record.clear();
    else
      record.resize(kAAXChunkHeaderBytes + static_cast<size_t>(chunk->size));
  }
  if (result) *result = r;
  return record;
}

AAX_Result AaxInstance::SetChunk(AAX_CTypeID id, const std::vector<uint8_t>& record) {
  // A copy the module reads from and which is scribbled over afterwards, so that a module
  // keeping the pointer instead of the bytes reads garbage.
  std::vector<uint8_t> copy(record);
  copy.resize(std::max(copy.size(), sizeof(AAX_SPlugInChunk)));
  const AAX_Result r = parameters_->SetChunk(id, reinterpret_cast<AAX_SPlugInChunk*>(copy.data()));
  std::fill(copy.begin(), copy.end(), 0xEE);
  return r;
}

AAX_Result AaxInstance::CompareChunk(const std::vector<uint8_t>& record, bool* equal) {
  std::vector<uint8_t> copy(record);
  copy.resize(std::max(copy.size(), sizeof(AAX_SPlugInChunk)));
  return parameters_->CompareActiveChunk(reinterpret_cast<AAX_SPlugInChunk*>(copy.data()), equal);
}

bool AaxInstance::OpenEditor(void* parent) {
  CloseEditor();
  const EffectRecord* effect = module_->Effect();
  if (!effect) return false;
  const auto proc = effect->procs.find(kAAXProcEffectGUI);
  if (proc == effect->procs.end()) return false;
  IACFUnknown* object = reinterpret_cast<AAX_CreateObjectProc>(proc->second)();
  if (!object) return false;
  void* out = nullptr;
  const AAX_Result q = object->QueryInterface(kIID_EffectGUI, &out);
  object->Release();
  if (q != kAAXSuccess || !out) return false;
  gui_ = static_cast<AAX_IEffectGUI*>(out);
  if (gui_->Initialize(static_cast<AAX_IController*>(controller_)) != kAAXSuccess) return false;
  view_ = new HostViewContainer();
  view_->parent = parent;
  return gui_->SetViewContainer(view_) == kAAXSuccess;
}

void AaxInstance::CloseEditor() {
  if (gui_) {
    gui_->SetViewContainer(nullptr);
    gui_->Uninitialize();
    gui_->Release();
    gui_ = nullptr;
  }
  if (view_) {
    view_->Release();
    view_ = nullptr;
  }
}

AAX_Point AaxInstance::ViewSize() const {
  AAX_Point p{-1.0f, -1.0f};
  if (gui_) gui_->GetViewSize(&p);
  return p;
}

} // namespace zt::aaxhost
