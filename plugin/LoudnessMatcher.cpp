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
    own_ = -HUGE_VAL;
    measuredAfresh_ = true;
    return own_;
  }
  Feed(momentary_, pendingMomentary_, left, right, frames);
  if (DueForQuery(framesSinceMomentary_, frames)) {
    Flush(momentary_, pendingMomentary_);
    own_ = 0.0;
    ebur128_loudness_momentary(momentary_, &own_);
    measuredAfresh_ = true;
  }
  return own_;
}

double LoudnessMatcher::MatchGain(double referenceDb) {
  history_[historyWrite_] = referenceDb;
  const double ref = history_[(historyWrite_ - delay_ + kHistoryLength) % kHistoryLength];
  historyWrite_ = (historyWrite_ + 1) % kHistoryLength;
  lastReference_ = ref;

  double target = 1.0;
  if (ref > kGainFloorDb && own_ > kGainFloorDb) {
    target = std::exp(ref * kNeperPerDb) / std::exp(own_ * kNeperPerDb);
    // A difference beyond what a double can express is no usable reference either.
    if (!std::isfinite(target)) target = 1.0;
  }
  target = std::fabs(target);

  const double c = target > smoothedGain_ ? risingCoeff_ : fallingCoeff_;
  smoothedGain_ = (1.0 - c) * target + c * smoothedGain_;
  return smoothedGain_;
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
