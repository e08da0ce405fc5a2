#include "iplug/IPlugBase.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

using Lock = std::lock_guard<std::recursive_mutex>;

IPlugBase::IPlugBase(const PluginConfig& config)
    : uniqueId_(config.uniqueId), makerId_(config.makerId), version_(config.version),
      hostApi_(config.hostApi), doesChunks_(config.doesChunks), isInstrument_(config.isInstrument),
      doesMidi_(config.doesMidi), latency_(config.latency) {
  params_.resize(static_cast<size_t>(std::max(0, config.paramCount)));
  presets_.resize(static_cast<size_t>(std::max(0, config.presetCount)));
  CopyBounded(effectName_, sizeof effectName_, config.effectName);
  CopyBounded(productName_, sizeof productName_, config.productName);
  CopyBounded(makerName_, sizeof makerName_, config.makerName);

  // "1-1 2-2": space-separated "inputs-outputs" tokens; an unreadable number counts as 0.
  int maxIn = 0, maxOut = 0;
  const char* p = config.channelIO ? config.channelIO : "";
  while (*p) {
    const char* end = strchr(p, ' ');
    std::string token(p, end ? static_cast<size_t>(end - p) : strlen(p));
    int in = 0, out = 0;
    if (sscanf(token.c_str(), "%d-%d", &in, &out) < 2) {
      // sscanf leaves unread outputs alone, so both keep 0 where they could not be read.
    }
    ioPairs_.emplace_back(in, out);
    maxIn = std::max(maxIn, in);
    maxOut = std::max(maxOut, out);
    if (!end) break;
    p = end + 1;
  }

  inPointers_.assign(static_cast<size_t>(maxIn), nullptr);
  outPointers_.assign(static_cast<size_t>(maxOut), nullptr);
  inChannels_.resize(static_cast<size_t>(maxIn));
  outChannels_.resize(static_cast<size_t>(maxOut));
  for (int i = 0; i < maxIn; ++i)
    inChannels_[i].pointerIdx = i;
  for (int i = 0; i < maxOut; ++i)
    outChannels_[i].pointerIdx = i;
}

namespace {
std::atomic<const EditorEntryPoints*> gEditorEntryPoints{nullptr};
std::atomic<const DrawingContextEntryPoints*> gDrawingContextEntryPoints{nullptr};
} // namespace

void IPlugBase::InstallEditorEntryPoints(const EditorEntryPoints* entries) {
  gEditorEntryPoints.store(entries, std::memory_order_release);
}

IPlugBase::~IPlugBase() {
  // The editor goes first: its controls still point at this instance.
  if (editor_) gEditorEntryPoints.load(std::memory_order_acquire)->destroy(editor_);
  editor_ = nullptr;
}

void IPlugBase::AttachEditor(IGraphics* editor) {
  if (!editor) return;
  const EditorEntryPoints* entries = gEditorEntryPoints.load(std::memory_order_acquire);
  Lock lock(mutex_);
  if (editor_ && editor_ != editor) entries->destroy(editor_);
  editor_ = nullptr;
  entries->createDrawBitmap(editor);
  for (int i = 0; i < NParams(); ++i)
    entries->pushParamToControls(editor, i, params_[i].NormalizedValue(), true);
  editor_ = editor;
  int width = 0, height = 0;
  entries->editorSize(editor, &width, &height);
  NoteEditorSize(width, height);
  BindDrawingContext();
}

void IPlugBase::InstallDrawingContextEntryPoints(const DrawingContextEntryPoints* entries) {
  gDrawingContextEntryPoints.store(entries, std::memory_order_release);
}

void IPlugBase::DrawingContextHolder::Reset(ycairo_context* next) {
  if (context && context != next)
    gDrawingContextEntryPoints.load(std::memory_order_acquire)->destroy(context);
  context = next;
}

void IPlugBase::SetDrawingContext(ycairo_context* context) {
  Lock lock(mutex_);
  drawingContext_.Reset(context);
}

void IPlugBase::BindDrawingContext() {
  Lock lock(mutex_);
  if (!editor_ || !drawingContext_.context) return;
  gDrawingContextEntryPoints.load(std::memory_order_acquire)
      ->bindToBitmap(drawingContext_.context, editor_);
}

bool IPlugBase::SnapshotEditor(uint32_t* pixels, int width, int height, int rowPixels) {
  Lock lock(mutex_);
  if (!editor_ || !drawingContext_.context || !pixels) return false;
  return gDrawingContextEntryPoints.load(std::memory_order_acquire)
      ->snapshotEditor(editor_, pixels, width, height, rowPixels);
}

void IPlugBase::EditorSize(int* width, int* height) {
  Lock lock(mutex_);
  int w = 0, h = 0;
  if (editor_) gEditorEntryPoints.load(std::memory_order_acquire)->editorSize(editor_, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

void IPlugBase::PushParamToEditor(int paramIdx, double value, bool normalized) {
  Lock lock(mutex_);
  if (!editor_ || !GetParam(paramIdx)) return;
  gEditorEntryPoints.load(std::memory_order_acquire)
      ->pushParamToControls(editor_, paramIdx, value, normalized);
}

void* IPlugBase::OpenEditorWindow(void* parent) {
  if (!editor_) return nullptr;
  return gEditorEntryPoints.load(std::memory_order_acquire)->openWindow(editor_, parent);
}

bool IPlugBase::CloseEditorWindow() {
  if (!editor_) return false;
  gEditorEntryPoints.load(std::memory_order_acquire)->closeWindow(editor_);
  return true;
}

bool IPlugBase::SetEditorViewContainer(IGraphicsViewContainer* container) {
  if (!editor_) return false;
  gEditorEntryPoints.load(std::memory_order_acquire)->setViewContainer(editor_, container);
  return true;
}

void IPlugBase::RefreshEditorParams() {
  Lock lock(mutex_);
  if (!editor_) return;
  const EditorEntryPoints* entries = gEditorEntryPoints.load(std::memory_order_acquire);
  for (int i = 0; i < NParams(); ++i)
    entries->pushParamToControls(editor_, i, params_[i].Value(), false);
}

void IPlugBase::Reset() {
  Lock lock(mutex_);
}

void IPlugBase::ParameterChanged(int, int) {
  Lock lock(mutex_);
}

void IPlugBase::ActivationChanged(bool) {
  Lock lock(mutex_);
}

void IPlugBase::ProcessBlock(double** inputs, double** outputs, int frames) {
  if (frames <= 0) return;
  const int nIn = NInChannels(), nOut = NOutChannels();
  for (int i = 0; i < nOut; ++i) {
    if (!outputs[i]) continue;
    if (i < nIn && inputs[i])
      memmove(outputs[i], inputs[i], sizeof(double) * static_cast<size_t>(frames));
    else
      std::fill_n(outputs[i], frames, 0.0);
  }
}

bool IPlugBase::GetMidiKeyName(int, char* text, size_t textSize) {
  if (text && textSize) text[0] = '\0';
  return false;
}

void IPlugBase::SetParameterFromGUI(int paramIdx, double normalized) {
  Lock lock(mutex_);
  IPlugParam* param = GetParam(paramIdx);
  if (!param) return;
  param->ApplyNormalized(normalized);
  NotifyHostParameterChange(paramIdx, normalized);
  ParameterChanged(paramIdx, kSourceEditor);
}

void IPlugBase::ChangeBlockSize(int frames) {
  if (frames == blockSize_) return;
  const size_t n = static_cast<size_t>(std::max(0, frames));
  for (InChannel& ch : inChannels_)
    ch.scratch.assign(n, 0.0);
  for (OutChannel& ch : outChannels_)
    ch.scratch.assign(n, 0.0);
  // An unconnected channel points at its own scratch buffer, which has just moved.
  for (InChannel& ch : inChannels_)
    if (!ch.connected) inPointers_[ch.pointerIdx] = ch.scratch.data();
  for (OutChannel& ch : outChannels_)
    if (!ch.connected) outPointers_[ch.pointerIdx] = ch.scratch.data();
  blockSize_ = frames;
}

namespace {
struct HostEntry {
  const char* substring;
  int code;
};
// Tested in this order; the first substring found anywhere in the name wins.
constexpr HostEntry kHosts[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostCakewalk},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFruity},
    {"live", kHostLive},
    {"melodyne", kHostMelodyne},
    {"vstmanlib", kHostVstManLib},
    {"aulab", kHostAuLab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSawStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigital},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostPresonus},
    {"vst3plugintesthost", kHostVst3PluginTestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMpt},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
    {"wavelab", kHostWaveLab},
};
} // namespace

int IPlugBase::LookupHostCode(const char* name) {
  if (!name) return kHostUnknown;
  char lower[256];
  size_t n = strnlen(name, sizeof lower - 1);
  for (size_t i = 0; i < n; ++i)
    lower[i] = static_cast<char>(tolower(static_cast<unsigned char>(name[i])));
  lower[n] = '\0';
  for (const HostEntry& e : kHosts)
    if (strstr(lower, e.substring)) return e.code;
  return kHostUnknown;
}

void IPlugBase::SetHost(const char* name, int version) {
  hostCode_ = LookupHostCode(name);
  hostVersion_ = version;
}

bool IPlugBase::LegalIO(int inputs, int outputs) const {
  for (const auto& [in, out] : ioPairs_)
    if ((inputs < 0 || inputs == in) && (outputs < 0 || outputs == out)) return true;
  return false;
}

// An unconnected input reads silence from its scratch buffer, which may still hold the audio of
// the time it was connected (converted or copied there): it is cleared.
void IPlugBase::DisconnectInput(int ch) {
  InChannel& c = inChannels_[ch];
  c.connected = false;
  std::fill(c.scratch.begin(), c.scratch.end(), 0.0);
  inPointers_[c.pointerIdx] = c.scratch.data();
}

void IPlugBase::LimitExtraChannels() {
  for (int i = 2; i < NInChannels(); ++i)
    DisconnectInput(i);
  if (NOutChannels() > 2)
    for (int i = 2; i < NOutChannels(); ++i)
      outChannels_[i].connected = true;
}

void IPlugBase::ConnectInputs(int first, int count, bool connected) {
  const int end = std::min(first + count, NInChannels());
  for (int i = std::max(0, first); i < end; ++i) {
    if (connected)
      inChannels_[i].connected = true;
    else
      DisconnectInput(i);
  }
}

void IPlugBase::ConnectOutputs(int first, int count, bool connected) {
  const int end = std::min(first + count, NOutChannels());
  for (int i = std::max(0, first); i < end; ++i) {
    outChannels_[i].connected = connected;
    if (!connected) outPointers_[outChannels_[i].pointerIdx] = outChannels_[i].scratch.data();
  }
}

bool IPlugBase::IsInChannelConnected(int ch) const {
  return ch >= 0 && ch < NInChannels() && inChannels_[ch].connected;
}
bool IPlugBase::IsOutChannelConnected(int ch) const {
  return ch >= 0 && ch < NOutChannels() && outChannels_[ch].connected;
}
const char* IPlugBase::InChannelLabel(int ch) const {
  return ch >= 0 && ch < NInChannels() ? inChannels_[ch].label.c_str() : "";
}
const char* IPlugBase::OutChannelLabel(int ch) const {
  return ch >= 0 && ch < NOutChannels() ? outChannels_[ch].label.c_str() : "";
}

void IPlugBase::AttachInputs(int first, int count, double** hostBuffers) {
  const int end = std::min(first + count, NInChannels());
  int next = 0;
  for (int i = std::max(0, first); i < end; ++i)
    if (inChannels_[i].connected) inPointers_[inChannels_[i].pointerIdx] = hostBuffers[next++];
}

template <typename Sample>
void IPlugBase::CopyIntoScratch(int first, int count, Sample** hostBuffers, int frames) {
  const int end = std::min(first + count, NInChannels());
  int next = 0;
  for (int i = std::max(0, first); i < end; ++i) {
    InChannel& ch = inChannels_[i];
    if (!ch.connected) continue;
    const Sample* src = hostBuffers[next++];
    const int n = std::min(frames, static_cast<int>(ch.scratch.size()));
    std::copy_n(src, n, ch.scratch.begin());
    inPointers_[ch.pointerIdx] = ch.scratch.data();
  }
}

void IPlugBase::CopyInputs(int first, int count, double** hostBuffers, int frames) {
  CopyIntoScratch(first, count, hostBuffers, frames);
}

void IPlugBase::AttachInputs(int first, int count, float** hostBuffers, int frames) {
  CopyIntoScratch(first, count, hostBuffers, frames);
}

void IPlugBase::AttachOutputs(int first, int count, double** hostBuffers) {
  const int end = std::min(first + count, NOutChannels());
  int next = 0;
  for (int i = std::max(0, first); i < end; ++i)
    if (outChannels_[i].connected) outPointers_[outChannels_[i].pointerIdx] = hostBuffers[next++];
}

void IPlugBase::AttachOutputs(int first, int count, float** hostBuffers) {
  const int end = std::min(first + count, NOutChannels());
  int next = 0;
  for (int i = std::max(0, first); i < end; ++i) {
    OutChannel& ch = outChannels_[i];
    if (!ch.connected) continue;
    outPointers_[ch.pointerIdx] = ch.scratch.data();
    ch.hostDest = hostBuffers[next++];
  }
}

void IPlugBase::RunBlock(int frames) {
  ProcessBlock(inPointers_.data(), outPointers_.data(), frames);
}

// Values beyond the float range saturate instead of becoming infinite (a conversion out of range
// is undefined besides); a sum in the host's buffer saturates likewise.
void IPlugBase::ConvertOutputs(int frames, bool accumulate) {
  constexpr float kMax = std::numeric_limits<float>::max();
  auto toFloat = [](double v) { return static_cast<float>(std::clamp<double>(v, -kMax, kMax)); };
  for (OutChannel& ch : outChannels_) {
    if (!ch.connected || !ch.hostDest) continue;
    const int n = std::min(frames, static_cast<int>(ch.scratch.size()));
    if (accumulate)
      for (int k = 0; k < n; ++k)
        ch.hostDest[k] = std::clamp(ch.hostDest[k] + toFloat(ch.scratch[k]), -kMax, kMax);
    else
      for (int k = 0; k < n; ++k)
        ch.hostDest[k] = toFloat(ch.scratch[k]);
  }
}

void IPlugBase::RunBlockFloat(int frames) {
  RunBlock(frames);
  ConvertOutputs(frames, false);
}

void IPlugBase::RunBlockAccumulating(int frames) {
  RunBlock(frames);
  ConvertOutputs(frames, true);
}

void IPlugBase::PassThroughBlockFloat(int frames) {
  for (int i = 0; i < NOutChannels(); ++i) {
    double* out = outPointers_[outChannels_[i].pointerIdx];
    const int n = std::min(frames, static_cast<int>(outChannels_[i].scratch.size()));
    if (i < NInChannels())
      std::copy_n(inPointers_[inChannels_[i].pointerIdx], n, out);
    else
      std::fill_n(out, n, 0.0);
  }
  ConvertOutputs(frames, false);
}

void IPlugBase::ClearScratchBuffers() {
  for (InChannel& ch : inChannels_)
    std::fill(ch.scratch.begin(), ch.scratch.end(), 0.0);
  for (OutChannel& ch : outChannels_)
    std::fill(ch.scratch.begin(), ch.scratch.end(), 0.0);
}

void IPlugBase::NotifyAllParameters(int source) {
  for (int i = 0; i < NParams(); ++i)
    ParameterChanged(i, source);
}

int IPlugBase::VersionNumber(bool decimal) const {
  if (!decimal) return version_;
  const int major = (version_ >> 16) & 0xFFFF, minor = (version_ >> 8) & 0xFF,
            patch = version_ & 0xFF;
  return major * 10000 + minor * 100 + patch;
}

// --- state and presets ------------------------------------------------------------------------

bool IPlugBase::SerializeParams(StateChunk& chunk) {
  Lock lock(mutex_);
  bool ok = chunk.PutInt32(NParams());
  for (int i = 0; ok && i < NParams(); ++i)
    ok = chunk.PutDouble(params_[i].Value());
  return ok;
}

int IPlugBase::UnserializeParams(const StateChunk& chunk, int pos) {
  Lock lock(mutex_);
  int32_t stored = 0;
  pos = chunk.GetInt32(&stored, pos);
  const int n = pos < 0 ? 0 : std::min<int>(stored, NParams());
  for (int i = 0; i < n && pos >= 0; ++i) {
    double v = 0.0;
    pos = chunk.GetDouble(&v, pos);
    if (pos < 0) v = 0.0;
    // A garbled state must not leave a NaN in a parameter: it would survive every later clamp.
    if (std::isnan(v)) v = params_[i].DefaultValue();
    params_[i].SetClamped(v);
  }
  NotifyAllParameters(kSourceRestore);
  return pos;
}

void IPlugBase::WriteChunkHeader(StateChunk& chunk) {
  chunk.Clear();
  chunk.PutInt32(kChunkMagic);
  chunk.PutInt32(kStateVersion);
}

int IPlugBase::ReadChunkHeader(const StateChunk& chunk, int* pos) {
  int32_t magic = 0;
  const int p = chunk.GetInt32(&magic, *pos);
  if (p < 0 || magic != kChunkMagic) return 0;
  int32_t version = 0;
  *pos = chunk.GetInt32(&version, p);
  return *pos < 0 ? 0 : version;
}

bool IPlugBase::StateMatches(const double* data, int pos) const {
  if (!data || pos < 0) return false;
  for (int i = 0; i < NParams(); ++i) {
    const float live = static_cast<float>(params_[i].Value());
    const float stored = static_cast<float>(data[pos + i]);
    if (!(std::fabs(live - stored) < 0.00001f)) return false;
  }
  return true;
}

void IPlugBase::FillDefaultPresets(const char* name, int count) {
  for (int c = 0; c < count; ++c) {
    auto it = std::find_if(presets_.begin(), presets_.end(),
                           [](const IPlugPreset& p) { return !p.initialized; });
    if (it == presets_.end()) return;
    it->initialized = true;
    CopyBounded(it->name, sizeof it->name, name ? name : "Empty");
    it->chunk.Clear();
    WriteState(it->chunk);
  }
}

void IPlugBase::FillEmptyPresets() {
  for (IPlugPreset& p : presets_) {
    if (p.initialized) continue;
    p.initialized = true;
    CopyBounded(p.name, sizeof p.name, "Empty");
    p.chunk.Clear();
    WriteState(p.chunk);
  }
}

bool IPlugBase::LoadPreset(int idx) {
  IPlugPreset* preset = GetPreset(idx);
  if (!preset) return false;
  bool ok;
  if (preset->initialized) {
    ok = ReadState(preset->chunk, 0) > 0;
  } else {
    int users = 1; // this one included
    for (const IPlugPreset& p : presets_)
      if (strstr(p.name, "user preset")) ++users;
    preset->initialized = true;
    snprintf(preset->name, sizeof preset->name, "%s %d", "user preset", users);
    preset->chunk.Clear();
    ok = WriteState(preset->chunk);
  }
  if (ok) {
    currentPreset_ = idx;
    PresetRestored();
    RefreshEditorParams();
  }
  return ok;
}

const char* IPlugBase::PresetName(int idx) const {
  return idx >= 0 && idx < NPresets() ? presets_[idx].name : "";
}

void IPlugBase::ModifyCurrentPreset(const char* name) {
  IPlugPreset* preset = GetPreset(currentPreset_);
  if (!preset) return;
  preset->chunk.Clear();
  WriteState(preset->chunk);
  if (name && name[0]) CopyBounded(preset->name, sizeof preset->name, name);
}

bool IPlugBase::SerializePresets(StateChunk& chunk) {
  for (const IPlugPreset& p : presets_) {
    if (!chunk.PutString(p.name) || !chunk.PutBool(p.initialized)) return false;
    if (p.initialized && !chunk.PutChunk(p.chunk)) return false;
  }
  return true;
}

int IPlugBase::UnserializePresets(const StateChunk& chunk, int pos) {
  std::string name;
  for (IPlugPreset& p : presets_) {
    if (pos < 0) break;
    pos = chunk.GetString(&name, pos);
    if (pos < 0) break;
    CopyBounded(p.name, sizeof p.name, name.c_str());
    bool initialized = p.initialized;
    pos = chunk.GetBool(&initialized, pos);
    if (pos < 0) break;
    p.initialized = initialized;
    if (p.initialized) {
      pos = ReadState(chunk, pos);
      if (pos > 0) {
        p.chunk.Clear();
        WriteState(p.chunk);
      }
    }
  }
  LoadPreset(currentPreset_);
  return pos;
}
