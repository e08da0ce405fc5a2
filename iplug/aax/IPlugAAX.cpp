#include "iplug/aax/IPlugAAX.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

PluginConfig WithAaxApi(PluginConfig config) {
  config.hostApi = kHostApiAax;
  return config;
}

// The parameter number an identifier stands for ("1" is parameter 0), or -1.
int IndexFromId(const char* id) {
  if (!id || !*id) return -1;
  char* end = nullptr;
  const long n = strtol(id, &end, 10);
  if (end == id || *end != '\0' || n < 1 || n > 1 << 20) return -1;
  return static_cast<int>(n - 1);
}

} // namespace

double AAX_CIPlugTaperDelegate::ConstrainRealValue(double value) const {
  if (value > max_) return max_;
  if (value < min_) return min_;
  return value;
}

double AAX_CIPlugTaperDelegate::NormalizedToReal(double normalized) const {
  const double n = std::isnan(normalized) ? 0.0 : std::clamp(normalized, 0.0, 1.0);
  return ConstrainRealValue(min_ + std::pow(n, shape_) * (max_ - min_));
}

double AAX_CIPlugTaperDelegate::RealToNormalized(double value) const {
  if (max_ == min_) return 0.0;
  const double c = ConstrainRealValue(value);
  const double n = std::pow((c - min_) / (max_ - min_), 1.0 / shape_);
  return std::isnan(n) ? 0.0 : std::clamp(n, 0.0, 1.0);
}

IPlugAAX::IPlugAAX(IPlugInstanceInfo, PluginConfig config) : IPlugBase(WithAaxApi(config)) {
  connectedInputs_.resize(static_cast<size_t>(NInChannels()));
  ConnectInputs(0, NInChannels(), true);
  ConnectOutputs(0, NOutChannels(), true);
  ChangeBlockSize(1024);
  SetHost("ProTools", 0);
}

IPlugAAX::~IPlugAAX() = default;

AAX_Result IPlugAAX::InternalQueryInterface(const acfUID& iid, void** out) {
  if (!out) return kAAXErrorNullObject;
  *out = nullptr;
  if (AnswerInterface(iid, kIID_IPlugInstance, static_cast<AAX_CIPlugParameters*>(this), out))
    return kAAXSuccess;
  return AAX_CIPlugParameters::InternalQueryInterface(iid, out);
}

AAX_Result IPlugAAX::Initialize(IACFUnknown* controller) {
  Lock lock(Mutex());
  return AAX_CIPlugParameters::Initialize(controller);
}

AAX_Result IPlugAAX::Uninitialize() {
  Lock lock(Mutex());
  return AAX_CIPlugParameters::Uninitialize();
}

const char* IPlugAAX::ParameterId(int paramIdx) const {
  return paramIdx >= 0 && paramIdx < static_cast<int>(parameterIds_.size())
             ? parameterIds_[static_cast<size_t>(paramIdx)].c_str()
             : nullptr;
}

// --- parameters
// ------------------------------------------------------------------------------------

AAX_Result IPlugAAX::SetUpParameters() {
  if (!parametersMade_) {
    parametersMade_ = true;
    auto bypass = std::make_unique<AAX_CParameter<bool>>(
        MasterBypassIdentifier(), "Master Bypass", false, AAX_CBinaryTaperDelegate(),
        AAX_CBinaryDisplayDelegate("bypass", "on"), true);
    bypass->SetNumberOfSteps(2);
    bypass->SetKind(kAAXParameterDiscrete);
    bypassParameter_ = Parameters().AddParameter(std::move(bypass));
    for (int i = 0; i < NParams(); ++i)
      MakeAAXParameter(i);
  }
  FollowHostSampleRate();
  Reset();
  return kAAXSuccess;
}

void IPlugAAX::MakeAAXParameter(int paramIdx) {
  char id[32];
  snprintf(id, sizeof id, "%i", paramIdx + 1);
  parameterIds_.emplace_back(id);
  const IPlugParam& p = *GetParam(paramIdx);
  std::unique_ptr<AAX_IParameter> made;
  switch (p.Type()) {
  case ParamType::Bool:
  case ParamType::Enum: {
    std::map<int32_t, std::string> texts;
    for (int t = 0; t < p.DisplayTextCount(); ++t) {
      double value = 0.0;
      const char* text = p.DisplayTextAt(t, &value);
      texts.emplace(static_cast<int32_t>(value), text);
    }
    made = std::make_unique<AAX_CParameter<int32_t>>(
        id, p.Name(), static_cast<int32_t>(p.DefaultValue()),
        AAX_CLinearTaperDelegate<int32_t>(static_cast<int32_t>(p.Min()),
                                          static_cast<int32_t>(p.Max())),
        AAX_CStringDisplayDelegate<int32_t>(texts), p.CanAutomate());
    made->SetNumberOfSteps(p.DisplayTextCount());
    made->SetKind(kAAXParameterDiscrete);
    break;
  }
  case ParamType::Int:
    made = std::make_unique<AAX_CParameter<int32_t>>(
        id, p.Name(), static_cast<int32_t>(p.DefaultValue()),
        AAX_CLinearTaperDelegate<int32_t>(static_cast<int32_t>(p.Min()),
                                          static_cast<int32_t>(p.Max())),
        AAX_CUnitDisplayDelegateDecorator<int32_t>(AAX_CNumberDisplayDelegate<int32_t>(2, 0),
                                                   p.Label()),
        p.CanAutomate());
    break;
  case ParamType::Double:
    made = std::make_unique<AAX_CParameter<double>>(
        id, p.Name(), p.DefaultValue(), AAX_CIPlugTaperDelegate(p.Min(), p.Max(), p.Shape()),
        AAX_CUnitDisplayDelegateDecorator<double>(AAX_CNumberDisplayDelegate<double>(2, 0),
                                                  p.Label()),
        p.CanAutomate());
    break;
  case ParamType::None:
    return;
  }
  if (p.Type() == ParamType::Int || p.Type() == ParamType::Double) {
    made->SetNumberOfSteps(128);
    made->SetKind(kAAXParameterContinuous);
  }
  Parameters().AddParameter(std::move(made));
}

void IPlugAAX::FollowHostSampleRate() {
  float rate = 0.0f;
  // A host that answers nothing, or nonsense, leaves the rate as it was.
  if (Controller() && Controller()->GetSampleRate(&rate) == kAAXSuccess && std::isfinite(rate) &&
      rate >= 1.0f)
    StoreSampleRate(rate);
}

AAX_Result IPlugAAX::UpdateParameterNormalizedValue(const char* id, double value,
                                                    AAX_UpdateSource) {
  AAX_IParameter* p = Parameters().GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  // A value that is no number changes nothing; one outside 0..1 counts as its nearest end.
  if (std::isnan(value)) return kAAXSuccess;
  value = std::clamp(value, 0.0, 1.0);
  p->UpdateNormalizedValue(value);
  const int index = IndexFromId(id);
  if (index >= 0 && index < NParams()) {
    Lock lock(Mutex());
    GetParam(index)->ApplyNormalized(value);
    PushParamToEditor(index, value, true);
    ParameterChanged(index, kSourceHost);
  }
  return UpdateBookkeeping(p);
}

void IPlugAAX::BeginParameterEdit(int paramIdx) {
  if (const char* id = ParameterId(paramIdx)) TouchParameter(id);
}

void IPlugAAX::NotifyHostParameterChange(int paramIdx, double normalized) {
  if (const char* id = ParameterId(paramIdx)) SetParameterNormalizedValue(id, normalized);
}

void IPlugAAX::EndParameterEdit(int paramIdx) {
  if (const char* id = ParameterId(paramIdx)) ReleaseParameter(id);
}

// --- private data and chunks
// -----------------------------------------------------------------------

AAX_Result IPlugAAX::ResetFieldData(AAX_CFieldIndex field, void* data, uint32_t size) {
  if (!data) return kAAXErrorNullObject;
  if (field == kFieldInstance) {
    // The render procedure reads a whole address back: a field too small for one stays zero, and
    // its contexts are skipped rather than read past the field.
    AAX_CIPlugParameters* self = this;
    memset(data, 0, size);
    if (size >= sizeof self) memcpy(data, &self, sizeof self);
    return kAAXSuccess;
  }
  memset(data, 0, size);
  return kAAXSuccess;
}

bool IPlugAAX::WriteChunkData(StateChunk& chunk) {
  chunk.Clear();
  return WriteState(chunk);
}

AAX_Result IPlugAAX::GetChunkIDFromIndex(int32_t index, AAX_CTypeID* id) {
  if (!id) return kAAXErrorNullObject;
  if (index != 0) {
    *id = 0;
    return kAAXErrorChunkIndex;
  }
  *id = static_cast<AAX_CTypeID>(UniqueId());
  return kAAXSuccess;
}

AAX_Result IPlugAAX::GetChunkSize(AAX_CTypeID id, uint32_t* size) {
  if (!size) return kAAXErrorNullObject;
  if (id != static_cast<AAX_CTypeID>(UniqueId())) {
    *size = 0;
    return kAAXErrorChunkId;
  }
  StateChunk chunk;
  if (WriteChunkData(chunk)) *size = static_cast<uint32_t>(chunk.Size());
  return kAAXSuccess;
}

AAX_Result IPlugAAX::GetChunk(AAX_CTypeID id, AAX_SPlugInChunk* record) {
  if (id != static_cast<AAX_CTypeID>(UniqueId())) return kAAXErrorChunkId;
  if (!record) return kAAXErrorNullObject;
  StateChunk chunk;
  if (!WriteChunkData(chunk)) return kAAXErrorChunkId;
  record->size = chunk.Size();
  if (chunk.Size() > 0) memcpy(record->data, chunk.Data(), static_cast<size_t>(chunk.Size()));
  return kAAXSuccess;
}

AAX_Result IPlugAAX::SetChunk(AAX_CTypeID id, const AAX_SPlugInChunk* record) {
  if (id != static_cast<AAX_CTypeID>(UniqueId())) return kAAXErrorChunkId;
  if (!record) return kAAXErrorNullObject;
  // A size no state can have is the host's confusion, not a chunk: nothing is read.
  if (record->size < 0 || record->size > kMaxChunkBytes) return kAAXErrorChunkId;
  StateChunk chunk;
  chunk.PutBytes(record->data, static_cast<size_t>(record->size));
  ReadState(chunk, 0);
  for (int i = 0; i < NParams() && i < static_cast<int>(parameterIds_.size()); ++i)
    SetParameterNormalizedValue(parameterIds_[static_cast<size_t>(i)].c_str(),
                                GetParam(i)->NormalizedValue());
  RefreshEditorParams();
  CountChange();
  return kAAXSuccess;
}

AAX_Result IPlugAAX::CompareActiveChunk(const AAX_SPlugInChunk* record, bool* equal) {
  if (!record || !equal) return kAAXErrorNullObject;
  if (record->chunkId != static_cast<AAX_CTypeID>(UniqueId())) {
    *equal = true;
    return kAAXSuccess;
  }
  // The data start with the int32 count of values; the doubles after it are compared with the
  // live values, from an aligned copy. A chunk of another length cannot match.
  int32_t count = 0;
  const int64_t needed = 4 + 8 * static_cast<int64_t>(NParams());
  if (record->size >= 4) memcpy(&count, record->data, sizeof count);
  if (record->size < needed || count != NParams()) {
    *equal = false;
    return kAAXSuccess;
  }
  std::vector<double> values(static_cast<size_t>(NParams()));
  if (!values.empty()) memcpy(values.data(), record->data + 4, values.size() * sizeof(double));
  *equal = StateMatches(values.data(), 0);
  return kAAXSuccess;
}

// --- transport and editor
// --------------------------------------------------------------------------

void IPlugAAX::ReadTransport(TransportInfo& info) {
  const AAX_VTransport& t = currentTransport_;
  if (!t.Interface()) return; // before the first render call there is none
  double tempo = info.tempo;
  bool playing = info.playing, looping = info.cycleActive;
  int32_t numerator = info.numerator, denominator = info.denominator;
  int64_t ticks = 0, sample = 0, loopStart = 0, loopEnd = 0;
  t.GetCurrentTempo(&tempo);
  t.IsTransportPlaying(&playing);
  t.GetCurrentMeter(&numerator, &denominator);
  t.GetCurrentTickPosition(&ticks);
  t.GetCurrentNativeSampleLocation(&sample);
  t.GetCurrentLoopPosition(&looping, &loopStart, &loopEnd);
  const double perQuarter = static_cast<double>(kAAXTicksPerQuarter);
  info.tempo = tempo;
  info.playing = playing;
  info.numerator = numerator;
  info.denominator = denominator;
  info.ppqPos = static_cast<double>(ticks) / perQuarter;
  info.samplePos = static_cast<double>(sample);
  info.cycleActive = looping;
  info.cycleStart = static_cast<double>(loopStart) / perQuarter;
  info.cycleEnd = static_cast<double>(loopEnd) / perQuarter;
}

double IPlugAAX::HostTempo() {
  double tempo = 0.0;
  currentTransport_.GetCurrentTempo(&tempo);
  return tempo;
}

int IPlugAAX::HostSamplePosition() {
  int64_t sample = 0;
  currentTransport_.GetCurrentNativeSampleLocation(&sample);
  return static_cast<int>(static_cast<int32_t>(sample));
}

void IPlugAAX::HostTimeSignature(int* numerator, int* denominator) {
  int32_t n = 0, d = 0;
  currentTransport_.GetCurrentMeter(&n, &d);
  if (numerator) *numerator = n;
  if (denominator) *denominator = d;
}

void IPlugAAX::ResizeEditor(int width, int height) {
  Lock lock(Mutex());
  if (!Editor()) return;
  NoteEditorSize(width, height);
  if (view_) view_->ResizeView(width, height);
  BindDrawingContext();
}

void IPlugAAX::SetLatencySamples(int samples) {
  if (Controller()) Controller()->SetSignalLatency(samples);
  IPlugBase::SetLatencySamples(samples);
}

// --- rendering
// --------------------------------------------------------------------------------------

bool IPlugAAX::StemChannels(int componentInputs, int componentOutputs, int* inputs, int* outputs) {
  uint32_t inStem = 0, outStem = 0;
  if (!Controller() || Controller()->GetInputStemFormat(&inStem) != kAAXSuccess ||
      Controller()->GetOutputStemFormat(&outStem) != kAAXSuccess)
    return false;
  // The host's arrays hold as many pointers as the component has channels: a controller that
  // claims more is not followed past them.
  *inputs = static_cast<int>(inStem & 0xFFFF);
  *outputs = static_cast<int>(outStem & 0xFFFF);
  if (componentInputs >= 0) *inputs = std::min(*inputs, componentInputs);
  if (componentOutputs >= 0) *outputs = std::min(*outputs, componentOutputs);
  return true;
}

void IPlugAAX::ConnectStems(RenderContext* context, int inputs, int outputs, int frames) {
  ConnectInputs(0, NInChannels(), false);
  int connected = 0;
  for (int i = 0; i < std::min(inputs, NInChannels()); ++i) {
    if (!context->inputs[i]) continue; // no buffer: the channel reads zeros
    ConnectInputs(i, 1, true);
    connectedInputs_[static_cast<size_t>(connected++)] = context->inputs[i];
  }
  AttachInputs(0, NInChannels(), connectedInputs_.data(), frames);
  // A diagnostic of the channel configuration: printed when it first appears and when it
  // changes, never per block (a write on the audio thread, and a host whose standard output is
  // a full pipe would stop its audio).
  if (attachLineInputs_ != inputs) {
    attachLineInputs_ = inputs;
    printf("attach input buffers: 0 - %d\n", NInChannels());
    fflush(stdout);
  }
  ConnectOutputs(0, outputs, true);
  ConnectOutputs(outputs, NOutChannels() - outputs, false);
  AttachOutputs(0, NOutChannels(), context->outputs);
}

namespace {

// Silence in the first `count` of the host's output buffers (the null ones are skipped).
void SilenceOutputs(float** outputs, int count, int frames) {
  for (int i = 0; i < count; ++i)
    if (outputs[i]) std::fill_n(outputs[i], frames, 0.0f);
}

} // namespace

void IPlugAAX::RenderFromContext(RenderContext* context, int componentInputs,
                                 int componentOutputs) {
  if (!context || !context->bufferLength || !context->outputs) return; // nowhere to write
  Lock lock(Mutex());
  const bool bypass = bypassParameter_ && bypassParameter_->GetValueAsBool();
  if (DoesMidi() && context->midiInput) {
    const AAX_CMidiStream* stream =
        static_cast<AAX_IMIDINode*>(context->midiInput)->GetNodeBuffer();
    for (uint32_t i = 0; stream && stream->packets && i < stream->count; ++i) {
      const AAX_CMidiPacket& packet = stream->packets[i];
      ProcessMidiMessage(MidiMessage{static_cast<int32_t>(packet.timestamp), packet.data[0],
                                     packet.data[1], packet.data[2]});
    }
  }
  currentTransport_ = AAX_VTransport(
      context->transportNode ? static_cast<AAX_IMIDINode*>(context->transportNode)->GetTransport()
                             : nullptr);
  const int frames = *context->bufferLength;
  if (frames <= 0) return;
  int inputs = 0, outputs = 0;
  if (!StemChannels(componentInputs, componentOutputs, &inputs, &outputs)) {
    // Without the stems the audio cannot be routed; what the host hears is silence, not the
    // stale contents of its buffers.
    SilenceOutputs(context->outputs, std::max(componentOutputs, 0), frames);
    return;
  }
  if (!context->inputs || frames > kMaxBlockSize) {
    SilenceOutputs(context->outputs, std::min(outputs, NOutChannels()), frames);
    return;
  }
  if (frames != BlockSize()) {
    ChangeBlockSize(frames);
    Reset();
  }
  ClearScratchBuffers();
  ConnectStems(context, inputs, outputs, frames);
  if (bypass) {
    PassThroughBlockFloat(frames);
    BlockBypassed(frames);
  } else {
    RunBlockFloat(frames);
  }
}

// --- the editor bridge
// ------------------------------------------------------------------------------

// The host's view container as the editor sees it.
class AAX_CEffectGUI_IPLUG::ContainerBridge : public IGraphicsViewContainer {
public:
  explicit ContainerBridge(AAX_VViewContainer* container) : container_(container) {}
  uint32_t CurrentModifiers() override { return container_->GetModifiers(); }
  int ParameterMouseDown(const char* paramId, uint32_t flags) override {
    return container_->HandleParameterMouseDown(paramId, flags);
  }
  void ResizeView(int width, int height) override {
    container_->SetViewSize(AAX_Point{static_cast<float>(height), static_cast<float>(width)});
  }

private:
  AAX_VViewContainer* container_; // owned by the GUI base, outlives the bridge
};

AAX_CEffectGUI_IPLUG::AAX_CEffectGUI_IPLUG() = default;

AAX_CEffectGUI_IPLUG::~AAX_CEffectGUI_IPLUG() {
  // The base cannot reach this class's DeleteViewContainer any more once this destructor ends.
  DeleteViewContainer();
  ForgetPlug();
}

void AAX_CEffectGUI_IPLUG::ForgetPlug() {
  if (!plug_) return;
  static_cast<AAX_CIPlugParameters*>(plug_)->Release();
  plug_ = nullptr;
}

void AAX_CEffectGUI_IPLUG::CreateViewContents() {
  ForgetPlug();
  AAX_IEffectParameters* parameters = EffectParameters();
  void* out = nullptr;
  if (!parameters || parameters->QueryInterface(kIID_IPlugInstance, &out) != kAAXSuccess || !out)
    return;
  // Only our instances answer kIID_IPlugInstance, and every one of them is an IPlugAAX.
  plug_ = static_cast<IPlugAAX*>(static_cast<AAX_CIPlugParameters*>(out));
}

void AAX_CEffectGUI_IPLUG::CreateViewContainer() {
  AAX_VViewContainer* container = ViewContainer();
  if (!plug_ || !container || !plug_->Editor()) return;
  void* native = container->GetPtr();
  if (!native) return;
  bridge_ = std::make_unique<ContainerBridge>(container);
  plug_->SetEditorViewContainer(bridge_.get());
  plug_->AttachView(bridge_.get());
  windowOpen_ = plug_->OpenEditorWindow(native) != nullptr;
}

void AAX_CEffectGUI_IPLUG::DeleteViewContainer() {
  if (!plug_) return;
  if (windowOpen_) plug_->CloseEditorWindow();
  windowOpen_ = false;
  // The container goes away with the base's wrapper: the editor must not reach it any more.
  if (bridge_) {
    plug_->SetEditorViewContainer(nullptr);
    plug_->AttachView(nullptr);
  }
  bridge_.reset();
}

AAX_Result AAX_CEffectGUI_IPLUG::GetViewSize(AAX_Point* size) {
  if (!size) return kAAXErrorNullObject;
  if (!plug_ || !plug_->Editor()) return kAAXSuccess;
  int width = 0, height = 0;
  plug_->EditorSizeWithoutLock(&width, &height); // the bridge takes no lock
  size->vert = static_cast<float>(height);
  size->horz = static_cast<float>(width);
  return kAAXSuccess;
}
