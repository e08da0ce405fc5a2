#include "plugin/LoudnessMatcher.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

#include <ebur128.h>

namespace {

constexpr double kDbPerNeper = 8.685889638065037;        // dB of a ratio x is ln(x) * this
constexpr double kNeperPerDb = 0.1151292546497;          // the ratio of d dB is exp(d * this)
constexpr double kSilenceThreshold = 3.1622776601683e-5; // exp(-10.361632918473001), -90 dBFS
constexpr double kGainFloorDb = -120.0; // at or below this, own or reference loudness is silence
// Samples beyond 120 dB above full scale are measured as that much: the meters' filters and
// squares stay finite for any finite input, so a meter can never be poisoned for good.
constexpr double kMeasureLimit = 1e6;
// The histogram keeps the cost of a block constant and allocation-free however long the analysis
// runs; the block list of the plain integrated mode would grow (and be rescanned) forever.
constexpr int kIntegratedMode = EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM;

// --- Safe gain: the gain law of MatchGain holds while the input plays; these rules keep it from
// boosting pauses and from bursting when the input rises faster than the 400 ms meter can see.
// The figures behind each value are in docs/matching.md.

// The fast measure: K-weighted loudness of the last 20 ms from the momentary meter, short
// enough to see a phrase start or a drum hit in the block it happens in, long enough to hold a
// cycle of a voice's or a bass's fundamental. The 5 ms window sees the first block of a surge at
// small blocks, where 20 ms would still be mostly what came before; it reads about 2 dB above
// the 20 ms one on steady material, so it counts 2 dB less.
constexpr unsigned long kFastWindowMs = 20;
constexpr unsigned long kOnsetWindowMs = 5;
constexpr double kOnsetAllowanceDb = 2.0;
// Surge protection: the gain comes down at once so that the output's fast loudness stays within
// 7 dB of the reference's level. Speech's syllables and music's hits reach 6 to 10 dB above their
// own momentary loudness, so a lower allowance would duck every loud syllable; a higher one
// lets a phrase after a pause or a hit after a quiet bar through louder.
constexpr double kSurgeAllowanceDb = 7.0;
// The meter is trusted to raise the gain only while the fast measure lies within 12 dB below to
// 6 dB above it: further below, the meter still holds louder audio that has just ended (a phrase's
// tail, the first 300 ms after a step down); further above, the input has just risen and the
// meter still holds the quieter audio before (an onset).
constexpr double kTrustBelowDb = 12.0;
constexpr double kTrustAboveDb = 6.0;
// ... and only while pause audio fills at most 30 % of its 400 ms window: then the meter reads at
// most 1.5 dB low. Gaps between words stay under that; after a real pause the gain waits about
// 280 ms for the window to refill.
constexpr double kPollutedShare = 0.3;
// Absolute floor, on the momentary loudness, with 4 LU of hysteresis: room tone at -60 dBFS
// measures about -55 to -60 LUFS, dither and digital silence far less; whispered or distant speech
// and quiet passages of music sit at -45 LUFS and above and are still matched.
constexpr double kFloorEnterLufs = -52.0;
constexpr double kFloorLeaveLufs = -48.0;
// Relative gate, on the fast measure against the input's recent programme level: the room tone of
// a recorded voice lies 25 to 45 LU below its phrases, while music that steps down by 18 dB or
// plays a quiet bar stays within 20 LU of its programme level and is matched.
constexpr double kGateEnterDb = 25.0;
constexpr double kGateLeaveDb = 20.0;
// The programme level follows the momentary loudness up at once and falls 3 dB a second, so that
// a pause of a few seconds is still judged against the phrases before it, while a passage that
// stays quieter becomes the programme within some seconds and is matched.
constexpr double kProgrammeFallDbPerSecond = 3.0;
// The ceiling: +40 dB brings an input at the floor (-48 LUFS) up to a reference of -8 LUFS, louder
// than nearly all mastered music; a larger gain could only boost noise.
constexpr double kMaxGainDb = 40.0;
constexpr double kMomentaryWindowSeconds = 0.4;

int32_t RateToInt(double rate) {
  return rate >= 1.0 && rate < 2147483647.0 ? static_cast<int32_t>(rate)
                                            : LoudnessMatcher::kDefaultRate;
}

void Destroy(ebur128_state*& meter) {
  if (meter) ebur128_destroy(&meter);
  meter = nullptr;
}

} // namespace

LoudnessMatcher::LoudnessMatcher() {
  std::fill(std::begin(history_), std::end(history_), kNoReference);
  integrated_ = CreateMeter(kIntegratedMode);
}

LoudnessMatcher::~LoudnessMatcher() {
  Destroy(momentary_);
  Destroy(integrated_);
  Destroy(spare_);
  Destroy(retired_);
}

ebur128_state* LoudnessMatcher::CreateMeter(int mode) const {
  ebur128_state* meter = ebur128_init(2, static_cast<unsigned long>(sampleRateInt_), mode);
  if (meter) {
    ebur128_set_channel(meter, 0, EBUR128_LEFT);
    ebur128_set_channel(meter, 1, EBUR128_RIGHT);
  }
  return meter;
}

// A meter kept at an old rate would measure the wrong loudness after a rate change. What it has
// measured stays (libebur128 keeps its blocks); it answers no change for the same rate.
void LoudnessMatcher::Retune(ebur128_state* meter, int32_t rate) {
  if (meter) ebur128_change_parameters(meter, 2, static_cast<unsigned long>(rate));
}

void LoudnessMatcher::Prepare(double sampleRate) {
  const int32_t rate = RateToInt(sampleRate);
  const bool rateChanged = rate != sampleRateInt_;
  sampleRateInt_ = rate;
  // Frames still waiting were measured at the old rate: the meters take them first.
  Flush(momentary_, pendingMomentary_);
  Flush(integrated_, pendingIntegrated_);
  if (!momentary_)
    momentary_ = CreateMeter(EBUR128_MODE_M);
  else
    Retune(momentary_, rate);
  Retune(integrated_, rate);
  // A spare has measured nothing: made afresh at the new rate it is exactly a new meter.
  if (rateChanged) Destroy(spare_);
  PrepareSpare();

  smoothedGain_ = 0.0;
  // Nothing has played yet: as after a pause of a whole window, the gain waits at unity for the
  // meter to fill.
  holdGain_ = 1.0;
  programme_ = kGainFloorDb;
  paused_ = belowFloor_ = true;
  gap_ = trusted_ = surged_ = false;
  pauseInWindow_ = MomentaryWindowFrames();
  lastBlockSize_ = 0; // the next block recomputes the coefficients
  silentSamples_ = 0;
  leadingSilence_ = true;
  historyWrite_ = 0;
}

void LoudnessMatcher::PrepareSpare() {
  Destroy(retired_);
  if (waiting_) {
    pendingIntegrated_.count = 0;
    Destroy(integrated_);
    integrated_ = CreateMeter(kIntegratedMode);
    integratedFed_ = false;
    framesSinceIntegrated_ = 0;
    waiting_ = false;
  }
  if (!spare_) spare_ = CreateMeter(kIntegratedMode);
}

void LoudnessMatcher::RestartAnalysis() {
  started_ = true;
  integratedLoudness_ = 0.0;
  framesSinceIntegrated_ = 0;
  if (integrated_ && !integratedFed_ && !waiting_) return; // it has measured nothing yet
  pendingIntegrated_.count = 0; // they belong to the measurement that ends here
  if (spare_) {
    retired_ = integrated_; // no spare exists while one is retired
    integrated_ = spare_;
    spare_ = nullptr;
    integratedFed_ = false;
    waiting_ = false;
  } else {
    waiting_ = true;
  }
}

void LoudnessMatcher::BeginBlock(int frames, double sampleRate) {
  if (frames == lastBlockSize_) return;
  // The time constant is 4000 ms of a block each; the block size does not enter the value.
  const double exponent = 1.0 / (4000.0 / sampleRate * sampleRateInt_ * 0.001);
  risingCoeff_ = fallingCoeff_ = std::pow(0.01, exponent);
  lastBlockSize_ = frames;
}

int LoudnessMatcher::CountLeadingSilence(bool playing, const double* left, const double* right,
                                         int frames) {
  if (!playing) {
    silentSamples_ = 0;
    leadingSilence_ = true;
    historyWrite_ = 0;
  } else {
    for (int k = 0; k < frames && leadingSilence_; ++k) {
      const double p = std::max(std::fabs(right[k]), std::fabs(left[k]));
      if (p < kSilenceThreshold) {
        if (silentSamples_ < INT32_MAX) ++silentSamples_;
      } else {
        leadingSilence_ = false;
      }
    }
  }
  // The history cannot reach further back than its own length.
  delay_ = std::min(silentSamples_ / frames, kHistoryLength - 1);
  return delay_;
}

namespace {

// Interleaves a block for a meter. One bad sample must not poison a meter for good: it is
// measured as silence. The usual block, every sample finite and within the limit, is only
// interleaved.
void Interleave(double* out, const double* left, const double* right, int frames) {
  bool clean = true;
  for (int k = 0; k < frames; ++k) // a NaN compares false
    clean &= (std::fabs(left[k]) <= kMeasureLimit) & (std::fabs(right[k]) <= kMeasureLimit);
  if (clean) {
    for (int k = 0; k < frames; ++k) {
      out[2 * k] = left[k];
      out[2 * k + 1] = right[k];
    }
    return;
  }
  for (int k = 0; k < frames; ++k) {
    const double l = left[k], r = right[k];
    out[2 * k] = std::isfinite(l) ? std::clamp(l, -kMeasureLimit, kMeasureLimit) : 0.0;
    out[2 * k + 1] = std::isfinite(r) ? std::clamp(r, -kMeasureLimit, kMeasureLimit) : 0.0;
  }
}

} // namespace

void LoudnessMatcher::Measure(ebur128_state* meter, const double* left, const double* right,
                              int frames) {
  for (int start = 0; start < frames; start += kFrameBufferFrames) {
    const int n = std::min(kFrameBufferFrames, frames - start);
    Interleave(frameBuffer_, left + start, right + start, n);
    ebur128_add_frames_double(meter, frameBuffer_, static_cast<size_t>(n));
  }
}

void LoudnessMatcher::Feed(ebur128_state* meter, PendingFrames& pending, const double* left,
                           const double* right, int frames) {
  if (pending.count + frames > kPendingFrames) Flush(meter, pending);
  if (frames > kPendingFrames) {
    Measure(meter, left, right, frames);
    return;
  }
  Interleave(pending.data + 2 * pending.count, left, right, frames);
  pending.count += frames;
}

void LoudnessMatcher::Flush(ebur128_state* meter, PendingFrames& pending) {
  if (meter && pending.count > 0)
    ebur128_add_frames_double(meter, pending.data, static_cast<size_t>(pending.count));
  pending.count = 0;
}

bool LoudnessMatcher::DueForQuery(int64_t& framesSinceQuery, int frames) const {
  framesSinceQuery += frames;
  if (framesSinceQuery * 1000 < sampleRateInt_) return false;
  framesSinceQuery = 0;
  return true;
}

double LoudnessMatcher::MeasureInput(const double* left, const double* right, int frames) {
  measuredAfresh_ = false;
  // Without a meter (no sample rate was ever set) there is no measurement, hence no matching.
  if (!momentary_) {
    own_ = fast_ = surgeLevel_ = -HUGE_VAL;
    measuredAfresh_ = true;
    return own_;
  }
  Feed(momentary_, pendingMomentary_, left, right, frames);
  if (DueForQuery(framesSinceMomentary_, frames)) {
    Flush(momentary_, pendingMomentary_);
    own_ = 0.0;
    ebur128_loudness_momentary(momentary_, &own_);
    fast_ = Window(kFastWindowMs, own_);
    surgeLevel_ = std::max(fast_, Window(kOnsetWindowMs, fast_) - kOnsetAllowanceDb);
    // A block longer than the fast window: a hit early in it counts too.
    const double blockMs = 1000.0 * frames / sampleRateInt_;
    if (blockMs > kFastWindowMs)
      surgeLevel_ = std::max(
          surgeLevel_,
          Window(static_cast<unsigned long>(std::min(blockMs, 1000.0 * kMomentaryWindowSeconds)),
                 fast_));
    measuredAfresh_ = true;
  }
  return own_;
}

double LoudnessMatcher::Window(unsigned long ms, double otherwise) const {
  double lufs = -HUGE_VAL;
  // At absurd rates a window may hold no frame at all; what it would say is not known.
  if (ebur128_loudness_window(momentary_, ms, &lufs) != EBUR128_SUCCESS || std::isnan(lufs))
    return otherwise;
  return lufs;
}

double LoudnessMatcher::MatchGain(double referenceDb) {
  history_[historyWrite_] = referenceDb;
  const double ref = history_[(historyWrite_ - delay_ + kHistoryLength) % kHistoryLength];
  historyWrite_ = (historyWrite_ + 1) % kHistoryLength;
  lastReference_ = ref;

  const bool haveReference = ref > kGainFloorDb;
  double target = 1.0;
  if (haveReference && own_ > kGainFloorDb) {
    target = std::exp(ref * kNeperPerDb) / std::exp(own_ * kNeperPerDb);
    // A difference beyond what a double can express is no usable reference either.
    if (!std::isfinite(target)) target = 1.0;
  }
  target = std::fabs(target);

  JudgeInput();
  // Without a reference the receiver is neutral and moves to unity, pause or not.
  if (haveReference) {
    target = std::min(target, std::exp(kMaxGainDb * kNeperPerDb));
    // In a pause, and while the meter cannot be trusted, the gain may fall but not rise above the
    // gain the programme had (unity before anything has played since the reset).
    if (paused_ || !trusted_) target = std::min(target, holdGain_);
  }

  const double c = target > smoothedGain_ ? risingCoeff_ : fallingCoeff_;
  smoothedGain_ = (1.0 - c) * target + c * smoothedGain_;

  // A surge takes the gain down in this block, not through the smoothing; the next blocks rise
  // from there as the smoothing allows.
  surged_ = false;
  if (haveReference && surgeLevel_ > kGainFloorDb) {
    const double cap = std::exp((ref + kSurgeAllowanceDb - surgeLevel_) * kNeperPerDb);
    if (cap < smoothedGain_) {
      smoothedGain_ = cap;
      surged_ = true;
    }
  }
  if (!paused_ && trusted_) holdGain_ = smoothedGain_;
  return smoothedGain_;
}

void LoudnessMatcher::JudgeInput() {
  const double seconds = static_cast<double>(lastBlockSize_) / sampleRateInt_;
  programme_ =
      std::max(own_, std::max(programme_ - kProgrammeFallDbPerSecond * seconds, kGainFloorDb));
  // A comparison with a NaN is false, so a level that is not a number counts as quiet.
  belowFloor_ = belowFloor_ ? !(own_ > kFloorLeaveLufs) : !(own_ >= kFloorEnterLufs);
  gap_ = gap_ ? !(fast_ > programme_ - kGateLeaveDb) : !(fast_ >= programme_ - kGateEnterDb);
  paused_ = belowFloor_ || gap_;
  // Pause audio in the meter's window grows while the pause lasts and leaves as the window
  // refills.
  const int64_t window = MomentaryWindowFrames();
  if (paused_)
    pauseInWindow_ = std::min<int64_t>(pauseInWindow_ + lastBlockSize_, window);
  else
    pauseInWindow_ = std::max<int64_t>(pauseInWindow_ - lastBlockSize_, 0);
  trusted_ = pauseInWindow_ <= kPollutedShare * static_cast<double>(window) &&
             fast_ >= own_ - kTrustBelowDb && fast_ <= own_ + kTrustAboveDb;
}

int64_t LoudnessMatcher::MomentaryWindowFrames() const {
  return static_cast<int64_t>(kMomentaryWindowSeconds * sampleRateInt_);
}

bool LoudnessMatcher::Analyze(const double* left, const double* right, int frames) {
  if (!started_ || !integrated_ || waiting_) return false;
  Feed(integrated_, pendingIntegrated_, left, right, frames);
  integratedFed_ = true;
  if (DueForQuery(framesSinceIntegrated_, frames)) {
    Flush(integrated_, pendingIntegrated_);
    ebur128_loudness_global(integrated_, &integratedLoudness_);
  }
  return true;
}

double LoudnessMatcher::NormalizationGain(double targetLufs, double integratedLufs) {
  return std::exp(targetLufs * kNeperPerDb) / std::exp(integratedLufs * kNeperPerDb);
}

double LoudnessMatcher::OutputLoudness(double normalisationGain) const {
  return own_ + std::log(std::fabs(normalisationGain * smoothedGain_)) * kDbPerNeper;
}
