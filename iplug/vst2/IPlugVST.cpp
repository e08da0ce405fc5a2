#include "iplug/vst2/IPlugVST.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "iplug/vst2/vst2_vendor.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr intptr_t kIdentifyAnswer = 0x4E764566; // "NvEf"
constexpr size_t kHostTextLimit = 256;           // longest host text we read, NUL included

int32_t ArrangementType(int channels) {
  switch (channels) {
  case 0:
    return kSpeakerArrEmpty;
  case 1:
    return kSpeakerArrMono;
  case 2:
    return kSpeakerArrStereo;
  default:
    return kSpeakerArrUserDefined;
  }
}

IPlugVST* Instance(VstEffect* effect) {
  return effect ? static_cast<IPlugVST*>(effect->object) : nullptr;
}

// A host text copied into our own terminated buffer, so that nothing reads past an
// unterminated host string further than the limit.
struct HostText {
  explicit HostText(const char* src) { CopyBounded(text, sizeof text, src); }
  char text[kHostTextLimit];
};

// A name into the host's buffer of the interface's size: 1, or 0 without a buffer.
intptr_t CopyName(char* hostBuffer, size_t size, const char* name) {
  if (!hostBuffer) return 0;
  CopyBounded(hostBuffer, size, name);
  return 1;
}

// Every input is its channel's output buffer (the host processes in place).
bool InPlace(double** inputs, double** outputs, int nIn, int nOut) {
  if (nIn > nOut) return false;
  for (int i = 0; i < nIn; ++i)
    if (inputs[i] != outputs[i]) return false;
  return true;
}

// An event record of the host's interface with every field 0 but its type, size and offset.
template <typename Event> Event NewEvent(int32_t type, int32_t deltaFrames) {
  Event ev;
  memset(&ev, 0, sizeof ev);
  ev.type = type;
  ev.byteSize = sizeof ev;
  ev.deltaFrames = deltaFrames;
  return ev;
}

template <typename T> bool AllNonNull(T** buffers, int count) {
  if (count <= 0) return true;
  if (!buffers) return false;
  for (int i = 0; i < count; ++i)
    if (!buffers[i]) return false;
  return true;
}

} // namespace

std::recursive_mutex& VSTConstructionLock() {
  static std::recursive_mutex lock; // thread-safe initialisation, destroyed at unload
  return lock;
}

IPlugVST::IPlugVST(IPlugInstanceInfo info, PluginConfig config)
    : IPlugBase([&] {
        config.hostApi = 0; // VST2
        return config;
      }()),
      host_(info.hostCallback) {
  memset(&effect_, 0, sizeof effect_);
  effect_.magic = kVstMagic;
  effect_.dispatcher = &IPlugVST::VSTDispatcher;
  effect_.process = &IPlugVST::VSTProcess;
  effect_.setParameter = &IPlugVST::VSTSetParameter;
  effect_.getParameter = &IPlugVST::VSTGetParameter;
  effect_.numPrograms = config.presetCount;
  effect_.numParams = NParams();
  effect_.numInputs = NInChannels();
  effect_.numOutputs = NOutChannels();
  int32_t flags = kEffFlagsCanReplacing | kEffFlagsCanDoubleReplacing;
  if (DoesChunks()) flags |= kEffFlagsProgramChunks;
  if (LegalIO(1, -1)) flags |= kEffFlagsCanMono;
  if (IsInstrument()) flags |= kEffFlagsIsSynth;
  effect_.flags = flags; // kEffFlagsHasEditor joins when an editor is attached
  effect_.initialDelay = Latency();
  effect_.ioRatio = 1.0f;
  effect_.object = this;
  effect_.uniqueId = UniqueId();
  effect_.version = VersionNumber(true);
  effect_.processReplacing = &IPlugVST::VSTProcessReplacing;
  effect_.processDoubleReplacing = &IPlugVST::VSTProcessDoubleReplacing;

  memset(&inArrangement_, 0, sizeof inArrangement_);
  memset(&outArrangement_, 0, sizeof outArrangement_);
  inArrangement_.type = ArrangementType(NInChannels());
  inArrangement_.numChannels = NInChannels();
  outArrangement_.type = ArrangementType(NOutChannels());
  outArrangement_.numChannels = NOutChannels();

  sliceF_.Size(NInChannels(), NOutChannels());
  sliceD_.Size(NInChannels(), NOutChannels());

  ConnectInputs(0, NInChannels(), true);
  ConnectOutputs(0, NOutChannels(), true);
  ChangeBlockSize(1024);
}

IPlugVST::~IPlugVST() = default;

VstEffect* IPlugVST::FinishCreation() {
  FillEmptyPresets();
  if (effect_.numPrograms <= 0) effect_.numPrograms = 1;
  return &effect_;
}

// --- towards the host -----------------------------------------------------------------------

intptr_t IPlugVST::HostCall(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  return host_ ? host_(&effect_, opcode, index, value, ptr, opt) : 0;
}

const VstTimeInfo* IPlugVST::HostTimeInfo(int32_t mask) {
  return reinterpret_cast<const VstTimeInfo*>(HostCall(kHostGetTime, 0, mask));
}

void IPlugVST::BeginParameterEdit(int paramIdx) {
  HostCall(kHostBeginEdit, paramIdx);
}

void IPlugVST::NotifyHostParameterChange(int paramIdx, double normalized) {
  HostCall(kHostAutomate, paramIdx, 0, nullptr, static_cast<float>(normalized));
}

void IPlugVST::EndParameterEdit(int paramIdx) {
  HostCall(kHostEndEdit, paramIdx);
}

void IPlugVST::NotifyHostPresetChange() {
  HostCall(kHostUpdateDisplay);
}

bool IPlugVST::HostRendersOffline() {
  return HostCall(kHostGetCurrentProcessLevel) == kVstProcessLevelOffline;
}

int IPlugVST::HostSamplePosition() {
  const VstTimeInfo* t = HostTimeInfo(0);
  if (!t || !(t->samplePos >= 0.0)) return 0;
  const double rounded = t->samplePos + 0.5;
  // Past INT_MAX samples (half a day at 48 kHz) the position saturates instead of overflowing.
  return rounded < static_cast<double>(INT_MAX) ? static_cast<int>(rounded) : INT_MAX;
}

double IPlugVST::HostTempo() {
  const VstTimeInfo* t = HostTimeInfo(kVstTempoValid);
  if (t && (t->flags & kVstTempoValid) && t->tempo >= 0.0) return t->tempo;
  return 0.0;
}

void IPlugVST::HostTimeSignature(int* numerator, int* denominator) {
  int num = 0, den = 0;
  const VstTimeInfo* t = HostTimeInfo(kVstTimeSigValid);
  if (t && (t->flags & kVstTimeSigValid) && t->timeSigNumerator >= 0 &&
      t->timeSigDenominator >= 0) {
    num = t->timeSigNumerator;
    den = t->timeSigDenominator;
  }
  if (numerator) *numerator = num;
  if (denominator) *denominator = den;
}

void IPlugVST::ReadTransport(TransportInfo& info) {
  const VstTimeInfo* t = HostTimeInfo(kVstTimeMaskAll);
  if (!t || !(t->flags & kVstTimeMaskAll)) return;
  const int32_t f = t->flags;
  info.samplePos = t->samplePos;
  if ((f & kVstPpqPosValid) && t->ppqPos >= 0.0) info.ppqPos = t->ppqPos;
  if ((f & kVstTempoValid) && t->tempo > 0.0) info.tempo = t->tempo;
  if ((f & kVstBarsValid) && t->barStartPos >= 0.0) info.lastBarPos = t->barStartPos;
  if ((f & kVstCyclePosValid) && t->cycleStartPos >= 0.0 && t->cycleEndPos >= 0.0) {
    info.cycleStart = t->cycleStartPos;
    info.cycleEnd = t->cycleEndPos;
  }
  if ((f & kVstTimeSigValid) && t->timeSigNumerator > 0 && t->timeSigDenominator > 0) {
    info.numerator = t->timeSigNumerator;
    info.denominator = t->timeSigDenominator;
  }
  info.playing = (f & kVstTransportPlaying) != 0;
  info.cycleActive = (f & kVstTransportCycleActive) != 0;
}

int IPlugVST::IdentifyHost() {
  if (HostCode() != kHostUnidentified) return HostCode();
  char name[kVstHostStringSize] = {};
  HostCall(kHostGetProductString, 0, 0, name);
  name[sizeof name - 1] = '\0'; // the host may fill the whole buffer
  int version = 0;
  if (name[0]) {
    // Unsigned 64-bit arithmetic: a host may answer anything up to INTPTR_MAX, and the packed
    // form keeps the low 32 bits of what the decimal fields give.
    const intptr_t answer = HostCall(kHostGetVendorVersion);
    const uint64_t d = answer > 0 ? static_cast<uint64_t>(answer) : 0;
    const uint64_t major = d / 10000, minor = (d % 10000) / 100, patch = d % 100;
    version = static_cast<int>(static_cast<uint32_t>(major * 65536 + minor * 256 + patch));
  }
  SetHost(name, version);
  return HostCode();
}

void IPlugVST::AttachEditor(IGraphics* editor) {
  if (!editor) return;
  Lock lock(Mutex());
  IPlugBase::AttachEditor(editor);
  if (!Editor()) return;
  effect_.flags |= kEffFlagsHasEditor;
  int w = 0, h = 0;
  EditorSize(&w, &h);
  SetEditorRect(w, h);
}

// The interface's rectangle holds int16: a size beyond that is cut, not wrapped.
void IPlugVST::SetEditorRect(int width, int height) {
  editorRect_ = {0, 0, static_cast<int16_t>(std::clamp(height, 0, INT16_MAX)),
                 static_cast<int16_t>(std::clamp(width, 0, INT16_MAX))};
}

void IPlugVST::ResizeEditor(int width, int height) {
  Lock lock(Mutex());
  if (!Editor()) return;
  SetEditorRect(width, height);
  BindDrawingContext();
}

void IPlugVST::InitForHost() {
  if (hostSetUp_) return;
  hostSetUp_ = true;
  const int code = IdentifyHost();
  if (code == kHostForte || code == kHostAudition || code == kHostOrion || code == kHostSawStudio)
    LimitExtraChannels();
  effect_.numInputs = inArrangement_.numChannels = NInChannels();
  effect_.numOutputs = outArrangement_.numChannels = NOutChannels();
  HostReady();
}

void IPlugVST::SetLatencySamples(int samples) {
  effect_.initialDelay = samples;
  IPlugBase::SetLatencySamples(samples);
}

// One event to the host, in a list of one; true when the host took it.
bool IPlugVST::SendEvent(VstEvent* event) {
  VstEventList list;
  memset(&list, 0, sizeof list);
  list.numEvents = 1;
  list.events[0] = event;
  return HostCall(kHostProcessEvents, 0, 0, &list) == 1;
}

bool IPlugVST::SendMidiMessage(const MidiMessage& msg) {
  auto ev = NewEvent<VstMidiEvent>(kVstMidiType, msg.offset);
  ev.midiData[0] = msg.status;
  ev.midiData[1] = msg.data1;
  ev.midiData[2] = msg.data2;
  return SendEvent(reinterpret_cast<VstEvent*>(&ev));
}

bool IPlugVST::SendSysExMessage(const SysExMessage& msg) {
  auto ev = NewEvent<VstSysExEvent>(kVstSysExType, msg.offset);
  ev.dumpBytes = msg.size;
  ev.sysexDump = const_cast<uint8_t*>(msg.data);
  return SendEvent(reinterpret_cast<VstEvent*>(&ev));
}

// --- dispatcher -------------------------------------------------------------------------------

intptr_t VST_CALL IPlugVST::VSTDispatcher(VstEffect* effect, int32_t opcode, int32_t index,
                                          intptr_t value, void* ptr, float opt) {
  IPlugVST* plug = Instance(effect);
  if (!plug) return 0;
  if (opcode == kEffClose) {
    { Lock lock(plug->Mutex()); }
    delete plug; // the host calls nothing of this instance from now on
    return 0;
  }
  try {
    Lock lock(plug->Mutex());
    return plug->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0; // an exception must not unwind into the host
  }
}

intptr_t IPlugVST::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
  case kEffOpen:
    InitForHost();
    NotifyAllParameters(kSourceOpen);
    return 0;

  case kEffSetProgram:
    if (!DoesChunks()) ModifyCurrentPreset();
    LoadPreset(value >= 0 && value <= INT_MAX ? static_cast<int>(value) : -1);
    return 0;
  case kEffGetProgram:
    return CurrentPreset();
  case kEffSetProgramName:
    if (text) {
      HostText name(text);
      ModifyCurrentPreset(name.text);
      PresetRestored();
    }
    return 0;
  case kEffGetProgramName:
    if (text) CopyBounded(text, kVstProgramNameSize, PresetName(CurrentPreset()));
    return 0;
  case kEffGetProgramNameIndexed:
    if (!text) return 0;
    CopyBounded(text, kVstProgramNameSize, PresetName(index));
    return text[0] ? 1 : 0;

  case kEffGetParamLabel:
    if (const IPlugParam* p = GetParam(index); p && text)
      CopyBounded(text, kVstParamStringSize, p->ParamLabel());
    return 0;
  case kEffGetParamDisplay:
    if (const IPlugParam* p = GetParam(index); p && text)
      p->FormatDisplay(p->Value(), false, text, kVstParamStringSize, true);
    return 0;
  case kEffGetParamName:
    if (const IPlugParam* p = GetParam(index); p && text)
      CopyBounded(text, kVstParamStringSize, p->Name());
    return 0;
  case kEffCanBeAutomated:
    return GetParam(index) ? 1 : 0;
  case kEffString2Parameter:
    return StringToParameter(index, text);
  case kEffVendorSpecific:
    return VendorSpecific(index, value, opt, ptr);

  case kEffSetSampleRate:
    // A rate that is not a finite number of at least 1 Hz would turn every later gain into NaN
    // or hold it near silence.
    if (std::isfinite(opt) && opt >= kMinSampleRate) {
      StoreSampleRate(opt);
      Reset();
    }
    return 0;
  case kEffSetBlockSize:
    if (value >= 1 && value <= kMaxBlockSize) {
      ChangeBlockSize(static_cast<int>(value));
      Reset();
    }
    return 0;
  case kEffMainsChanged:
    if (value) {
      ActivationChanged(true);
    } else {
      ActivationChanged(false);
      Reset();
    }
    return 0;

  case kEffEditGetRect:
    if (!ptr || !Editor()) return 0;
    *static_cast<VstEditorRect**>(ptr) = &editorRect_;
    return 1;
  case kEffEditOpen:
    // The host's parent window comes as the pointer; a build without a window of its own (the
    // headless editor of Linux) answers 0.
    if (!OpenEditorWindow(ptr)) return 0;
    EditorOpened();
    return 1;
  case kEffEditClose:
    if (!Editor()) return 0;
    EditorClosing();
    CloseEditorWindow();
    return 1;

  case kEffIdentify:
    return kIdentifyAnswer;
  case kEffGetChunk:
    return GetChunk(index == 0, ptr);
  case kEffSetChunk:
    return SetChunk(index == 0, value, ptr);
  case kEffProcessEvents:
    return ProcessEvents(static_cast<const VstEventList*>(ptr));

  case kEffGetInputProperties:
    return PinProperties(true, index, static_cast<VstPinProperties*>(ptr));
  case kEffGetOutputProperties:
    return PinProperties(false, index, static_cast<VstPinProperties*>(ptr));
  case kEffGetPlugCategory:
    return IsInstrument() ? kPlugCategSynth : kPlugCategEffect;
  case kEffSetSpeakerArrangement:
    SetSpeakerArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value),
                          static_cast<const VstSpeakerArrangement*>(ptr));
    return 1;
  case kEffGetSpeakerArrangement:
    if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &inArrangement_;
    if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &outArrangement_;
    return 1;

  case kEffGetEffectName:
    return CopyName(text, kVstEffectNameSize, EffectName());
  case kEffGetVendorString:
    return CopyName(text, kVstVendorStringSize, MakerName());
  case kEffGetProductString:
    return CopyName(text, kVstVendorStringSize, ProductName());
  case kEffGetVendorVersion:
    return VersionNumber(true);
  case kEffCanDo:
    return CanDo(text);
  case kEffGetTailSize:
    return 0;
  case kEffGetVstVersion:
    return kVstVersion;

  case kEffGetMidiKeyName: {
    if (!ptr) return 0;
    VstKeyName* key = static_cast<VstKeyName*>(ptr);
    key->keyName[0] = '\0';
    const bool named = GetMidiKeyName(key->thisKeyNumber, key->keyName, sizeof key->keyName);
    key->keyName[sizeof key->keyName - 1] = '\0';
    return named ? 1 : 0;
  }

  default:
    return 0;
  }
}

intptr_t IPlugVST::CanDo(const char* query) const {
  if (!query) return 0;
  auto is = [query](const char* s) { return strcmp(query, s) == 0; };
  if (is("receiveVstTimeInfo")) return 1;
  if (is("sendVstEvents") || is("sendVstMidiEvent") || is("receiveVstEvents") ||
      is("receiveVstMidiEvent"))
    return DoesMidi() ? 1 : 0;
  if (is("hasVendorExtensions") || is("hasVendorViewAsConfig")) return kVendorCanDo;
  return 0;
}

intptr_t IPlugVST::PinProperties(bool input, int index, VstPinProperties* pin) {
  const int channels = input ? NInChannels() : NOutChannels();
  if (!pin || index < 0 || index >= channels) return 0;
  pin->flags = kVstPinIsActive;
  if (index % 2 == 0 && index < channels - 1) pin->flags |= kVstPinIsStereo;
  const char* label = input ? InChannelLabel(index) : OutChannelLabel(index);
  if (label[0])
    CopyBounded(pin->label, sizeof pin->label, label);
  else
    snprintf(pin->label, sizeof pin->label, "%s %d", input ? "Input" : "Output", index + 1);
  return 1;
}

void IPlugVST::SetSpeakerArrangement(const VstSpeakerArrangement* in,
                                     const VstSpeakerArrangement* out) {
  if (in) {
    const int n = std::clamp(in->numChannels, 0, NInChannels());
    ConnectInputs(0, n, true);
    ConnectInputs(n, NInChannels() - n, false);
  }
  if (out) {
    const int n = std::clamp(out->numChannels, 0, NOutChannels());
    ConnectOutputs(0, n, true);
    ConnectOutputs(n, NOutChannels() - n, false);
  }
}

intptr_t IPlugVST::StringToParameter(int index, const char* text) {
  IPlugParam* p = GetParam(index);
  if (!p) return 0;
  if (!text) return 1;
  HostText t(text);
  double v = 0.0;
  if (p->DisplayTextCount() > 0) {
    if (!p->LookupDisplayText(t.text, &v)) return 0;
  } else {
    v = strtod(t.text, nullptr);
    if (std::isnan(v)) return 0; // "nan" would survive every later clamp
  }
  PushParamToEditor(index, v, false); // the editor shows what the host typed
  p->SetClamped(v);
  ParameterChanged(index, kSourceHost);
  return 1;
}

intptr_t IPlugVST::VendorSpecific(int32_t subCode, intptr_t paramIdx, float value, void* ptr) {
  if (subCode == kZtEditorSnapshot) {
    auto* shot = static_cast<ZtEditorSnapshot*>(ptr);
    if (!shot || shot->size != static_cast<int32_t>(sizeof(ZtEditorSnapshot)) || !Editor() ||
        !DrawingContext())
      return 0;
    int w = 0, h = 0;
    EditorSize(&w, &h);
    if (shot->pixels && !SnapshotEditor(shot->pixels, shot->width, shot->height, shot->rowPixels))
      return 0;
    shot->width = w;
    shot->height = h;
    return 1;
  }
  char* text = static_cast<char*>(ptr);
  const bool valid = paramIdx >= 0 && paramIdx < NParams();
  const IPlugParam* p = valid ? GetParam(static_cast<int>(paramIdx)) : nullptr;
  switch (subCode) {
  case kVendorFormatNormalized:
    if (!text) return 0;
    if (p) p->FormatDisplay(value, true, text, kVstParamStringSize, true);
    return kVendorAnswer;
  case kVendorParamIsStepped:
    return p && p->Type() != ParamType::Double ? kVendorAnswer : 0;
  default:
    return 0;
  }
}

// --- chunks -----------------------------------------------------------------------------------

intptr_t IPlugVST::GetChunk(bool bank, void* ptr) {
  if (!ptr) return 0;
  StateChunk& chunk = bank ? bankChunk_ : programChunk_;
  WriteChunkHeader(chunk);
  bool ok;
  if (bank) {
    ModifyCurrentPreset();
    ok = SerializePresets(chunk);
  } else {
    ok = WriteState(chunk);
  }
  if (!ok || chunk.Size() == 0) return 0;
  *static_cast<void**>(ptr) = chunk.Data();
  return chunk.Size();
}

intptr_t IPlugVST::SetChunk(bool bank, intptr_t size, const void* ptr) {
  if (!ptr || size < 0 || size > kMaxChunkBytes) return 0;
  StateChunk& chunk = bank ? bankChunk_ : programChunk_;
  chunk.Clear();
  chunk.Resize(static_cast<int>(size));
  if (size > 0) memcpy(chunk.Data(), ptr, static_cast<size_t>(size));
  int pos = 0;
  const int version = ReadChunkHeader(chunk, &pos);
  if (bank && version >= kStateVersion) {
    pos = UnserializePresets(chunk, pos);
  } else {
    pos = ReadState(chunk, pos);
    ModifyCurrentPreset();
  }
  if (pos < 0) return 0;
  RefreshEditorParams();
  return 1;
}

// --- events -----------------------------------------------------------------------------------

intptr_t IPlugVST::ProcessEvents(const VstEventList* list) {
  if (!list) return 0;
  // The host sizes the pointer array for numEvents entries, beyond the two the record declares.
  const auto* events = reinterpret_cast<VstEvent* const*>(reinterpret_cast<const char*>(list) +
                                                          offsetof(VstEventList, events));
  for (int32_t i = 0; i < list->numEvents; ++i) {
    const VstEvent* ev = events[i];
    if (!ev) continue;
    if (ev->type == kVstMidiType) {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(ev);
      MidiMessage msg;
      msg.offset = midi->deltaFrames;
      msg.status = midi->midiData[0];
      msg.data1 = midi->midiData[1];
      msg.data2 = midi->midiData[2];
      ProcessMidiMessage(msg);
    } else if (ev->type == kVstSysExType) {
      const auto* sysex = reinterpret_cast<const VstSysExEvent*>(ev);
      if (sysex->dumpBytes < 0 || (sysex->dumpBytes > 0 && !sysex->sysexDump)) continue;
      SysExMessage msg;
      msg.offset = sysex->deltaFrames;
      msg.size = sysex->dumpBytes;
      msg.data = sysex->sysexDump;
      ProcessSysExMessage(msg);
    }
  }
  return 1;
}

// --- parameters -------------------------------------------------------------------------------

float VST_CALL IPlugVST::VSTGetParameter(VstEffect* effect, int32_t index) {
  IPlugVST* plug = Instance(effect);
  if (!plug) return 0.0f;
  Lock lock(plug->Mutex());
  const IPlugParam* p = plug->GetParam(index);
  return p ? static_cast<float>(p->NormalizedValue()) : 0.0f;
}

void VST_CALL IPlugVST::VSTSetParameter(VstEffect* effect, int32_t index, float value) {
  IPlugVST* plug = Instance(effect);
  if (!plug || std::isnan(value)) return;
  Lock lock(plug->Mutex());
  IPlugParam* p = plug->GetParam(index);
  if (!p) return;
  // Host values are normalised; one outside 0..1 would land outside the parameter's range.
  p->ApplyNormalized(std::clamp(static_cast<double>(value), 0.0, 1.0));
  plug->PushParamToEditor(index, p->Value(), false);
  plug->ParameterChanged(index, kSourceHost);
}

// --- audio ------------------------------------------------------------------------------------

int IPlugVST::ConnectedInputs() const {
  int n = 0;
  for (int i = 0; i < NInChannels(); ++i)
    n += IsInChannelConnected(i) ? 1 : 0;
  return n;
}

int IPlugVST::ConnectedOutputs() const {
  int n = 0;
  for (int i = 0; i < NOutChannels(); ++i)
    n += IsOutChannelConnected(i) ? 1 : 0;
  return n;
}

// The scratch buffers hold BlockSize() frames: a longer host block runs as consecutive blocks of
// at most that size, each with the host's pointers advanced to its start. The double path hands
// the host's buffers over as they are (an unconnected channel's scratch buffer still stands in
// for a host buffer); the single-precision paths convert through the scratch buffers.
template <typename Sample>
void IPlugVST::ProcessHostBlock(Sample** inputs, Sample** outputs, int frames, BlockMode mode) {
  const int nIn = ConnectedInputs(), nOut = ConnectedOutputs();
  if (!AllNonNull(inputs, nIn) || !AllNonNull(outputs, nOut)) return;
  const int block = BlockSize();
  if (block <= 0) return;
  SliceBuffers<Sample>& slice = Slices<Sample>();
  for (int offset = 0; offset < frames; offset += block) {
    const int n = std::min(block, frames - offset);
    for (int i = 0; i < nIn; ++i)
      slice.in[i] = inputs[i] + offset;
    for (int i = 0; i < nOut; ++i)
      slice.out[i] = outputs[i] + offset;
    if constexpr (std::is_same_v<Sample, double>) {
      // A plug-in may work on its inputs in place: it gets the host's buffers only when the
      // host gave the same buffers as outputs, and copies otherwise, for a host may read its
      // input buffers again elsewhere.
      if (InPlace(inputs, outputs, nIn, nOut))
        AttachInputs(0, NInChannels(), slice.in.data());
      else
        CopyInputs(0, NInChannels(), slice.in.data(), n);
      AttachOutputs(0, NOutChannels(), slice.out.data());
      RunBlock(n);
    } else {
      AttachInputs(0, NInChannels(), slice.in.data(), n);
      AttachOutputs(0, NOutChannels(), slice.out.data());
      if (mode == BlockMode::Accumulating)
        RunBlockAccumulating(n);
      else
        RunBlockFloat(n);
    }
  }
}

template <typename Sample>
void IPlugVST::Process(VstEffect* effect, Sample** inputs, Sample** outputs, int32_t frames,
                       BlockMode mode) {
  IPlugVST* plug = Instance(effect);
  if (!plug || frames <= 0) return;
  Lock lock(plug->Mutex());
  if (plug->DoesMidi()) plug->HostCall(kHostWantMidi);
  plug->ProcessHostBlock(inputs, outputs, frames, mode);
}

void VST_CALL IPlugVST::VSTProcess(VstEffect* effect, float** inputs, float** outputs,
                                   int32_t frames) {
  Process(effect, inputs, outputs, frames, BlockMode::Accumulating);
}

void VST_CALL IPlugVST::VSTProcessReplacing(VstEffect* effect, float** inputs, float** outputs,
                                            int32_t frames) {
  Process(effect, inputs, outputs, frames, BlockMode::Replacing);
}

void VST_CALL IPlugVST::VSTProcessDoubleReplacing(VstEffect* effect, double** inputs,
                                                  double** outputs, int32_t frames) {
  Process(effect, inputs, outputs, frames, BlockMode::Replacing);
}
