#include "plugin/ZolvarTesk_Receive.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "ycairo/ICairoControls.h"
#include "igraphics/IControl.h"
#include "igraphics/IGraphics.h"
#include "igraphics/IGraphicsPlatform.h"
#include "os/Resources.h"
#include "ycairo/ycairo.h"

namespace {

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

} // namespace

PluginConfig ZolvarTesk_Receive::Config() {
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

ZolvarTesk_Receive::ZolvarTesk_Receive(IPlugInstanceInfo info) : IPlugAdapter(info, Config()) {
  link = std::make_unique<ReferenceLink>(this, kSegmentBaseName);

  GetParam(ParamBypass)->ConfigureBool("Bypass", false);
  GetParam(ParamTarget)->ConfigureDouble("Normalization target", -23.0, -60.0, 0.0, 1.0, "LUFS");
  GetParam(ParamIntegratedLevel)
      ->ConfigureDouble("Integrated Level", 0.0, -100.0, 100.0, 1.0, "LUFS");
  GetParam(ParamOutputNormalization)->ConfigureBool("Output normalization", false);
  GetParam(ParamAnalysis)->ConfigureBool("Normalization analysis", false);

  BuildEditor();

  FillDefaultPresets("-", 1);
}

void ZolvarTesk_Receive::BuildEditor() {
  void* module = zt::os::DefaultResourceModule();
  std::unique_ptr<IGraphics> editor(MakeEditor(this, kEditorWidth, kEditorHeight, 0, module));
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
  editor->AddControl(MakeVersionLabel(this, kVersionRect, cairo, kVersionColor, kVersion));

  AttachEditor(editor.release());
}

ZolvarTesk_Receive::~ZolvarTesk_Receive() = default;

void ZolvarTesk_Receive::Reset() {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  matcher.Prepare(SampleRate());
  link->ReadAtNextBlock();
}

void ZolvarTesk_Receive::ParameterChanged(int paramIdx, int source) {
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
      matcher.RestartAnalysis();
      // A host may automate from its audio thread, so a host change only takes the spare meter;
      // the editor's changes come on the user-interface thread, where the next spare is made.
      if (source == kSourceEditor) matcher.PrepareSpare();
    }
  }
}

void ZolvarTesk_Receive::ShowReadout(ICairoText* readout, char* text, double lufs) {
  if (lufs > -160.0)
    snprintf(text, kReadoutSize, "%.1f", lufs);
  else
    CopyBounded(text, kReadoutSize, "-inf");
  if (readout) readout->UpdateText(text);
}

// The gains are finite, but a product with a finite sample near the largest double may not be:
// it saturates, so that no finite input ever leaves as infinity.
void ZolvarTesk_Receive::ApplyGain(double* left, double* right, int frames, double gain) {
  constexpr double kMax = std::numeric_limits<double>::max();
  for (int k = 0; k < frames; ++k) {
    left[k] = std::clamp(left[k] * gain, -kMax, kMax);
    right[k] = std::clamp(right[k] * gain, -kMax, kMax);
  }
}

void ZolvarTesk_Receive::ProcessBlock(double** inputs, double** outputs, int frames) {
  if (frames < 1) return;
  double* in0 = inputs[0];
  double* in1 = inputs[1];

  matcher.BeginBlock(frames, SampleRate());
  TransportInfo transport;
  ReadTransport(transport);
  matcher.CountLeadingSilence(transport.playing, in0, in1, frames);

  normalizationDimmed = !matcher.HasAnalysisResult();
  if (IGraphics* editor = Editor())
    editor->DimParamControls(ParamOutputNormalization, normalizationDimmed);

  // The read-outs change when the meter was asked afresh: every block of 1 ms or more.
  const double own = matcher.MeasureInput(in0, in1, frames);
  if (matcher.MeasuredAfresh()) ShowReadout(readoutIn, readoutInText, own);

  link->ReadReference(frames);
  const double gain = matcher.MatchGain(link->referenceDb);
  const bool bypass = GetParam(ParamBypass)->IsOn();
  if (!bypass) ApplyGain(in0, in1, frames, gain);

  if (GetParam(ParamAnalysis)->IsOn() && matcher.Analyze(in0, in1, frames))
    GetParam(ParamIntegratedLevel)->SetClamped(std::max(matcher.IntegratedLoudness(), -100.0));

  double v = 1.0;
  if (GetParam(ParamOutputNormalization)->IsOn() && !bypass) {
    v = LoudnessMatcher::NormalizationGain(GetParam(ParamTarget)->Value(),
                                           GetParam(ParamIntegratedLevel)->Value());
    ApplyGain(in0, in1, frames, v);
  }

  if (matcher.MeasuredAfresh()) ShowReadout(readoutOut, readoutOutText, matcher.OutputLoudness(v));

  if (outputs[1] != in1) memmove(outputs[1], in1, sizeof(double) * static_cast<size_t>(frames));
  if (outputs[0] != in0) memmove(outputs[0], in0, sizeof(double) * static_cast<size_t>(frames));
}
