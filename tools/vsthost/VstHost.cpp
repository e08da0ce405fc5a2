#include "tools/vsthost/VstHost.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/loader/DynamicLibrary.h"

namespace {

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

// Live instances by effect record. Lock-free, so the host callback on the audio thread takes no
// mutex; the plug-in's own `user` field is not trusted to point back at us.
std::atomic<VstEffect*> gEffects[VstPlugin::kMaxInstances];
std::atomic<VstPlugin*> gPlugins[VstPlugin::kMaxInstances];
std::atomic<size_t> gHighWater{0};

// The instance whose entry call is running on this thread: plug-ins call back before their
// record is known to us (often with a null effect).
thread_local VstPlugin* tPending = nullptr;

void CopyText(void* ptr, const std::string& text, size_t size) {
  if (!ptr || size == 0) return;
  const size_t n = std::min(text.size(), size - 1);
  memcpy(ptr, text.data(), n);
  static_cast<char*>(ptr)[n] = '\0';
}

constexpr size_t kTextBuffer = 256;
// The interface's bound for host vendor strings; product strings get the 256 bytes that our
// adapter provides.
constexpr size_t kHostVendorSize = 64;

} // namespace

// ---------------------------------------------------------------------------------------------
// HostTransport

void HostTransport::Advance(int frames) {
  samplePos += frames;
  if (sampleRate > 0.0) ppqPos += frames * tempo / (60.0 * sampleRate);
  if (numerator > 0 && denominator > 0) {
    const double bar = numerator * 4.0 / denominator;
    barStartPos = std::floor(ppqPos / bar) * bar;
  }
}

void HostTransport::Fill(VstTimeInfo& info) const {
  info = VstTimeInfo{};
  info.samplePos = samplePos;
  info.sampleRate = sampleRate;
  info.ppqPos = ppqPos;
  info.tempo = tempo;
  info.barStartPos = barStartPos;
  info.cycleStartPos = cycleStart;
  info.cycleEndPos = cycleEnd;
  info.timeSigNumerator = numerator;
  info.timeSigDenominator = denominator;
  info.flags = validFlags | (playing ? kVstTransportPlaying : 0) |
               (cycleActive ? kVstTransportCycleActive : 0) |
               (recording ? kVstTransportRecording : 0);
}

// ---------------------------------------------------------------------------------------------
// VstModule

std::unique_ptr<VstModule> VstModule::Load(const std::string& path, std::string* error) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) {
    SetError(error, "no such file: " + path);
    return nullptr;
  }
  if (std::filesystem::is_directory(path, ec)) {
    SetError(error, path + " is a directory, not a VST2 module");
    return nullptr;
  }
  std::string why;
  void* handle = zt::loader::OpenLibrary(path, &why);
  if (!handle) {
    SetError(error, "cannot load " + path + ": " + why);
    return nullptr;
  }
  std::unique_ptr<VstModule> module(new VstModule);
  module->handle_ = handle;
  module->path_ = path;
  for (const char* name : {"VSTPluginMain", "main"}) {
    if (void* symbol = zt::loader::FindSymbol(handle, name)) {
      module->entry_ = reinterpret_cast<VstEntryProc>(symbol);
      module->entryName_ = name;
      return module;
    }
  }
  SetError(error, path + " is no VST2 module: it exports neither VSTPluginMain nor main");
  return nullptr; // the destructor unloads it
}

VstModule::~VstModule() {
  zt::loader::CloseLibrary(handle_);
}

// ---------------------------------------------------------------------------------------------
// VstPlugin: creation and registry

VstPlugin::VstPlugin() {
  calls.reserve(kReservedCalls);
  midiOut.reserve(kReservedMidi);
}

std::unique_ptr<VstPlugin> VstPlugin::Create(VstModule& module, std::string* error) {
  VstEntryProc entry = module.Entry();
  if (!entry) {
    SetError(error, "the module has no entry point");
    return nullptr;
  }
  std::unique_ptr<VstPlugin> plugin(new VstPlugin);
  VstPlugin* const outer = tPending; // a plug-in may create another while being created
  tPending = plugin.get();
  VstEffect* effect = entry(&VstPlugin::HostCallback);
  tPending = outer;

  const std::string where = module.EntryName() + " of " + module.Path();
  if (!effect) {
    SetError(error, where + " created no effect (null record)");
    return nullptr;
  }
  if (effect->magic != kVstMagic) {
    char text[64];
    snprintf(text, sizeof text, "wrong magic 0x%08x (expected 0x%08x)",
             static_cast<uint32_t>(effect->magic), static_cast<uint32_t>(kVstMagic));
    SetError(error, where + " returned a record with " + text);
    return nullptr;
  }
  if (!effect->dispatcher) {
    SetError(error, where + " returned a record without a dispatcher");
    return nullptr;
  }
  if (Find(effect)) {
    SetError(error, where + " returned the record of an instance that is already open");
    return nullptr;
  }
  plugin->effect_ = effect;
  plugin->Register();
  if (plugin->slot_ < 0) {
    // Not ours to keep open without a way to answer it.
    effect->dispatcher(effect, kEffClose, 0, 0, nullptr, 0.0f);
    plugin->effect_ = nullptr;
    SetError(error, "too many open instances (" + std::to_string(kMaxInstances) + ")");
    return nullptr;
  }
  return plugin;
}

VstPlugin::~VstPlugin() {
  Close();
}

void VstPlugin::Register() {
  for (size_t i = 0; i < kMaxInstances; ++i) {
    VstPlugin* none = nullptr;
    if (gPlugins[i].compare_exchange_strong(none, this)) {
      gEffects[i].store(effect_, std::memory_order_release);
      size_t high = gHighWater.load();
      while (high < i + 1 && !gHighWater.compare_exchange_weak(high, i + 1)) {
      }
      slot_ = static_cast<int>(i);
      return;
    }
  }
}

void VstPlugin::Unregister() {
  if (slot_ < 0) return;
  gEffects[slot_].store(nullptr, std::memory_order_release);
  gPlugins[slot_].store(nullptr, std::memory_order_release);
  slot_ = -1;
}

VstPlugin* VstPlugin::Find(VstEffect* effect) {
  if (!effect) return nullptr;
  const size_t high = gHighWater.load(std::memory_order_acquire);
  for (size_t i = 0; i < high; ++i)
    if (gEffects[i].load(std::memory_order_acquire) == effect)
      return gPlugins[i].load(std::memory_order_acquire);
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// VstPlugin: the host callback

intptr_t VST_CALL VstPlugin::HostCallback(VstEffect* effect, int32_t opcode, int32_t index,
                                          intptr_t value, void* ptr, float opt) {
  VstPlugin* plugin = Find(effect);
  if (!plugin) plugin = tPending;
  if (!plugin) {
    // A call we cannot place (another thread during creation, or after close): answer what
    // needs no instance.
    switch (opcode) {
    case kHostVersion:
      return kVstVersion;
    default:
      return 0;
    }
  }
  return plugin->Answer(opcode, index, value, ptr, opt);
}

void VstPlugin::Record(const HostCall& call) {
  while (recordBusy_.test_and_set(std::memory_order_acquire)) {
  }
  if (recordCalls) calls.push_back(call);
  recordBusy_.clear(std::memory_order_release);
}

void VstPlugin::RecordEvents(const VstEventList* list) {
  if (!list || list->numEvents <= 0) return;
  while (recordBusy_.test_and_set(std::memory_order_acquire)) {
  }
  for (int32_t i = 0; i < list->numEvents; ++i) {
    const VstEvent* event = list->events[i];
    if (!event) continue;
    HostMidiEvent out{event->type, event->deltaFrames, {0, 0, 0}, {}};
    if (event->type == kVstMidiType) {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
      memcpy(out.data, midi->midiData, 3);
    } else if (event->type == kVstSysExType) {
      const auto* sysex = reinterpret_cast<const VstSysExEvent*>(event);
      if (sysex->sysexDump && sysex->dumpBytes > 0)
        out.sysex.assign(sysex->sysexDump, sysex->sysexDump + sysex->dumpBytes);
    } else {
      continue;
    }
    midiOut.push_back(std::move(out));
  }
  recordBusy_.clear(std::memory_order_release);
}

intptr_t VstPlugin::Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  Record({opcode, index, value, opt});
  switch (opcode) {
  case kHostAutomate:
  case kHostUpdateDisplay:
  case kHostBeginEdit:
  case kHostEndEdit:
    return 1;
  case kHostVersion:
    return kVstVersion;
  case kHostWantMidi:
    return 1;
  case kHostGetTime:
    if (transport.answerNull) return 0;
    transport.Fill(timeInfo_);
    return reinterpret_cast<intptr_t>(&timeInfo_);
  case kHostProcessEvents:
    RecordEvents(static_cast<const VstEventList*>(ptr));
    return 1;
  case kHostIoChanged:
    return 1; // the counts are read from the record on every call
  case kHostGetSampleRate:
    return static_cast<intptr_t>(transport.sampleRate);
  case kHostGetBlockSize:
    return blockSize_;
  case kHostGetCurrentProcessLevel:
    if (offline) return kVstProcessLevelOffline;
    return processDepth_.load() > 0 ? 2 : 1; // real-time inside a process call, else user
  case kHostGetVendorString:
    CopyText(ptr, hostVendorName, kHostVendorSize);
    return ptr ? 1 : 0;
  case kHostGetProductString:
    CopyText(ptr, hostProductName, kVstHostStringSize);
    return ptr ? 1 : 0;
  case kHostGetVendorVersion:
    return hostVersion;
  case kHostCanDo: {
    const char* what = static_cast<const char*>(ptr);
    if (!what) return 0;
    for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                            "receiveVstEvents", "receiveVstMidiEvent"})
      if (strcmp(what, yes) == 0) return 1;
    return 0;
  }
  default:
    return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// VstPlugin: dispatcher helpers

intptr_t VstPlugin::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  if (!effect_) return 0;
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void VstPlugin::Open() {
  Dispatch(kEffOpen);
}

void VstPlugin::Close() {
  if (!effect_) return;
  // Still registered while closing: a plug-in may call back from its destructor.
  effect_->dispatcher(effect_, kEffClose, 0, 0, nullptr, 0.0f);
  effect_ = nullptr;
  Unregister();
}

void VstPlugin::SetSampleRate(double rate) {
  transport.sampleRate = rate;
  Dispatch(kEffSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void VstPlugin::SetBlockSize(int frames) {
  blockSize_ = frames;
  Dispatch(kEffSetBlockSize, 0, frames);
}

void VstPlugin::Resume() {
  Dispatch(kEffMainsChanged, 0, 1);
}

void VstPlugin::Suspend() {
  Dispatch(kEffMainsChanged, 0, 0);
}

std::string VstPlugin::Text(int32_t opcode, int32_t index) {
  char buffer[kTextBuffer + 1] = {};
  Dispatch(opcode, index, 0, buffer);
  buffer[kTextBuffer] = '\0';
  return buffer;
}

std::string VstPlugin::EffectName() {
  return Text(kEffGetEffectName, 0);
}
std::string VstPlugin::VendorString() {
  return Text(kEffGetVendorString, 0);
}
std::string VstPlugin::ProductString() {
  return Text(kEffGetProductString, 0);
}
std::string VstPlugin::ProgramName() {
  return Text(kEffGetProgramName, 0);
}
std::string VstPlugin::ParamName(int i) {
  return Text(kEffGetParamName, i);
}
std::string VstPlugin::ParamLabel(int i) {
  return Text(kEffGetParamLabel, i);
}
std::string VstPlugin::ParamDisplay(int i) {
  return Text(kEffGetParamDisplay, i);
}

intptr_t VstPlugin::VendorVersion() {
  return Dispatch(kEffGetVendorVersion);
}

intptr_t VstPlugin::CanDo(const char* what) {
  if (!what) return Dispatch(kEffCanDo);
  std::string copy(what);
  return Dispatch(kEffCanDo, 0, 0, copy.data());
}

int VstPlugin::NumParams() {
  return effect_ ? effect_->numParams : 0;
}
int VstPlugin::NumInputs() {
  return effect_ ? effect_->numInputs : 0;
}
int VstPlugin::NumOutputs() {
  return effect_ ? effect_->numOutputs : 0;
}
int VstPlugin::NumPrograms() {
  return effect_ ? effect_->numPrograms : 0;
}
int32_t VstPlugin::Flags() {
  return effect_ ? effect_->flags : 0;
}
int32_t VstPlugin::UniqueId() {
  return effect_ ? effect_->uniqueId : 0;
}
int32_t VstPlugin::Version() {
  return effect_ ? effect_->version : 0;
}
int32_t VstPlugin::InitialDelay() {
  return effect_ ? effect_->initialDelay : 0;
}

float VstPlugin::GetParameter(int i) {
  if (!effect_ || !effect_->getParameter) return 0.0f;
  return effect_->getParameter(effect_, i);
}

void VstPlugin::SetParameter(int i, float v) {
  if (effect_ && effect_->setParameter) effect_->setParameter(effect_, i, v);
}

intptr_t VstPlugin::SetParameterText(int i, const char* text) {
  if (!text) return Dispatch(kEffString2Parameter, i);
  std::string copy(text);
  return Dispatch(kEffString2Parameter, i, 0, copy.data());
}

std::vector<uint8_t> VstPlugin::GetChunk(bool program, intptr_t* result) {
  void* data = nullptr;
  const intptr_t n = Dispatch(kEffGetChunk, program ? 1 : 0, 0, &data);
  if (result) *result = n;
  if (n <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + n);
}

intptr_t VstPlugin::SetChunk(const std::vector<uint8_t>& data, bool program) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[data.empty() ? 1 : data.size()]);
  if (!data.empty()) memcpy(copy.get(), data.data(), data.size());
  const intptr_t r =
      Dispatch(kEffSetChunk, program ? 1 : 0, static_cast<intptr_t>(data.size()), copy.get());
  memset(copy.get(), 0xEE, data.empty() ? 1 : data.size());
  return r;
}

intptr_t VstPlugin::SendMidi(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2) {
  VstMidiEvent midi{};
  midi.type = kVstMidiType;
  midi.byteSize = sizeof(VstMidiEvent);
  midi.deltaFrames = deltaFrames;
  midi.midiData[0] = status;
  midi.midiData[1] = data1;
  midi.midiData[2] = data2;
  VstEventList list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&midi);
  return Dispatch(kEffProcessEvents, 0, 0, &list);
}

// ---------------------------------------------------------------------------------------------
// VstPlugin: audio

bool VstPlugin::ProcessReplacing(float** in, float** out, int frames) {
  if (!effect_) return false;
  if (!effect_->processReplacing) {
    if (!effect_->process) return false;
    for (int c = 0; c < effect_->numOutputs; ++c)
      if (out && out[c]) memset(out[c], 0, sizeof(float) * static_cast<size_t>(frames));
    return ProcessAccumulating(in, out, frames);
  }
  processDepth_.fetch_add(1);
  effect_->processReplacing(effect_, in, out, frames);
  processDepth_.fetch_sub(1);
  return true;
}

bool VstPlugin::ProcessAccumulating(float** in, float** out, int frames) {
  if (!effect_ || !effect_->process) return false;
  processDepth_.fetch_add(1);
  effect_->process(effect_, in, out, frames);
  processDepth_.fetch_sub(1);
  return true;
}

bool VstPlugin::ProcessDouble(double** in, double** out, int frames) {
  if (!effect_ || !effect_->processDoubleReplacing) return false;
  processDepth_.fetch_add(1);
  effect_->processDoubleReplacing(effect_, in, out, frames);
  processDepth_.fetch_sub(1);
  return true;
}

// ---------------------------------------------------------------------------------------------

int VstPlugin::CountCalls(int32_t opcode) const {
  int n = 0;
  for (const HostCall& call : calls)
    n += call.opcode == opcode;
  return n;
}

void VstPlugin::ClearRecords() {
  while (recordBusy_.test_and_set(std::memory_order_acquire)) {
  }
  calls.clear();
  midiOut.clear();
  recordBusy_.clear(std::memory_order_release);
}
