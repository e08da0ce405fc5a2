#include "tools/render/Render.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "tools/render/Progress.h"
#include "tools/sender/ReferenceSender.h"
#include "tools/vsthost/VstHost.h"
#include "iplug/vst2/vst2_vendor.h"
#include "os/SharedMemory.h"

#if defined(_WIN32)
#include <process.h>
#define ZT_GETPID _getpid
#else
#include <unistd.h>
#define ZT_GETPID getpid
#endif

namespace {

std::atomic<bool> gStop{false};

// -90 dBFS: what the receiver counts as leading silence.
const double kSilenceThreshold = std::exp(-10.361632918473001);

void SetEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value ? value : "");
#else
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
#endif
}

// A session key of this render for the plug-in and the sender, so that a render never meets the
// receivers and senders of a running session; the segment is removed when the render ends.
class PrivateSession {
public:
  PrivateSession() {
    if (const char* old = getenv("ZOLVARTESK_SESSION")) {
      hadOld_ = true;
      old_ = old;
    }
    const std::string key = "render-" + std::to_string(ZT_GETPID());
    SetEnvironment("ZOLVARTESK_SESSION", key.c_str());
    name_ = zt::os::SharedName(kSegmentBaseName);
    zt::os::RemoveShared(name_); // a leftover of a crashed render with the same process id
  }
  ~PrivateSession() {
    zt::os::RemoveShared(name_);
    SetEnvironment("ZOLVARTESK_SESSION", hadOld_ ? old_.c_str() : nullptr);
  }
  PrivateSession(const PrivateSession&) = delete;
  PrivateSession& operator=(const PrivateSession&) = delete;

private:
  std::string name_, old_;
  bool hadOld_ = false;
};

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseDouble(const std::string& text, double* out) {
  const char* s = text.c_str();
  char* end = nullptr;
  const double v = strtod(s, &end);
  if (end == s || !std::isfinite(v)) return false;
  while (*end == ' ')
    ++end;
  if (*end) return false;
  *out = v;
  return true;
}

std::string ParamList(VstPlugin& plug) {
  std::string list;
  for (int i = 0; i < plug.NumParams(); ++i)
    list += (i ? ", " : "") + plug.ParamName(i);
  return list;
}

// A parameter by its name (any case) or its index; -1 when there is none.
int FindParam(VstPlugin& plug, const std::string& key) {
  double index = 0;
  if (ParseDouble(key, &index) && index == std::floor(index) && index >= 0 &&
      index < plug.NumParams())
    return static_cast<int>(index);
  for (int i = 0; i < plug.NumParams(); ++i)
    if (Lower(plug.ParamName(i)) == Lower(key)) return i;
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
    if (!ParseDouble(text, &v)) {
      *error = "parameter '" + name + "' needs a number, got '" + text + "'";
      return false;
    }
    char lo[64] = {}, hi[64] = {};
    plug.Dispatch(kEffVendorSpecific, kVendorFormatNormalized, index, lo, 0.0f);
    plug.Dispatch(kEffVendorSpecific, kVendorFormatNormalized, index, hi, 1.0f);
    double minV = 0, maxV = 0;
    if (ParseDouble(lo, &minV) && ParseDouble(hi, &maxV) && minV <= maxV &&
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

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The plug-in, set up as a host sets up an insert on a track: rate, block size, the file's
// channels, the state to load and the parameter texts, in that order.
std::unique_ptr<VstPlugin> StartPlugin(const RenderOptions& options, VstModule& module,
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

// The block loop: for every block the sender publishes the reference's loudness, the plug-in
// processes the input, and the output is measured and written.
class RenderLoop {
public:
  RenderLoop(const RenderOptions& options, AudioReader& input, AudioReader& reference,
             AudioWriter& output, VstPlugin& plug, RenderResult& result)
      : options_(options), input_(input), reference_(reference), output_(output), plug_(plug),
        r_(result), ch_(input.Info().channels), refCh_(reference.Info().channels),
        block_(options.blockSize), inMeter_(ch_, r_.rate), refMeter_(refCh_, r_.rate),
        outMeter_(ch_, r_.rate) {
    inBuf_.resize(static_cast<size_t>(block_) * ch_);
    refBuf_.resize(static_cast<size_t>(block_) * refCh_);
    outBuf_.resize(static_cast<size_t>(block_) * ch_);
    for (int c = 0; c < 2; ++c) {
      dIn_[c].assign(block_, 0.0);
      dOut_[c].assign(block_, 0.0);
      fIn_[c].assign(block_, 0.0f);
      fOut_[c].assign(block_, 0.0f);
    }
  }

  bool Run(ReferenceSender& sender, std::string* error);

  // Integrated loudness of the three signals, once the loop has run.
  void StoreIntegrated() {
    r_.input.integrated = inMeter_.Integrated();
    r_.reference.integrated = refMeter_.Integrated();
    r_.output.integrated = outMeter_.Integrated();
  }

private:
  bool ReadInput(int* frames, std::string* error);
  bool FeedReference(int n, ReferenceSender& sender, std::string* error);
  void TakeInput(int n);
  bool Process(int n, std::string* error);
  bool Emit(int n, std::string* error);

  const RenderOptions& options_;
  AudioReader &input_, &reference_;
  AudioWriter& output_;
  VstPlugin& plug_;
  RenderResult& r_;
  const int ch_, refCh_, block_;
  LoudnessMeter inMeter_, refMeter_, outMeter_;
  std::vector<double> inBuf_, refBuf_, outBuf_; // interleaved, as the files hold them
  std::vector<double> dIn_[2], dOut_[2];        // the plug-in's channels
  std::vector<float> fIn_[2], fOut_[2];
  bool leading_ = true, referenceEnded_ = false;
  double inPlugin_ = 0.0;
};

bool RenderLoop::Run(ReferenceSender& sender, std::string* error) {
  if (!inMeter_.Ok() || !refMeter_.Ok() || !outMeter_.Ok()) {
    *error = "cannot measure loudness at " + std::to_string(r_.rate) + " Hz";
    return false;
  }
  const int64_t total = input_.Info().frames;
  const size_t expectedBlocks = static_cast<size_t>((total + block_ - 1) / block_);
  for (LoudnessCurve* curve : {&r_.input, &r_.reference, &r_.output})
    curve->momentary.reserve(expectedBlocks);

  Progress progress(options_.progress ? total : 0, r_.rate);
  const double start = Now();
  while (r_.frames < total) {
    if (gStop) {
      r_.interrupted = true;
      *error = "interrupted; nothing was written";
      return false;
    }
    int n = 0;
    if (!ReadInput(&n, error)) return false;
    if (n == 0) break; // the file held fewer frames than it announced
    if (!FeedReference(n, sender, error)) return false;
    TakeInput(n);
    if (!Process(n, error) || !Emit(n, error)) return false;
    r_.frames += n;
    progress.Update(r_.frames);
  }
  r_.wallSeconds = Now() - start;
  r_.pluginSeconds = inPlugin_;
  return true;
}

bool RenderLoop::ReadInput(int* frames, std::string* error) {
  const int want = static_cast<int>(std::min<int64_t>(block_, input_.Info().frames - r_.frames));
  *frames = std::max(0, static_cast<int>(input_.Read(inBuf_.data(), want)));
  if (*frames == 0 && !input_.Error().empty()) {
    *error = input_.Error();
    return false;
  }
  return true;
}

// The sender's side: the reference's loudness after this block's frames, published before the
// block reaches the plug-in. Past the reference's end it plays silence.
bool RenderLoop::FeedReference(int n, ReferenceSender& sender, std::string* error) {
  int got = 0;
  if (!referenceEnded_) {
    got = static_cast<int>(reference_.Read(refBuf_.data(), n));
    if (got < n) {
      if (!reference_.Error().empty()) {
        *error = reference_.Error();
        return false;
      }
      referenceEnded_ = true;
    }
  }
  std::fill(refBuf_.begin() + static_cast<ptrdiff_t>(got) * refCh_,
            refBuf_.begin() + static_cast<ptrdiff_t>(n) * refCh_, 0.0);
  r_.referenceFrames += got;
  refMeter_.Add(refBuf_.data(), n);
  const double refLufs = refMeter_.Momentary();
  r_.reference.momentary.push_back(refLufs);
  sender.PublishLufs(refLufs);
  return true;
}

// Measures the input, counts its leading silence as the receiver does, and splits it into the
// plug-in's channels (a mono file feeds the left one beside silence).
void RenderLoop::TakeInput(int n) {
  inMeter_.Add(inBuf_.data(), n);
  r_.input.momentary.push_back(inMeter_.Momentary());
  for (int k = 0; k < n; ++k) {
    const double left = inBuf_[static_cast<size_t>(k) * ch_];
    const double right = ch_ == 2 ? inBuf_[static_cast<size_t>(k) * ch_ + 1] : 0.0;
    if (leading_) {
      if (std::max(std::fabs(left), std::fabs(right)) < kSilenceThreshold)
        ++r_.silentFrames;
      else
        leading_ = false;
    }
    dIn_[0][k] = left;
    dIn_[1][k] = right;
  }
}

bool RenderLoop::Process(int n, std::string* error) {
  const double t0 = Now();
  bool ran;
  if (options_.singlePrecision) {
    for (int c = 0; c < 2; ++c)
      std::copy_n(dIn_[c].begin(), n, fIn_[c].begin());
    float* ins[2] = {fIn_[0].data(), fIn_[1].data()};
    float* outs[2] = {fOut_[0].data(), fOut_[1].data()};
    ran = plug_.ProcessReplacing(ins, outs, n);
    for (int c = 0; c < 2; ++c)
      std::copy_n(fOut_[c].begin(), n, dOut_[c].begin());
    if (!ran) *error = "the plug-in has no single-precision processing";
  } else {
    double* ins[2] = {dIn_[0].data(), dIn_[1].data()};
    double* outs[2] = {dOut_[0].data(), dOut_[1].data()};
    ran = plug_.ProcessDouble(ins, outs, n);
    if (!ran) *error = "the plug-in has no 64-bit processing (try --single)";
  }
  inPlugin_ += Now() - t0;
  plug_.transport.Advance(n);
  return ran;
}

bool RenderLoop::Emit(int n, std::string* error) {
  for (int k = 0; k < n; ++k)
    for (int c = 0; c < ch_; ++c)
      outBuf_[static_cast<size_t>(k) * ch_ + c] = dOut_[c][k];
  outMeter_.Add(outBuf_.data(), n);
  r_.output.momentary.push_back(outMeter_.Momentary());
  return output_.Write(outBuf_.data(), n, error);
}

// What the session looks like after the render: the parameters, the editor (the last block's
// read-outs, the switches and the target as they were left) and the state to save.
bool Summarize(const RenderOptions& options, VstPlugin& plug, RenderResult& r, std::string* error) {
  r.lagBlocks = static_cast<int>(r.silentFrames / options.blockSize);
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

void RequestStop() {
  gStop = true;
}

bool Render(const RenderOptions& options, AudioReader& input, AudioReader& reference,
            AudioWriter& output, RenderResult* result, std::string* error) {
  RenderResult& r = *result;
  r.rate = input.Info().rate;
  r.blockSize = options.blockSize;

  PrivateSession session;
  std::string err;
  std::unique_ptr<VstModule> module = VstModule::Load(options.plugin, &err);
  if (!module) {
    *error = "cannot load the plug-in '" + options.plugin + "': " + err;
    return false;
  }
  std::unique_ptr<VstPlugin> plug = StartPlugin(options, *module, input.Info(), error);
  if (!plug) return false;

  ReferenceSender sender;
  if (!sender.Open()) {
    *error = "the reference cannot be published: " + sender.Error();
    return false;
  }
  plug->transport.playing = true;
  plug->transport.samplePos = 0.0;
  plug->Resume();

  RenderLoop loop(options, input, reference, output, *plug, r);
  if (!loop.Run(sender, error)) return false;
  sender.Withdraw();
  plug->Suspend();
  loop.StoreIntegrated();
  if (!Summarize(options, *plug, r, error)) return false;
  plug->Close();
  return true;
}
