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
#include "tools/render/RenderPlugin.h"
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

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Who puts the reference into the shared segment: our sender plug-in on the reference track, or
// the library stand-in with the loudness the render measures.
class ReferencePublisher {
public:
  virtual ~ReferencePublisher() = default;
  // One block of the reference (interleaved, `channels` of them) and its momentary loudness.
  virtual bool Publish(const double* block, int channels, int n, double lufs,
                       std::string* error) = 0;
  // Processing ends; the sender's editor picture goes to `picture` when asked for.
  virtual bool Finish(EditorPicture* picture, std::string* error) = 0;
};

class StandInPublisher : public ReferencePublisher {
public:
  bool Open(std::string* error) {
    if (sender_.Open()) return true;
    *error = "the reference cannot be published: " + sender_.Error();
    return false;
  }
  bool Publish(const double*, int, int, double lufs, std::string*) override {
    sender_.PublishLufs(lufs);
    return true;
  }
  bool Finish(EditorPicture* picture, std::string* error) override {
    sender_.Withdraw();
    if (!picture) return true;
    *error = "--sender-screenshot needs the sender plug-in, not the stand-in";
    return false;
  }

private:
  ReferenceSender sender_;
};

class SenderPluginPublisher : public ReferencePublisher {
public:
  SenderPluginPublisher(std::unique_ptr<RenderPlugin> plug, int blockSize)
      : plug_(std::move(plug)) {
    for (int c = 0; c < 2; ++c) {
      in_[c].assign(blockSize, 0.0);
      out_[c].assign(blockSize, 0.0);
    }
    plug_->Start();
  }
  bool Publish(const double* block, int channels, int n, double, std::string* error) override {
    for (int k = 0; k < n; ++k) {
      in_[0][k] = block[static_cast<size_t>(k) * channels];
      in_[1][k] = channels == 2 ? block[static_cast<size_t>(k) * channels + 1] : 0.0;
    }
    double* ins[2] = {in_[0].data(), in_[1].data()};
    double* outs[2] = {out_[0].data(), out_[1].data()};
    if (plug_->Process(ins, outs, n, error)) return true;
    *error = "the sender plug-in: " + *error;
    return false;
  }
  // The picture is taken while the sender still plays, as a user sees it during playback.
  bool Finish(EditorPicture* picture, std::string* error) override {
    if (picture) {
      RenderOptions asked;
      asked.screenshot = true;
      RenderResult result;
      if (!plug_->Summarize(asked, result, error)) {
        *error = "the sender plug-in: " + *error;
        plug_->Stop();
        return false;
      }
      *picture = std::move(result.editor);
    }
    plug_->Stop();
    return true;
  }

private:
  std::unique_ptr<RenderPlugin> plug_;
  std::vector<double> in_[2], out_[2];
};

// The sender plug-in set up for the reference's rate and channels, with nothing of the
// receiver's parameters or states.
std::unique_ptr<ReferencePublisher> StartSender(const RenderOptions& options,
                                                const AudioInfo& reference, std::string* error) {
  if (options.sender.empty()) {
    auto standIn = std::make_unique<StandInPublisher>();
    if (!standIn->Open(error)) return nullptr;
    return standIn;
  }
  RenderOptions sender;
  sender.plugin = options.sender;
  sender.aax = options.aax;
  sender.blockSize = options.blockSize;
  sender.singlePrecision = options.singlePrecision;
  sender.progress = false;
  std::unique_ptr<RenderPlugin> plug = options.aax ? StartAaxPlugin(sender, reference, error)
                                                   : StartVst2Plugin(sender, reference, error);
  if (!plug) {
    *error = "the sender plug-in: " + *error;
    return nullptr;
  }
  return std::make_unique<SenderPluginPublisher>(std::move(plug), options.blockSize);
}

// The block loop: for every block the sender publishes the reference's loudness, the plug-in
// processes the input, and the output is measured and written.
class RenderLoop {
public:
  RenderLoop(const RenderOptions& options, AudioReader& input, AudioReader& reference,
             AudioWriter& output, RenderPlugin& plug, RenderResult& result)
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
    }
  }

  bool Run(ReferencePublisher& sender, std::string* error);

  // Integrated loudness of the three signals, once the loop has run.
  void StoreIntegrated() {
    r_.input.integrated = inMeter_.Integrated();
    r_.reference.integrated = refMeter_.Integrated();
    r_.output.integrated = outMeter_.Integrated();
  }

private:
  bool ReadInput(int* frames, std::string* error);
  bool FeedReference(int n, ReferencePublisher& sender, std::string* error);
  void TakeInput(int n);
  bool Process(int n, std::string* error);
  bool Emit(int n, std::string* error);

  const RenderOptions& options_;
  AudioReader &input_, &reference_;
  AudioWriter& output_;
  RenderPlugin& plug_;
  RenderResult& r_;
  const int ch_, refCh_, block_;
  LoudnessMeter inMeter_, refMeter_, outMeter_;
  std::vector<double> inBuf_, refBuf_, outBuf_; // interleaved, as the files hold them
  std::vector<double> dIn_[2], dOut_[2];        // the plug-in's channels
  bool leading_ = true, referenceEnded_ = false;
  double inPlugin_ = 0.0;
};

bool RenderLoop::Run(ReferencePublisher& sender, std::string* error) {
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
bool RenderLoop::FeedReference(int n, ReferencePublisher& sender, std::string* error) {
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
  return sender.Publish(refBuf_.data(), refCh_, n, refLufs, error);
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
  double* ins[2] = {dIn_[0].data(), dIn_[1].data()};
  double* outs[2] = {dOut_[0].data(), dOut_[1].data()};
  const bool ran = plug_.Process(ins, outs, n, error);
  inPlugin_ += Now() - t0;
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
  std::unique_ptr<RenderPlugin> plug = options.aax ? StartAaxPlugin(options, input.Info(), error)
                                                   : StartVst2Plugin(options, input.Info(), error);
  if (!plug) return false;

  std::unique_ptr<ReferencePublisher> sender = StartSender(options, reference.Info(), error);
  if (!sender) return false;
  plug->Start();
  RenderLoop loop(options, input, reference, output, *plug, r);
  if (!loop.Run(*sender, error)) return false;
  if (!sender->Finish(options.senderScreenshot ? &r.senderEditor : nullptr, error)) return false;
  plug->Stop();
  loop.StoreIntegrated();
  r.lagBlocks = static_cast<int>(r.silentFrames / options.blockSize);
  return plug->Summarize(options, r, error);
}
