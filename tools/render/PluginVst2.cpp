// The receiver's VST2 module in a render, through the VST2 host harness.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "iplug/vst2/vst2_vendor.h"
#include "tools/render/RenderPlugin.h"
#include "tools/render/Screenshot.h"
#include "tools/vsthost/VstHost.h"

std::string LowerCase(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseWholeNumber(const std::string& text, double* out) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = strtod(s, &end);
  if (end == s || errno == ERANGE || !std::isfinite(v)) return false;
  while (*end == ' ')
    ++end;
  if (*end) return false;
  *out = v;
  return true;
}

namespace {

std::string ParamList(VstPlugin& plug) {
  std::string list;
  for (int i = 0; i < plug.NumParams(); ++i)
    list += (i ? ", " : "") + plug.ParamName(i);
  return list;
}

// A parameter by its name (any case) or its index; -1 when there is none.
int FindParam(VstPlugin& plug, const std::string& key) {
  double index = 0;
  if (ParseWholeNumber(key, &index) && index == std::floor(index) && index >= 0 &&
      index < plug.NumParams())
    return static_cast<int>(index);
  for (int i = 0; i < plug.NumParams(); ++i)
    if (LowerCase(plug.ParamName(i)) == LowerCase(key)) return i;
  return -1;
}

// Sets a parameter from its text through opcode 27. Texts of switches are judged by the plug-in
// itself; a number for a continuous parameter must be one, and lie in the range the plug-in
// displays for its ends, since the plug-in would store a non-number as 0 and clamp the rest.
bool ApplyParam(VstPlugin& plug, const std::string& key, const std::string& text,
                std::string* error) {
  const int index = FindParam(plug, key);
  if (index < 0) {
    *error = "the plug-in has no parameter '" + key + "' (it has " + ParamList(plug) + ")";
    return false;
  }
  const std::string name = plug.ParamName(index);
  const bool continuous = plug.Dispatch(kEffVendorSpecific, kVendorParamIsStepped, index, nullptr,
                                        0.0f) != kVendorAnswer;
  if (continuous) {
    double v = 0;
    if (!ParseWholeNumber(text, &v)) {
      *error = "parameter '" + name + "' needs a number, got '" + text + "'";
      return false;
    }
    char lo[64] = {}, hi[64] = {};
    plug.Dispatch(kEffVendorSpecific, kVendorFormatNormalized, index, lo, 0.0f);
    plug.Dispatch(kEffVendorSpecific, kVendorFormatNormalized, index, hi, 1.0f);
    double minV = 0, maxV = 0;
    if (ParseWholeNumber(lo, &minV) && ParseWholeNumber(hi, &maxV) && minV <= maxV &&
        (v < minV || v > maxV)) {
      *error = "parameter '" + name + "' must be from " + lo + " to " + hi + ", got '" + text + "'";
      return false;
    }
  }
  if (!plug.SetParameterText(index, text.c_str())) {
    *error = "the plug-in refused '" + text + "' for parameter '" + name + "'";
    return false;
  }
  return true;
}

// The plug-in, set up as a host sets up an insert on a track: rate, block size, the file's
// channels, the state to load and the parameter texts, in that order.
std::unique_ptr<VstPlugin> SetUpPlugin(const RenderOptions& options, VstModule& module,
                                       const AudioInfo& info, std::string* error) {
  std::string err;
  std::unique_ptr<VstPlugin> plug = VstPlugin::Create(module, &err);
  if (!plug) {
    *error = "the plug-in '" + options.plugin + "' did not start: " + err;
    return nullptr;
  }
  // An offline render: long files would make a record of every host call grow without end.
  plug->recordCalls = false;
  plug->offline = true;
  plug->hostProductName = "zt-render";
  plug->Open();
  plug->SetSampleRate(info.rate);
  plug->SetBlockSize(options.blockSize);
  VstSpeakerArrangement inArr{}, outArr{};
  inArr.type = outArr.type = info.channels == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
  inArr.numChannels = outArr.numChannels = info.channels;
  plug->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&inArr), &outArr, 0.0f);

  if (!options.loadState.empty()) {
    std::string bytes;
    if (!ReadSmallFile(options.loadState, 1 << 20, &bytes, error)) return nullptr;
    if (bytes.empty() ||
        !plug->SetChunk(std::vector<uint8_t>(bytes.begin(), bytes.end()), /*program=*/true)) {
      *error = "the state file '" + options.loadState + "' was refused by the plug-in";
      return nullptr;
    }
  }
  for (const auto& [key, text] : options.params)
    if (!ApplyParam(*plug, key, text, error)) return nullptr;
  return plug;
}

class Vst2Plugin : public RenderPlugin {
public:
  Vst2Plugin(std::unique_ptr<VstModule> module, std::unique_ptr<VstPlugin> plug, bool single)
      : module_(std::move(module)), plug_(std::move(plug)), single_(single) {}
  ~Vst2Plugin() override {
    plug_->Close();
    plug_.reset();
  }

  void Start() override {
    plug_->transport.playing = true;
    plug_->transport.samplePos = 0.0;
    plug_->Resume();
  }
  bool Process(double* const in[2], double* const out[2], int n, std::string* error) override;
  void Stop() override { plug_->Suspend(); }
  bool Summarize(const RenderOptions& options, RenderResult& r, std::string* error) override;

private:
  std::unique_ptr<VstModule> module_;
  std::unique_ptr<VstPlugin> plug_;
  bool single_;
  std::vector<float> fIn_[2], fOut_[2];
};

bool Vst2Plugin::Process(double* const in[2], double* const out[2], int n, std::string* error) {
  bool ran;
  if (single_) {
    for (int c = 0; c < 2; ++c) {
      fIn_[c].resize(static_cast<size_t>(n));
      fOut_[c].resize(static_cast<size_t>(n));
      std::copy_n(in[c], n, fIn_[c].begin());
    }
    float* ins[2] = {fIn_[0].data(), fIn_[1].data()};
    float* outs[2] = {fOut_[0].data(), fOut_[1].data()};
    ran = plug_->ProcessReplacing(ins, outs, n);
    for (int c = 0; c < 2; ++c)
      std::copy_n(fOut_[c].begin(), n, out[c]);
    if (!ran) *error = "the plug-in has no single-precision processing";
  } else {
    double* ins[2] = {in[0], in[1]};
    double* outs[2] = {out[0], out[1]};
    ran = plug_->ProcessDouble(ins, outs, n);
    if (!ran) *error = "the plug-in has no 64-bit processing (try --single)";
  }
  plug_->transport.Advance(n);
  return ran;
}

bool Vst2Plugin::Summarize(const RenderOptions& options, RenderResult& r, std::string* error) {
  VstPlugin& plug = *plug_;
  for (int i = 0; i < plug.NumParams(); ++i) {
    std::string label = plug.ParamLabel(i);
    r.finalParams.push_back(plug.ParamName(i) + " " + plug.ParamDisplay(i) +
                            (label.empty() ? "" : " " + label));
  }
  if (options.screenshot && !FetchEditorPicture(plug, &r.editor, error)) return false;
  if (!options.saveState.empty()) {
    r.state = plug.GetChunk(/*program=*/true);
    if (r.state.empty()) {
      *error = "the plug-in gave no state to save";
      return false;
    }
  }
  return true;
}

} // namespace

std::unique_ptr<RenderPlugin> StartVst2Plugin(const RenderOptions& options, const AudioInfo& info,
                                              std::string* error) {
  std::string err;
  std::unique_ptr<VstModule> module = VstModule::Load(options.plugin, &err);
  if (!module) {
    *error = "cannot load the plug-in '" + options.plugin + "': " + err;
    return nullptr;
  }
  std::unique_ptr<VstPlugin> plug = SetUpPlugin(options, *module, info, error);
  if (!plug) return nullptr;
  return std::make_unique<Vst2Plugin>(std::move(module), std::move(plug), options.singlePrecision);
}
