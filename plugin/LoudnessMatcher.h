#pragma once
// The receiver's measuring and gain logic, free of host, editor and shared-memory types: the
// meters, the count of leading silence, the reference history and its delay, the smoothed
// matching gain, the integrated-loudness analysis and the normalisation gain. The plug-in feeds
// it the transport state, the input and the reference level, and applies what it answers.
//
// Threads: one owner serialises every call (the receiver holds its instance mutex). Meters are
// made and destroyed only by the constructor, the destructor, Prepare and PrepareSpare, which the
// owner calls where the audio path cannot ask for them: while the host sets up (sample rate,
// block size, processing switched off) and on the editor's thread. The per-block operations and
// RestartAnalysis, which a host may reach from its audio thread, allocate and free nothing.

#include <cmath>
#include <cstdint>

#include <ebur128.h>

class LoudnessMatcher {
public:
  static constexpr int kFrameBufferFrames = 8192; // frames handed to a meter at a time
  static constexpr int kPendingFrames = 1024;     // short blocks kept for a meter's next call
  static constexpr int kHistoryLength = 32768;    // reference levels, one per block
  static constexpr double kNoReference = -1000.0; // dB: no sender, or no usable level
  static constexpr int32_t kDefaultRate = 44100;

  // Makes the integrated meter at 44.1 kHz, so that analysis can start before the host has set a
  // rate. Without memory for a meter analysis yields no result; nothing else is affected.
  LoudnessMatcher();
  ~LoudnessMatcher();
  LoudnessMatcher(const LoudnessMatcher&) = delete;
  LoudnessMatcher& operator=(const LoudnessMatcher&) = delete;

  // --- set-up (host thread; allocates) ---------------------------------------------------------
  // Follows the host's sample rate: makes the momentary meter and the spare integrated meter when
  // they are missing and re-tunes every meter to a changed rate, then starts afresh: gain 0,
  // leading silence counted from zero, the history written from its start (its entries are kept). A
  // rate below 1 Hz or beyond int32 counts as 44.1 kHz.
  void Prepare(double sampleRate);
  // Makes a fresh spare integrated meter if a restart used it up, gives analysis that waits for
  // one its meter, and destroys the meters restarts retired.
  void PrepareSpare();

  // --- analysis (any thread; allocates nothing) -------------------------------------------------
  // Starts the integrated measurement afresh: the result is gone until the meter is next asked
  // (the next analysed block of 1 ms or more, or the one that completes 1 ms of audio).
  // A meter that has measured nothing yet stays; otherwise the spare takes over. When there is no
  // spare (a second restart before Prepare or PrepareSpare ran), analysis waits for one and
  // measures nothing until then.
  void RestartAnalysis();

  // --- one block (audio thread), in this order -------------------------------------------------
  // Frames must be at least 1. Recomputes the smoothing coefficients when the block size changed
  // (they do not depend on it); sampleRate is the host's current rate.
  void BeginBlock(int frames, double sampleRate);
  // Counts leading silence (both channels below -90 dBFS) while the transport plays; stopping
  // it starts the count and the history afresh. Returns the delay in whole blocks.
  int CountLeadingSilence(bool playing, const double* left, const double* right, int frames);
  // Momentary loudness of the input in LUFS (minus infinity after 400 ms of silence, or without a
  // meter: before the first Prepare, or at a rate below 8 kHz). Samples that are not finite count
  // as silence, and samples beyond 120 dB above full scale as that much. Every block's frames
  // reach the meter, but the meter is asked only once at least 1 ms of audio came since it was
  // last asked: the question sums the whole 400 ms window, and hosts that split blocks into a few
  // frames would otherwise ask it thousands of times a second. Between questions the last answer
  // stands; blocks of 1 ms or more are asked every time (shorter ones between questions carry the
  // rise of their sample peak into the fast measure, so a surge is judged in its own block). Blocks
  // shorter than kPendingFrames reach the meter together, just before it is asked: the same frames
  // in the same order, for one call instead of many. Each question also reads the fast measures.
  double MeasureInput(const double* left, const double* right, int frames);
  // The last MeasureInput asked the meter (rather than repeating its last answer).
  bool MeasuredAfresh() const { return measuredAfresh_; }
  // Stores this block's reference (dB; kNoReference when none), reads the one of `delay` blocks
  // ago and moves the smoothed gain towards reference / own loudness. Returns the gain to apply.
  double MatchGain(double referenceDb);
  // Feeds the matched signal to the measuring meter and updates the integrated loudness since
  // the last restart, asking the meter at most once per 1 ms of audio as MeasureInput does. False,
  // with nothing measured, before the first restart and while analysis waits for a meter.
  bool Analyze(const double* left, const double* right, int frames);
  // The fixed gain that brings integratedLufs to targetLufs.
  static double NormalizationGain(double targetLufs, double integratedLufs);
  // Loudness of the output: the input's, plus the matching gain and normalisationGain in dB.
  double OutputLoudness(double normalisationGain) const;

  // --- state ----------------------------------------------------------------------------------
  double SmoothedGain() const { return smoothedGain_; }
  // LUFS; 0.0 while there is no result.
  double IntegratedLoudness() const { return integratedLoudness_; }
  // An analysis result exists (the integrated loudness is not exactly 0.0).
  bool HasAnalysisResult() const { return integratedLoudness_ != 0.0; }
  double OwnLoudness() const { return own_; }
  int32_t HistoryWrite() const { return historyWrite_; }
  int32_t SilentSamples() const { return silentSamples_; }
  int32_t LastDelayBlocks() const { return delay_; }
  double LastReferenceDb() const { return lastReference_; }
  int32_t SampleRateInt() const { return sampleRateInt_; }
  double RisingCoefficient() const { return risingCoeff_; }
  double FallingCoefficient() const { return fallingCoeff_; }
  bool AnalysisWaitsForMeter() const { return waiting_; }
  // The safe-gain rules' view of the last block: the input's fast (20 ms) loudness, whether it
  // was in a pause, whether the meter was trusted to raise the gain, whether a surge took the
  // gain down, and the most the gain may rise to while paused or untrusted.
  double FastLoudness() const { return fast_; }
  bool Paused() const { return paused_; }
  bool Trusted() const { return trusted_; }
  bool Surged() const { return surged_; }
  double HoldGain() const { return holdGain_; }
  bool HasSpareMeter() const { return spare_ != nullptr; }

private:
  ebur128_state* CreateMeter(int mode) const;
  static void Retune(ebur128_state* meter, int32_t rate);
  // Interleaved frames waiting for a meter's next call.
  struct PendingFrames {
    int count = 0;
    double data[2 * kPendingFrames];
  };
  // Feeds a meter in slices that fit frameBuffer_.
  void Measure(ebur128_state* meter, const double* left, const double* right, int frames);
  // Adds interleaved frames to a meter; the momentary meter takes more than the fast window in
  // slices of it, keeping the loudest 20 ms in peakFast_.
  void AddFrames(ebur128_state* meter, const double* interleaved, int frames);
  // Keeps a block for the meter's next call (handing it what waits first when the block does not
  // fit); a block longer than the pending buffer goes to the meter at once.
  void Feed(ebur128_state* meter, PendingFrames& pending, const double* left, const double* right,
            int frames);
  // Hands the meter what waits for it (nothing without a meter) and empties the buffer.
  void Flush(ebur128_state* meter, PendingFrames& pending);
  // Adds frames to a count of frames since a meter was last asked; true (and the count restarts)
  // once they make up at least 1 ms at the current rate.
  bool DueForQuery(int64_t& framesSinceQuery, int frames) const;
  // Loudness of the momentary meter's last `ms` milliseconds; `otherwise` when it has none.
  double Window(unsigned long ms, double otherwise) const;
  // Updates the programme level, the pause and the trust in the meter from this block's levels.
  void JudgeInput();
  // Keeps the input's crest (surge level over momentary loudness) per 100 ms for SurgeAllowance.
  void LearnCrest();
  // dB the output's fast loudness may exceed the reference before a surge takes the gain down.
  double SurgeAllowance() const;
  int64_t MomentaryWindowFrames() const;

  ebur128_state* momentary_ = nullptr;  // made by the first Prepare
  ebur128_state* integrated_ = nullptr; // the measuring meter
  ebur128_state* spare_ = nullptr;      // fresh, for the next restart; never with retired_
  ebur128_state* retired_ = nullptr;    // replaced by a restart, to be destroyed off the audio path
  bool integratedFed_ = false;          // integrated_ has measured since it took over
  bool started_ = false;                // analysis has been started at least once
  bool waiting_ = false;                // restarted without a spare: integrated_ is stale
  double integratedLoudness_ = 0.0;
  double own_ = -HUGE_VAL;         // nothing measured yet
  double fast_ = -HUGE_VAL;        // the last 20 ms
  double surgeLevel_ = -HUGE_VAL;  // the fast measure a surge is judged by
  double peakFast_ = -HUGE_VAL;    // the loudest 20 ms fed since the meter was last asked
  double intervalPeak_ = 0.0;      // the input's sample peak since the meter was last asked
  double lastIntervalPeak_ = 0.0;  // ... and in the millisecond before
  int64_t framesSincePrepare_ = 0; // counted up to a window's length
  static constexpr int kCrestBuckets = 40;
  double crest_[kCrestBuckets]; // per 100 ms, the largest crest seen
  int crestAt_ = 0;
  int64_t crestFrames_ = 0;
  double programme_ = -120.0; // the input's recent programme level, LUFS
  bool paused_ = true, belowFloor_ = true, gap_ = false;
  int64_t pauseInWindow_ = 0;   // frames of pause audio still in the momentary window
  int64_t louderInWindow_ = 0;  // frames for which louder audio may still be in it
  double untrustedShare_ = 0.0; // of the last seconds of playing, how much was untrusted
  bool trusted_ = false;
  bool surged_ = false;
  double holdGain_ = 1.0;
  int64_t framesSinceMomentary_ = 0;
  int64_t framesSinceIntegrated_ = 0;
  bool measuredAfresh_ = false;
  double smoothedGain_ = 0.0;
  int32_t sampleRateInt_ = kDefaultRate;
  double risingCoeff_ = 0.0, fallingCoeff_ = 0.0;
  int32_t lastBlockSize_ = 0;
  int32_t silentSamples_ = 0;
  bool leadingSilence_ = true;
  int32_t delay_ = 0;
  int32_t historyWrite_ = 0;
  double lastReference_ = kNoReference;
  double frameBuffer_[2 * kFrameBufferFrames];
  PendingFrames pendingMomentary_;
  PendingFrames pendingIntegrated_;
  double history_[kHistoryLength];
};
