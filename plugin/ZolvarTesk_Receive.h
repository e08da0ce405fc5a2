#pragma once
// The loudness-matching receiver: makes the loudness of its track follow the reference level
// that a sender publishes in the shared segment, and optionally normalises the integrated
// loudness of the result to a target.

#include <cstdint>
#include <memory>

#include "iplug/IPlugAdapter.h"
#include "plugin/LoudnessMatcher.h"
#include "plugin/ReferenceLink.h"

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
  static constexpr int kFrameBufferFrames = LoudnessMatcher::kFrameBufferFrames;
  static constexpr int kHistoryLength = LoudnessMatcher::kHistoryLength;
  static constexpr int kReadoutSize = 16;
  static constexpr int kEditorWidth = 256;
  static constexpr int kEditorHeight = 300;

  // Names, identifiers, channels and version: what every format's factory describes.
  static PluginConfig Config();

  // Plug-in factory of the adapter, under its construction lock: opens the reference link
  // (claiming a slot), configures the parameters, builds and attaches the editor.
  explicit ZolvarTesk_Receive(IPlugInstanceInfo info);
  ~ZolvarTesk_Receive() override;

  // Host's set-up thread (sample rate, block size, processing off); takes the mutex. Follows the
  // rate and starts matching afresh; the one place besides construction where meters are made.
  void Reset() override;
  // Any thread, the audio thread included; takes the mutex. Keeps analysis and output
  // normalisation exclusive; switching analysis on restarts it without allocating.
  void ParameterChanged(int paramIdx, int source) override;
  // audio thread, instance mutex held; scales inputs 0 and 1 in place and copies them out.
  void ProcessBlock(double** inputs, double** outputs, int frames) override;

  // The read-out texts of the last block ("" before the first block); the editor's read-outs
  // show the same.
  const char* ReadoutInText() const { return readoutInText; }
  const char* ReadoutOutText() const { return readoutOutText; }
  double SmoothedGain() const { return matcher.SmoothedGain(); }
  double IntegratedLoudness() const { return matcher.IntegratedLoudness(); }
  int HistoryWrite() const { return matcher.HistoryWrite(); }
  int SilentSamples() const { return matcher.SilentSamples(); }
  int LastDelayBlocks() const { return matcher.LastDelayBlocks(); }
  // The delayed reference the last block matched against, in dB.
  double LastReferenceDb() const { return matcher.LastReferenceDb(); }
  const LoudnessMatcher& Matcher() const { return matcher; }
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
  // Formats lufs into text and hands it to readout (if any), which repaints only on a change.
  static void ShowReadout(ICairoText* readout, char* text, double lufs);
  static void ApplyGain(double* left, double* right, int frames, double gain);

  // Declared in this order so that the meters go before the link when the instance is destroyed.
  std::unique_ptr<ReferenceLink> link;
  LoudnessMatcher matcher;
  bool normalizationDimmed = true;
  char readoutInText[kReadoutSize] = "";
  char readoutOutText[kReadoutSize] = "";
  ICairoText* readoutIn = nullptr;
  ICairoText* readoutOut = nullptr;
};
