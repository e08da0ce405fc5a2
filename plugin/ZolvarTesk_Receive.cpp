#include "plugin/ZolvarTesk_Receive.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <ebur128.h>

#include "ycairo/ICairoControls.h"
#include "igraphics/IControl.h"
#include "igraphics/IGraphicsHeadless.h"
#include "os/Resources.h"
#include "ycairo/ycairo.h"

namespace {

constexpr double kDbPerNeper = 8.685889638065037; // dB of a ratio x is ln(x) * this
constexpr double kNeperPerDb = 0.1151292546497;   // the ratio of d dB is exp(d * this)
constexpr double kNoReference = -1000.0;
constexpr double kSilenceThreshold = 3.1622776601683e-5; // exp(-10.361632918473001), -90 dBFS
constexpr double kGainFloorDb = -120.0;
constexpr int32_t kVersion = 0x00010002; // 1.0.2

// The editor's resources and layout.
constexpr int kBackgroundImage = 100;
constexpr ControlColor kReadoutColor{255, 255, 205, 64};  // opaque amber
constexpr ControlColor kVersionColor{200, 255, 255, 255}; // white at alpha 200
constexpr ControlRect kReadoutInRect{15, 159, 115, 209};
constexpr ControlRect kReadoutOutRect{140, 159, 240, 209};
constexpr ControlRect kTargetRect{172, 25, 242, 55};
constexpr ControlRect kVersionRect{178, 280, 236, 300};

struct SwitchLayout {
  int imageId;
  const char* imageName;
  int x, y;
  int paramIdx;
};
// In the order of the editor's control list.
constexpr SwitchLayout kSwitches[] = {
    {101, "resources/img/analyze-btn.png", 144, 60, ParamAnalysis},
    {103, "resources/img/normalize-btn.png", 144, 98, ParamOutputNormalization},
    {102, "resources/img/bypass-btn.png", 78, 217, ParamBypass},
};

PluginConfig ReceiveConfig() {
  PluginConfig c;
  c.paramCount = kNumReceiveParams;
  c.channelIO = "1-1 2-2";
  c.presetCount = 1;
  c.effectName = "ZolvarTesk_Receive";
  c.productName = "";
  c.makerName = "Zolvar";
  c.version = kVersion;
  c.uniqueId = FourCC('T', 'k', 'r', 'e');
  c.makerId = FourCC('Z', 'l', 'V', 'r');
  c.latency = 0;
  return c;
}

} // namespace

ZolvarTesk_Receive::ZolvarTesk_Receive(IPlugInstanceInfo info)
    : IPlugAdapter(info, ReceiveConfig()) {
  link = std::make_unique<ReferenceLink>(this, kSegmentBaseName);

  GetParam(ParamBypass)->ConfigureBool("Bypass", false);
  GetParam(ParamTarget)->ConfigureDouble("Normalization target", -23.0, -60.0, 0.0, 1.0, "LUFS");
  GetParam(ParamIntegratedLevel)
      ->ConfigureDouble("Integrated Level", 0.0, -100.0, 100.0, 1.0, "LUFS");
  GetParam(ParamOutputNormalization)->ConfigureBool("Output normalization", false);
  GetParam(ParamAnalysis)->ConfigureBool("Normalization analysis", false);

  BuildEditor();

  FillDefaultPresets("-", 1);

  historyWrite = 0;
  lastBlockSize = 0;
  integratedLoudness = 0.0;
  std::fill(std::begin(loudnessHistory), std::end(loudnessHistory), kNoReference);
}

void ZolvarTesk_Receive::BuildEditor() {
  // The headless editor stands in for the platform window until one exists; it paints into the
  // same back buffer and answers the host's editor requests.
  void* module = zt::os::DefaultResourceModule();
  auto editor = std::make_unique<IGraphicsHeadless>(this, kEditorWidth, kEditorHeight, 0);
  editor->SetModuleInstance(module);
  auto* cairo = new ycairo_context(this);
  cairo->SetModuleInstance(module);
  SetDrawingContext(cairo);

  editor->AddBackground(kBackgroundImage, "resources/img/bkg.png");
  for (const SwitchLayout& s : kSwitches) {
    BitmapRef* image = editor->LoadBitmapResource(s.imageId, s.imageName, 2, false);
    editor->AddControl(new ISwitchControl(this, s.x, s.y, s.paramIdx, image));
  }
  readoutIn = new ICairoText(this, kReadoutInRect, cairo, kReadoutColor, "");
  editor->AddControl(readoutIn);
  readoutOut = new ICairoText(this, kReadoutOutRect, cairo, kReadoutColor, "");
  editor->AddControl(readoutOut);
  editor->AddControl(new ICairoDropdown(this, kTargetRect, ParamTarget, cairo, kReadoutColor));
  char version[32];
  snprintf(version, sizeof version, "v%d.%d.%d", (kVersion >> 16) & 0xFFFF, (kVersion >> 8) & 0xFF,
           kVersion & 0xFF);
  editor->AddControl(new ICairoText(this, kVersionRect, cairo, kVersionColor, version));

  AttachEditor(editor.release());
}

ZolvarTesk_Receive::~ZolvarTesk_Receive() {
  if (momentaryMeter) ebur128_destroy(&momentaryMeter);
  if (integratedMeter) ebur128_destroy(&integratedMeter);
  link.reset();
}

ebur128_state* ZolvarTesk_Receive::CreateMeter(int mode) const {
  ebur128_state* meter =
      ebur128_init(2, static_cast<unsigned long>(std::max(1, sampleRateInt)), mode);
  if (meter) {
    ebur128_set_channel(meter, 0, EBUR128_LEFT);
    ebur128_set_channel(meter, 1, EBUR128_RIGHT);
  }
  return meter;
}

void ZolvarTesk_Receive::Reset() {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  const double rate = SampleRate();
  sampleRateInt = rate >= 1.0 && rate < 2147483647.0 ? static_cast<int32_t>(rate) : 44100;
  if (!momentaryMeter) {
    momentaryMeter = CreateMeter(EBUR128_MODE_M);
  } else {
    // A meter kept at the old rate would measure the wrong loudness after a rate change.
    ebur128_change_parameters(momentaryMeter, 2, static_cast<unsigned long>(sampleRateInt));
  }
  if (integratedMeter)
    ebur128_change_parameters(integratedMeter, 2, static_cast<unsigned long>(sampleRateInt));
  smoothedGain = 0.0;
  lastBlockSize = 0;
  silentSamples = 0;
  leadingSilence = true;
  historyWrite = 0;
}

void ZolvarTesk_Receive::ParameterChanged(int paramIdx, int) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  if (paramIdx == ParamOutputNormalization) {
    IPlugParam* analysis = GetParam(ParamAnalysis);
    if (analysis->IsOn()) {
      if (IGraphics* editor = Editor()) editor->PushParamToControls(ParamAnalysis, 0.0, true);
      analysis->SetClamped(0.0);
    }
  } else if (paramIdx == ParamAnalysis) {
    if (GetParam(ParamAnalysis)->IsOn()) {
      if (IGraphics* editor = Editor())
        editor->PushParamToControls(ParamOutputNormalization, 0.0, true);
      GetParam(ParamOutputNormalization)->SetClamped(0.0);
      if (integratedMeter) ebur128_destroy(&integratedMeter);
      // The histogram keeps the cost of a block constant and allocation-free however long the
      // analysis runs; the block list of the plain mode would grow (and be rescanned) forever.
      integratedMeter = CreateMeter(EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
      integratedLoudness = 0.0;
    }
  }
}

void ZolvarTesk_Receive::InterleaveFrames(const double* left, const double* right, int frames,
                                          double* dest) {
  for (int k = 0; k < frames; ++k) {
    const double l = left[k], r = right[k];
    dest[2 * k] = std::isfinite(l) ? l : 0.0;
    dest[2 * k + 1] = std::isfinite(r) ? r : 0.0;
  }
}

void ZolvarTesk_Receive::MeasureFrames(ebur128_state* meter, const double* left,
                                       const double* right, int frames) {
  for (int start = 0; start < frames; start += kFrameBufferFrames) {
    const int n = std::min(kFrameBufferFrames, frames - start);
    InterleaveFrames(left + start, right + start, n, frameBuffer);
    ebur128_add_frames_double(meter, frameBuffer, static_cast<size_t>(n));
  }
}

void ZolvarTesk_Receive::FormatReadout(char* dest, double lufs) {
  if (lufs > -160.0)
    snprintf(dest, kReadoutSize, "%.1f", lufs);
  else
    CopyBounded(dest, kReadoutSize, "-inf");
}

void ZolvarTesk_Receive::ProcessBlock(double** inputs, double** outputs, int frames) {
  if (frames < 1) return;
  double* in0 = inputs[0];
  double* in1 = inputs[1];

  if (frames != lastBlockSize) {
    const double exponent = 1.0 / (4000.0 / SampleRate() * sampleRateInt * 0.001);
    risingCoeff = fallingCoeff = std::pow(0.01, exponent);
    lastBlockSize = frames;
  }

  TransportInfo transport;
  ReadTransport(transport);

  if (!transport.playing) {
    silentSamples = 0;
    leadingSilence = true;
    historyWrite = 0;
  } else {
    for (int k = 0; k < frames && leadingSilence; ++k) {
      const double p = std::max(std::fabs(in1[k]), std::fabs(in0[k]));
      if (p < kSilenceThreshold) {
        if (silentSamples < INT32_MAX) ++silentSamples;
      } else {
        leadingSilence = false;
      }
    }
  }
  // The history cannot reach further back than its own length.
  const int32_t delay = std::min(silentSamples / frames, kHistoryLength - 1);
  lastDelay = delay;

  normalizationDimmed = integratedLoudness == 0.0;
  if (IGraphics* editor = Editor())
    editor->DimParamControls(ParamOutputNormalization, normalizationDimmed);

  // Without a meter (no sample rate was ever set) there is no measurement, hence no matching.
  double own = -HUGE_VAL;
  if (momentaryMeter) {
    MeasureFrames(momentaryMeter, in0, in1, frames);
    own = 0.0;
    ebur128_loudness_momentary(momentaryMeter, &own);
  }
  FormatReadout(readoutInText, own);
  if (readoutIn) readoutIn->UpdateText(readoutInText);

  link->ReadReference();

  loudnessHistory[historyWrite] = link->referenceDb;
  const double ref = loudnessHistory[(historyWrite - delay + kHistoryLength) % kHistoryLength];
  historyWrite = (historyWrite + 1) % kHistoryLength;
  lastReference = ref;

  double target = 1.0;
  if (ref > kGainFloorDb && own > kGainFloorDb) {
    target = std::exp(ref * kNeperPerDb) / std::exp(own * kNeperPerDb);
    // A difference beyond what a double can express is no usable reference either.
    if (!std::isfinite(target)) target = 1.0;
  }
  target = std::fabs(target);

  const double c = target > smoothedGain ? risingCoeff : fallingCoeff;
  smoothedGain = (1.0 - c) * target + c * smoothedGain;

  const bool bypass = GetParam(ParamBypass)->IsOn();
  if (!bypass) {
    for (int k = 0; k < frames; ++k) {
      in0[k] *= smoothedGain;
      in1[k] *= smoothedGain;
    }
  }

  if (GetParam(ParamAnalysis)->IsOn() && integratedMeter) {
    MeasureFrames(integratedMeter, in0, in1, frames);
    ebur128_loudness_global(integratedMeter, &integratedLoudness);
    GetParam(ParamIntegratedLevel)->SetClamped(std::max(integratedLoudness, -100.0));
  }

  double v = 1.0;
  if (GetParam(ParamOutputNormalization)->IsOn() && !bypass) {
    const double t = GetParam(ParamTarget)->Value();
    const double l = GetParam(ParamIntegratedLevel)->Value();
    v = std::exp(t * kNeperPerDb) / std::exp(l * kNeperPerDb);
    for (int k = 0; k < frames; ++k) {
      in0[k] *= v;
      in1[k] *= v;
    }
  }

  const double out = own + std::log(std::fabs(v * smoothedGain)) * kDbPerNeper;
  FormatReadout(readoutOutText, out);
  if (readoutOut) readoutOut->UpdateText(readoutOutText);

  if (outputs[1] != in1) memmove(outputs[1], in1, sizeof(double) * static_cast<size_t>(frames));
  if (outputs[0] != in0) memmove(outputs[0], in0, sizeof(double) * static_cast<size_t>(frames));
}
