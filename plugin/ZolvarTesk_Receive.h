#pragma once
// The loudness-matching receiver: makes the loudness of its track follow the reference level
// that a sender publishes in the shared segment, and optionally normalises the integrated
// loudness of the result to a target.

#include <cstdint>
#include <memory>

#include "iplug/IPlugAdapter.h"
#include "plugin/ReferenceLink.h"

#include <ebur128.h>

class ICairoText;

enum ReceiveParams {
  ParamBypass = 0,
  ParamTarget = 1,
  ParamOutputNormalization = 2,
  ParamAnalysis = 3,
  ParamIntegratedLevel = 4,
  kNumReceiveParams
};

class ZolvarTesk_Receive : public IPlugAdapter {
public:
  static constexpr int kFrameBufferFrames = 8192;
  static constexpr int kHistoryLength = 32768;
  static constexpr int kReadoutSize = 16;
  static constexpr int kEditorWidth = 256;
  static constexpr int kEditorHeight = 300;

  explicit ZolvarTesk_Receive(IPlugInstanceInfo info);
  ~ZolvarTesk_Receive() override;

  void Reset() override;
  void ParameterChanged(int paramIdx, int source) override;
  // audio thread, instance mutex held; scales inputs 0 and 1 in place and copies them out.
  void ProcessBlock(double** inputs, double** outputs, int frames) override;

  // The read-out texts of the last block ("" before the first block); the editor's read-outs
  // show the same.
  const char* ReadoutInText() const { return readoutInText; }
  const char* ReadoutOutText() const { return readoutOutText; }
  double SmoothedGain() const { return smoothedGain; }
  double IntegratedLoudness() const { return integratedLoudness; }
  int HistoryWrite() const { return historyWrite; }
  int SilentSamples() const { return silentSamples; }
  int LastDelayBlocks() const { return lastDelay; }
  // The delayed reference the last block matched against, in dB.
  double LastReferenceDb() const { return lastReference; }
  const ReferenceLink& Link() const { return *link; }
  ReferenceLink& Link() { return *link; }
  // True while the output-normalisation switch is dimmed (no analysis result yet).
  bool NormalizationDimmed() const { return normalizationDimmed; }

  // The editor's input and output read-outs (owned by the editor).
  ICairoText* ReadoutIn() const { return readoutIn; }
  ICairoText* ReadoutOut() const { return readoutOut; }

private:
  // Builds the editor with its eight controls and the cairo context, and attaches it.
  void BuildEditor();
  // Feeds frames of inputs 0 and 1 to a meter in slices that fit frameBuffer; samples that are
  // not finite are measured as silence so that one bad sample cannot poison a meter for good.
  void MeasureFrames(ebur128_state* meter, const double* left, const double* right, int frames);
  void InterleaveFrames(const double* left, const double* right, int frames, double* dest);
  static void FormatReadout(char* dest, double lufs);
  ebur128_state* CreateMeter(int mode) const;

  ebur128_state* momentaryMeter = nullptr;
  ebur128_state* integratedMeter = nullptr;
  std::unique_ptr<ReferenceLink> link;
  double integratedLoudness = 0.0;
  double frameBuffer[2 * kFrameBufferFrames];
  double loudnessHistory[kHistoryLength];
  int32_t historyWrite = 0;
  int32_t lastBlockSize = 0;
  int32_t silentSamples = 0;
  bool leadingSilence = true;
  double smoothedGain = 0.0;
  int32_t sampleRateInt = 44100;
  double risingCoeff = 0.0;
  double fallingCoeff = 0.0;
  int32_t lastDelay = 0;
  double lastReference = -1000.0;
  bool normalizationDimmed = true;
  char readoutInText[kReadoutSize] = "";
  char readoutOutText[kReadoutSize] = "";
  ICairoText* readoutIn = nullptr;
  ICairoText* readoutOut = nullptr;
};
