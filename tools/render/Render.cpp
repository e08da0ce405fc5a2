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

constexpr intptr_t kVendorAnswer = 0xBEEF;

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
  const bool continuous =
      plug.Dispatch(kEffVendorSpecific, 8, index, nullptr, 0.0f) != kVendorAnswer;
  if (continuous) {
    double v = 0;
    if (!ParseDouble(text, &v)) {
      *error = "parameter '" + name + "' needs a number, got '" + text + "'";
      return false;
    }
    char lo[64] = {}, hi[64] = {};
    plug.Dispatch(kEffVendorSpecific, 7, index, lo, 0.0f);
    plug.Dispatch(kEffVendorSpecific, 7, index, hi, 1.0f);
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

} // namespace

void RequestStop() {
  gStop = true;
}

bool Render(const RenderOptions& options, AudioReader& input, AudioReader& reference,
            AudioWriter& output, RenderResult* result, std::string* error) {
  RenderResult& r = *result;
  const AudioInfo& ii = input.Info();
  const AudioInfo& ri = reference.Info();
  const int ch = ii.channels, refCh = ri.channels, block = options.blockSize;
  r.rate = ii.rate;
  r.blockSize = block;

  PrivateSession session;

  // The plug-in, set up as a host sets up an insert on a track.
  std::string err;
  std::unique_ptr<VstModule> module = VstModule::Load(options.plugin, &err);
  if (!module) {
    *error = "cannot load the plug-in '" + options.plugin + "': " + err;
    return false;
  }
  std::unique_ptr<VstPlugin> plug = VstPlugin::Create(*module, &err);
  if (!plug) {
    *error = "the plug-in '" + options.plugin + "' did not start: " + err;
    return false;
  }
  // An offline render: long files would make a record of every host call grow without end.
  plug->recordCalls = false;
  plug->offline = true;
  plug->hostProductName = "zt-render";
  plug->Open();
  plug->SetSampleRate(ii.rate);
  plug->SetBlockSize(block);
  VstSpeakerArrangement inArr{}, outArr{};
  inArr.type = outArr.type = ch == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
  inArr.numChannels = outArr.numChannels = ch;
  plug->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&inArr), &outArr, 0.0f);

  if (!options.loadState.empty()) {
    std::string bytes;
    if (!ReadSmallFile(options.loadState, 1 << 20, &bytes, error)) return false;
    if (bytes.empty() ||
        !plug->SetChunk(std::vector<uint8_t>(bytes.begin(), bytes.end()), /*program=*/true)) {
      *error = "the state file '" + options.loadState + "' was refused by the plug-in";
      return false;
    }
  }
  for (const auto& [key, text] : options.params)
    if (!ApplyParam(*plug, key, text, error)) return false;

  ReferenceSender sender;
  if (!sender.Open()) {
    *error = "the reference cannot be published: " + sender.Error();
    return false;
  }

  plug->transport.playing = true;
  plug->transport.samplePos = 0.0;
  plug->Resume();

  LoudnessMeter inMeter(ch, ii.rate), refMeter(refCh, ii.rate), outMeter(ch, ii.rate);
  if (!inMeter.Ok() || !refMeter.Ok() || !outMeter.Ok()) {
    *error = "cannot measure loudness at " + std::to_string(ii.rate) + " Hz";
    return false;
  }

  std::vector<double> inBuf(static_cast<size_t>(block) * ch),
      refBuf(static_cast<size_t>(block) * refCh), outBuf(static_cast<size_t>(block) * ch);
  std::vector<double> dIn[2], dOut[2];
  std::vector<float> fIn[2], fOut[2];
  for (int c = 0; c < 2; ++c) {
    dIn[c].assign(block, 0.0);
    dOut[c].assign(block, 0.0);
    fIn[c].assign(block, 0.0f);
    fOut[c].assign(block, 0.0f);
  }
  double* dInPtr[2] = {dIn[0].data(), dIn[1].data()};
  double* dOutPtr[2] = {dOut[0].data(), dOut[1].data()};
  float* fInPtr[2] = {fIn[0].data(), fIn[1].data()};
  float* fOutPtr[2] = {fOut[0].data(), fOut[1].data()};

  const size_t expectedBlocks = static_cast<size_t>((ii.frames + block - 1) / block);
  r.input.momentary.reserve(expectedBlocks);
  r.reference.momentary.reserve(expectedBlocks);
  r.output.momentary.reserve(expectedBlocks);

  Progress progress(options.progress ? ii.frames : 0, ii.rate);
  bool leading = true;
  bool referenceEnded = false;
  const double start = Now();
  double inPlugin = 0.0;

  while (r.frames < ii.frames) {
    if (gStop) {
      progress.Finish();
      r.interrupted = true;
      *error = "interrupted; nothing was written";
      return false;
    }
    const int want = static_cast<int>(std::min<int64_t>(block, ii.frames - r.frames));
    const int n = static_cast<int>(input.Read(inBuf.data(), want));
    if (n <= 0) {
      const std::string why = input.Error();
      if (!why.empty()) {
        progress.Finish();
        *error = why;
        return false;
      }
      break; // the file held fewer frames than it announced
    }

    // The sender's side: the reference's loudness after this block's frames, published before
    // the block reaches the plug-in. Past the reference's end it plays silence.
    int got = 0;
    if (!referenceEnded) {
      got = static_cast<int>(reference.Read(refBuf.data(), n));
      if (got < n) {
        const std::string why = reference.Error();
        if (!why.empty()) {
          progress.Finish();
          *error = why;
          return false;
        }
        referenceEnded = true;
      }
    }
    std::fill(refBuf.begin() + static_cast<ptrdiff_t>(got) * refCh,
              refBuf.begin() + static_cast<ptrdiff_t>(n) * refCh, 0.0);
    r.referenceFrames += got;
    refMeter.Add(refBuf.data(), n);
    const double refLufs = refMeter.Momentary();
    r.reference.momentary.push_back(refLufs);
    sender.PublishLufs(refLufs);

    inMeter.Add(inBuf.data(), n);
    r.input.momentary.push_back(inMeter.Momentary());

    for (int k = 0; k < n; ++k) {
      const double left = inBuf[static_cast<size_t>(k) * ch];
      const double right = ch == 2 ? inBuf[static_cast<size_t>(k) * ch + 1] : 0.0;
      if (leading) {
        if (std::max(std::fabs(left), std::fabs(right)) < kSilenceThreshold)
          ++r.silentFrames;
        else
          leading = false;
      }
      dIn[0][k] = left;
      dIn[1][k] = right;
    }

    const double t0 = Now();
    if (options.singlePrecision) {
      for (int c = 0; c < 2; ++c)
        for (int k = 0; k < n; ++k)
          fIn[c][k] = static_cast<float>(dIn[c][k]);
      if (!plug->ProcessReplacing(fInPtr, fOutPtr, n)) {
        progress.Finish();
        *error = "the plug-in has no single-precision processing";
        return false;
      }
      for (int c = 0; c < 2; ++c)
        for (int k = 0; k < n; ++k)
          dOut[c][k] = fOut[c][k];
    } else {
      if (!plug->ProcessDouble(dInPtr, dOutPtr, n)) {
        progress.Finish();
        *error = "the plug-in has no 64-bit processing (try --single)";
        return false;
      }
    }
    inPlugin += Now() - t0;
    plug->transport.Advance(n);

    for (int k = 0; k < n; ++k)
      for (int c = 0; c < ch; ++c)
        outBuf[static_cast<size_t>(k) * ch + c] = dOut[c][k];
    outMeter.Add(outBuf.data(), n);
    r.output.momentary.push_back(outMeter.Momentary());
    if (!output.Write(outBuf.data(), n, error)) {
      progress.Finish();
      return false;
    }
    r.frames += n;
    progress.Update(r.frames);
  }
  progress.Finish();
  r.wallSeconds = Now() - start;
  r.pluginSeconds = inPlugin;
  sender.Withdraw();

  plug->Suspend();
  r.input.integrated = inMeter.Integrated();
  r.reference.integrated = refMeter.Integrated();
  r.output.integrated = outMeter.Integrated();
  r.lagBlocks = static_cast<int>(r.silentFrames / block);

  for (int i = 0; i < plug->NumParams(); ++i) {
    std::string label = plug->ParamLabel(i);
    r.finalParams.push_back(plug->ParamName(i) + " " + plug->ParamDisplay(i) +
                            (label.empty() ? "" : " " + label));
  }
  // As the editor would show the session now: the last block's read-outs, the switches and
  // the target as they were left.
  if (options.screenshot && !FetchEditorPicture(*plug, &r.editor, error)) return false;
  if (!options.saveState.empty()) {
    r.state = plug->GetChunk(/*program=*/true);
    if (r.state.empty()) {
      *error = "the plug-in gave no state to save";
      return false;
    }
  }
  plug->Close();
  return true;
}
