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
// an allowance above the reference's level: 7 dB, or, while the gain is about what the
// programme's loud parts had (within 3 dB of reference - programme level), the input's own crest
// (its surge level over its momentary loudness) of the 0.5 to 3.5 s before, up to 13 dB.
// Speech's syllables and music's hits reach 6 to 10 dB above their own momentary loudness, sparse
// drums more: what the programme did a moment ago is no surge, and a hit after a quiet bar comes
// out as loud as the hits before it. A gain raised beyond the programme's (a quiet bar, a noisy
// pause) meets its surge with the plain 7 dB; a rise far beyond the allowance (a step up, an
// onset) is never learned as a crest.
constexpr double kSurgeAllowanceDb = 7.0;
constexpr double kMaxSurgeAllowanceDb = 13.0;
constexpr double kProgrammeGainSlackDb = 3.0;
constexpr double kCrestLearnAboveDb = 6.0; // crests beyond the allowance + this are surges
constexpr double kCrestBucketSeconds = 0.1;
constexpr int kCrestSkipBuckets = 5; // the last 0.5 s: the surge being judged
// A programme the meter is seldom sure of (sparse hits, whose 400 ms window never settles: the
// meter was untrusted 80 % of the last second or so of playing) has its held gain follow the
// target at 6 dB a second, so that it is matched within seconds rather than never. A voice is
// trusted for most of its phrases and never takes this way: its pauses and onsets hold.
constexpr double kCreepDbPerSecond = 6.0;
constexpr double kSparseShare = 0.8;
constexpr double kSparseSeconds = 1.0;
// The meter is not trusted to raise the gain while it still holds louder audio that has just
// ended (a phrase's tail, the first 400 ms after a step down): from the moment the fast measure
// falls 12 dB below it until it reads within 1 dB of the fast measure (what was louder has left
// its window), or for a window's length. Its falling reading would raise the gain into a pause
// the gate has not seen yet.
constexpr double kFallenBelowDb = 12.0;
constexpr double kLeftWindowDb = 1.0;
// Nor is it trusted while quiet audio (the fast measure below the floor or 25 LU under the
// programme level) fills more than 30 % of its 400 ms window: up to that it reads at most 1.5 dB
// low. Gaps between words stay under that; after a real pause the gain waits about 280 ms for
// the window to refill.
constexpr double kPollutedShare = 0.3;
// Absolute floor, on the momentary loudness, with 4 LU of hysteresis: room tone at -60 dBFS
// measures about -55 to -60 LUFS, dither and digital silence far less; whispered or distant speech
// and quiet passages of music sit at -45 LUFS and above and are still matched.
constexpr double kFloorEnterLufs = -52.0;
constexpr double kFloorLeaveLufs = -48.0;
// Relative gate, on the momentary loudness against the input's recent programme level: the room
// tone of a recorded voice lies 25 to 45 LU below its phrases, while music that steps down by
// 18 dB or plays a quiet bar stays within 20 LU of its programme level and is matched.
constexpr double kGateEnterDb = 25.0;
constexpr double kGateLeaveDb = 20.0;
// The programme level follows the momentary loudness up at once and falls 1 dB a second, so that
// a pause 27 LU deep is still judged against the phrases before it after 7 s, while a passage
// that stays quieter becomes the programme and is matched (one 22 LU down after 2 s). It learns
// only from readings whose window holds nothing from before the reset.
constexpr double kProgrammeFallDbPerSecond = 1.0;
// The ceiling: +40 dB brings an input at the floor (-48 LUFS) up to a reference of -8 LUFS, louder
// than nearly all mastered music; a larger gain could only boost noise.
constexpr double kMaxGainDb = 40.0;
constexpr double kMomentaryWindowSeconds = 0.4;
// libebur128's filters need a rate of some kilohertz (below about 3.4 kHz they answer NaN, at 16
// and 17 Hz they write past their buffers): below the lowest rate audio hosts offer there are no
// meters, so no measurement and no matching.
constexpr int32_t kMinMeterRate = 8000;

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
  std::fill(std::begin(crest_), std::end(crest_), -HUGE_VAL);
  integrated_ = CreateMeter(kIntegratedMode);
}

LoudnessMatcher::~LoudnessMatcher() {
  Destroy(momentary_);
  Destroy(integrated_);
  Destroy(spare_);
  Destroy(retired_);
}

ebur128_state* LoudnessMatcher::CreateMeter(int mode) const {
  if (sampleRateInt_ < kMinMeterRate) return nullptr;
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
  if (rate < kMinMeterRate) {
    // No meter works here; analysis waits for a rate it can measure at.
    Destroy(momentary_);
    if (integrated_ && started_) waiting_ = true;
    Destroy(integrated_);
    Destroy(spare_);
  } else {
    if (!momentary_)
      momentary_ = CreateMeter(EBUR128_MODE_M);
    else
      Retune(momentary_, rate);
    if (!integrated_ && !waiting_) {
      integrated_ = CreateMeter(kIntegratedMode);
      integratedFed_ = false;
    }
    Retune(integrated_, rate);
    // A spare has measured nothing: made afresh at the new rate it is exactly a new meter.
    if (rateChanged) Destroy(spare_);
    PrepareSpare();
  }

  smoothedGain_ = 0.0;
  // Nothing has played yet: as after a pause of a whole window, the gain waits at unity for the
  // meter to fill.
  holdGain_ = 1.0;
  programme_ = kGainFloorDb;
  paused_ = belowFloor_ = true;
  gap_ = trusted_ = surged_ = false;
  pauseInWindow_ = MomentaryWindowFrames();
  louderInWindow_ = 0;
  untrustedShare_ = 0.0;
  framesSincePrepare_ = 0;
  std::fill(std::begin(crest_), std::end(crest_), -HUGE_VAL);
  crestFrames_ = 0;
  lastIntervalPeak_ = 0.0; // unknown until a millisecond has been asked
  intervalPeak_ = 0.0;
  peakFast_ = -HUGE_VAL;
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
    AddFrames(meter, frameBuffer_, n);
  }
}

void LoudnessMatcher::AddFrames(ebur128_state* meter, const double* interleaved, int frames) {
  const int slice = std::max(1, static_cast<int>(sampleRateInt_ * kFastWindowMs / 1000));
  if (meter != momentary_ || frames <= slice) {
    ebur128_add_frames_double(meter, interleaved, static_cast<size_t>(frames));
    return;
  }
  // More than the fast window at once: its loudest 20 ms, wherever it lies, is the surge level.
  for (int start = 0; start < frames; start += slice) {
    const int n = std::min(slice, frames - start);
    ebur128_add_frames_double(meter, interleaved + 2 * start, static_cast<size_t>(n));
    peakFast_ = std::max(peakFast_, Window(kFastWindowMs, -HUGE_VAL));
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
  if (meter && pending.count > 0) AddFrames(meter, pending.data, pending.count);
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
  // Without a meter (no sample rate was ever set, or one too low to measure at) there is no
  // measurement, hence no matching.
  if (!momentary_) {
    own_ = fast_ = surgeLevel_ = -HUGE_VAL;
    measuredAfresh_ = true;
    return own_;
  }
  double peak = 0.0;
  for (int k = 0; k < frames; ++k) // a NaN compares false and leaves the peak as it is
    peak = std::max(peak, std::max(std::fabs(left[k]), std::fabs(right[k])));
  intervalPeak_ = std::max(intervalPeak_, peak);
  Feed(momentary_, pendingMomentary_, left, right, frames);
  if (!DueForQuery(framesSinceMomentary_, frames)) {
    // Between questions a block shorter than a millisecond is judged by its peak: risen over the
    // last millisecond's by so many dB, the fast measure is taken to have risen as much.
    if (intervalPeak_ > lastIntervalPeak_ && lastIntervalPeak_ > 0.0)
      surgeLevel_ =
          std::max(surgeLevel_, fast_ + std::log(intervalPeak_ / lastIntervalPeak_) * kDbPerNeper);
    return own_;
  }
  Flush(momentary_, pendingMomentary_);
  own_ = 0.0;
  ebur128_loudness_momentary(momentary_, &own_);
  if (std::isnan(own_)) own_ = -HUGE_VAL;
  fast_ = Window(kFastWindowMs, own_);
  surgeLevel_ = std::max({fast_, Window(kOnsetWindowMs, fast_) - kOnsetAllowanceDb, peakFast_});
  peakFast_ = -HUGE_VAL;
  lastIntervalPeak_ = intervalPeak_;
  intervalPeak_ = 0.0;
  measuredAfresh_ = true;
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
    if (paused_) {
      // In a pause the gain may fall but not rise above the gain the programme had (unity before
      // anything has played since the reset). Digital silence gives no ratio at all: it holds.
      target = own_ > kGainFloorDb ? std::min(target, holdGain_) : holdGain_;
    } else if (!trusted_) {
      // Playing, but the meter still holds what came before: the gain may fall, and rise only as
      // far as the programme had it, or slowly on a programme the meter is seldom sure of.
      if (untrustedShare_ > kSparseShare) {
        const double seconds = static_cast<double>(lastBlockSize_) / sampleRateInt_;
        // The held gain follows the target slowly, either way: a target that leaps for a moment
        // (a window that caught no hit) moves it little.
        const double step = std::exp(kCreepDbPerSecond * seconds * kNeperPerDb);
        holdGain_ = std::clamp(target, holdGain_ / step, holdGain_ * step);
      }
      target = std::min(target, holdGain_);
    }
  }

  const double c = target > smoothedGain_ ? risingCoeff_ : fallingCoeff_;
  smoothedGain_ = (1.0 - c) * target + c * smoothedGain_;

  // A surge takes the gain down in this block, not through the smoothing; the next blocks rise
  // from there as the rules above allow.
  surged_ = false;
  if (haveReference && surgeLevel_ > kGainFloorDb) {
    const bool atProgrammeGain =
        std::log(smoothedGain_) * kDbPerNeper <= ref - programme_ + kProgrammeGainSlackDb;
    const double allowance = atProgrammeGain ? SurgeAllowance() : kSurgeAllowanceDb;
    const double cap = std::exp((ref + allowance - surgeLevel_) * kNeperPerDb);
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
  const int64_t window = MomentaryWindowFrames();
  framesSincePrepare_ = std::min<int64_t>(framesSincePrepare_ + lastBlockSize_, window);
  const double fallen = std::max(programme_ - kProgrammeFallDbPerSecond * seconds, kGainFloorDb);
  programme_ = framesSincePrepare_ >= window ? std::max(own_, fallen) : fallen;
  // A comparison with a NaN is false, so a level that is not a number counts as quiet.
  belowFloor_ = belowFloor_ ? !(own_ > kFloorLeaveLufs) : !(own_ >= kFloorEnterLufs);
  gap_ = gap_ ? !(own_ > programme_ - kGateLeaveDb) : !(own_ >= programme_ - kGateEnterDb);
  paused_ = belowFloor_ || gap_;
  // Quiet audio in the meter's window (judged by the fast measure too, so that it counts from the
  // moment the input fell quiet, also in a pause too short for the gate) grows while the quiet
  // lasts and leaves as the window refills.
  const bool quietNow = fast_ < programme_ - kGateEnterDb || !(fast_ >= kFloorEnterLufs);
  if (quietNow || paused_)
    pauseInWindow_ = std::min<int64_t>(pauseInWindow_ + lastBlockSize_, window);
  else
    pauseInWindow_ = std::max<int64_t>(pauseInWindow_ - lastBlockSize_, 0);
  // The meter is trusted to raise the gain once what was louder has left its window, and while
  // little quiet audio is in it.
  if (fast_ < own_ - kFallenBelowDb)
    louderInWindow_ = window;
  else if (own_ <= fast_ + kLeftWindowDb)
    louderInWindow_ = 0;
  else
    louderInWindow_ = std::max<int64_t>(louderInWindow_ - lastBlockSize_, 0);
  trusted_ = louderInWindow_ == 0 && pauseInWindow_ <= kPollutedShare * static_cast<double>(window);
  // How much of the last seconds of playing the meter was untrusted (pauses do not count).
  if (!paused_) {
    const double weight =
        1.0 - std::exp(-static_cast<double>(lastBlockSize_) / (kSparseSeconds * sampleRateInt_));
    untrustedShare_ += ((trusted_ ? 0.0 : 1.0) - untrustedShare_) * weight;
  }
  LearnCrest();
}

void LoudnessMatcher::LearnCrest() {
  const int64_t bucket =
      std::max<int64_t>(1, static_cast<int64_t>(kCrestBucketSeconds * sampleRateInt_));
  crestFrames_ += lastBlockSize_;
  for (int moved = 0; crestFrames_ >= bucket && moved < kCrestBuckets; ++moved) {
    crestFrames_ -= bucket;
    crestAt_ = (crestAt_ + 1) % kCrestBuckets;
    crest_[crestAt_] = -HUGE_VAL;
  }
  crestFrames_ %= bucket;
  // The programme's own crest, while it plays; a rise far beyond what is allowed now is a surge
  // (an onset after a pause, a step up), not a crest.
  const double crest = surgeLevel_ - own_;
  if (measuredAfresh_ && !paused_ && std::isfinite(crest) &&
      crest <= SurgeAllowance() + kCrestLearnAboveDb)
    crest_[crestAt_] = std::max(crest_[crestAt_], crest);
}

double LoudnessMatcher::SurgeAllowance() const {
  double crest = -HUGE_VAL;
  for (int age = kCrestSkipBuckets; age < kCrestBuckets; ++age)
    crest = std::max(crest, crest_[(crestAt_ - age + kCrestBuckets) % kCrestBuckets]);
  return std::clamp(crest, kSurgeAllowanceDb, kMaxSurgeAllowanceDb);
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
