// The receiver's editor as its window shows it: the real instance builds it, processing feeds
// it, the headless window presents it, and the presented pixels are compared with the module's
// own images and font.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/editor/EditorPixels.h"
#include "ycairo/ICairoControls.h"
#include "igraphics/IControl.h"
#include "igraphics/IGraphicsHeadless.h"
#include "tests/support/ReceiverRig.h"
#include "tests/support/Signals.h"

using namespace editor_pixels;

namespace {

constexpr MouseMods kLeft{true, false, false, false, false};
constexpr MouseMods kRight{false, true, false, false, false};

struct Editor : testing::Test {
  void SetUp() override {
    rig = std::make_unique<ReceiverRig>("ed");
    editor = dynamic_cast<IGraphicsHeadless*>(rig->plug->Editor());
    ASSERT_NE(editor, nullptr);
    background = Background();
    ASSERT_NE(background, nullptr);
    ASSERT_NE(editor->OpenEditorWindow(nullptr), nullptr);
    ASSERT_TRUE(editor->Tick());
  }
  const LICE_IBitmap& Screen() { return editor->Screen(); }
  // A few timer ticks: enough for a text entry to apply and the result to be painted.
  void Settle() {
    for (int i = 0; i < 6; ++i)
      editor->Tick();
  }
  void Click(int x, int y, const MouseMods& mods = kLeft) {
    editor->PressMouse(x, y, mods);
    editor->ReleaseMouse(x, y, mods);
  }
  void Silence(int blocks) {
    for (int i = 0; i < blocks; ++i)
      rig->Run(512, [](int, int) { return 0.0; });
  }
  void Noise(int blocks, double amp) {
    ::Noise noise(7);
    for (int i = 0; i < blocks; ++i)
      rig->Run(512, [&](int, int) { return amp * noise.Next(); });
  }
  testing::AssertionResult ShowsSwitch(const SwitchSpot& s, int frame, float weight = 1.0f) {
    auto expected = WithSwitch(*background, s, frame, weight);
    return SameArea(Screen(), *expected, s.Rect());
  }
  testing::AssertionResult ShowsText(const char* text, const ControlRect& rect,
                                     const ControlColor& colour) {
    auto expected = WithText(*background, text, rect, colour);
    return SameArea(Screen(), *expected, rect, 1);
  }

  std::unique_ptr<ReceiverRig> rig;
  IGraphicsHeadless* editor = nullptr;
  std::unique_ptr<LICE_MemBitmap> background;
};

TEST_F(Editor, HoldsTheEightControlsInTheirOrder) {
  ASSERT_EQ(editor->NControls(), 8);
  EXPECT_EQ(editor->Width(), 256);
  EXPECT_EQ(editor->Height(), 300);
  IControl* bg = editor->GetControl(0);
  ASSERT_NE(dynamic_cast<IBitmapControl*>(bg), nullptr);
  EXPECT_EQ(bg->ParamIdx(), -1);
  EXPECT_EQ(bg->Rect(), (ControlRect{0, 0, 256, 300}));
  for (const SwitchSpot& s : kSwitches) {
    SCOPED_TRACE(s.what);
    IControl* c = editor->GetControl(s.control);
    ASSERT_NE(dynamic_cast<ISwitchControl*>(c), nullptr);
    EXPECT_EQ(c->ParamIdx(), s.paramIdx);
    EXPECT_EQ(c->Rect(), s.Rect());
  }
  auto* in = dynamic_cast<ICairoText*>(editor->GetControl(4));
  auto* out = dynamic_cast<ICairoText*>(editor->GetControl(5));
  auto* target = dynamic_cast<ICairoDropdown*>(editor->GetControl(6));
  auto* version = dynamic_cast<ICairoText*>(editor->GetControl(7));
  ASSERT_TRUE(in && out && target && version);
  EXPECT_EQ(in, rig->plug->ReadoutIn());
  EXPECT_EQ(out, rig->plug->ReadoutOut());
  EXPECT_EQ(in->Rect(), kReadoutIn);
  EXPECT_EQ(out->Rect(), kReadoutOut);
  EXPECT_EQ(target->Rect(), kTarget);
  EXPECT_EQ(target->ParamIdx(), 1);
  EXPECT_EQ(version->Rect(), kVersion);
  EXPECT_EQ(in->ParamIdx(), -1);
  EXPECT_EQ(version->ParamIdx(), -1);
}

TEST_F(Editor, FreshInstanceShowsSwitchesOffTargetEmptyReadoutsAndVersion) {
  for (const SwitchSpot& s : kSwitches)
    EXPECT_TRUE(ShowsSwitch(s, 0)) << s.what;
  EXPECT_TRUE(ShowsText("-23LUFS", kTarget, kAmber));
  EXPECT_TRUE(SameArea(Screen(), *background, kReadoutIn)) << "input read-out not empty";
  EXPECT_TRUE(SameArea(Screen(), *background, kReadoutOut)) << "output read-out not empty";
  EXPECT_TRUE(ShowsText("v1.0.2", kVersion, kVersionWhite));

  // Independently of the reference drawing: the target's ink is amber, centred in its field.
  const Ink ink = InkIn(Screen(), *background, kTarget);
  ASSERT_TRUE(ink.Any());
  EXPECT_NEAR(ink.CenterX(), 207.0, 1.5);
  EXPECT_NEAR(ink.CenterY(), 40.0, 3.0);
  int amber = 0;
  for (int y = ink.top; y <= ink.bottom; ++y)
    for (int x = ink.left; x <= ink.right; ++x)
      if (Pixel(Screen(), x, y) == LICE_RGBA(255, 205, 64, 255)) ++amber;
  EXPECT_GT(amber, 20) << "no solid amber in the target text";
  // Nothing outside the controls was drawn over the background.
  EXPECT_TRUE(SameArea(Screen(), *background, {0, 0, 256, 25}));
}

TEST_F(Editor, SilenceShowsMinusInfAndDimsNormalize) {
  Silence(3);
  EXPECT_STREQ(rig->plug->ReadoutInText(), "-inf");
  EXPECT_STREQ(rig->plug->ReadoutOutText(), "-inf");
  Settle();
  EXPECT_TRUE(ShowsText("-inf", kReadoutIn, kAmber));
  EXPECT_TRUE(ShowsText("-inf", kReadoutOut, kAmber));
  // No analysis result yet: the Normalize switch is greyed out at weight 0.25.
  IControl* normalize = editor->GetControl(kNormalize.control);
  EXPECT_TRUE(normalize->IsDimmed());
  EXPECT_FLOAT_EQ(normalize->Blend().weight, 0.25f);
  EXPECT_TRUE(ShowsSwitch(kNormalize, 0, 0.25f));
  EXPECT_TRUE(ShowsSwitch(kAnalyze, 0));

  // ... and refuses clicks: nothing changes, the host hears of no gesture.
  rig->plug->events.clear();
  Click(150, 110);
  editor->DoubleClickMouse(150, 110, kLeft);
  Settle();
  EXPECT_EQ(rig->plug->GetParam(2)->Value(), 0.0);
  EXPECT_EQ(normalize->Value(), 0.0);
  EXPECT_TRUE(rig->plug->events.empty());
  EXPECT_TRUE(ShowsSwitch(kNormalize, 0, 0.25f));
}

TEST_F(Editor, ReadoutsFollowTheProcessedLoudness) {
  Noise(8, 0.3);
  const std::string in = rig->plug->ReadoutInText(), out = rig->plug->ReadoutOutText();
  ASSERT_NE(in, "-inf");
  Settle();
  EXPECT_TRUE(ShowsText(in.c_str(), kReadoutIn, kAmber)) << in;
  EXPECT_TRUE(ShowsText(out.c_str(), kReadoutOut, kAmber)) << out;

  // Back to silence: once the 400 ms window is empty the read-outs fall back to "-inf", and the
  // text changes only repaint the read-outs.
  Silence(60);
  Settle();
  EXPECT_TRUE(ShowsText("-inf", kReadoutIn, kAmber));
  EXPECT_TRUE(ShowsText("-inf", kReadoutOut, kAmber));
}

TEST_F(Editor, UnchangedReadoutTextIsNotRepainted) {
  Silence(2);
  Settle();
  ICairoText* in = rig->plug->ReadoutIn();
  ICairoText* out = rig->plug->ReadoutOut();
  EXPECT_FALSE(in->NeedsPaint());
  Silence(1); // "-inf" again
  EXPECT_FALSE(in->NeedsPaint());
  EXPECT_FALSE(out->NeedsPaint());
  Noise(1, 0.3); // a number now
  EXPECT_TRUE(in->NeedsPaint());
  EXPECT_TRUE(out->NeedsPaint());
}

TEST_F(Editor, AnalyzeClickSwitchesNormalizeOffInTheSameRefresh) {
  // Before any block the Normalize switch takes clicks.
  Click(150, 110);
  Settle();
  ASSERT_EQ(rig->plug->GetParam(2)->Value(), 1.0);
  ASSERT_TRUE(ShowsSwitch(kNormalize, 1));

  Click(150, 70); // Analyze
  ASSERT_TRUE(editor->Tick());
  EXPECT_TRUE(ShowsSwitch(kAnalyze, 1));
  EXPECT_TRUE(ShowsSwitch(kNormalize, 0)) << "Normalize did not follow in the same refresh";
  EXPECT_EQ(rig->plug->GetParam(3)->Value(), 1.0);
  EXPECT_EQ(rig->plug->GetParam(2)->Value(), 0.0);

  // Analysis has no result yet, so the next block dims Normalize; the first analysis block with
  // sound stores one and the switch comes back.
  Silence(1);
  Settle();
  EXPECT_TRUE(ShowsSwitch(kNormalize, 0, 0.25f));
  Noise(10, 0.3);
  Settle();
  EXPECT_NE(rig->plug->IntegratedLoudness(), 0.0);
  EXPECT_TRUE(ShowsSwitch(kNormalize, 0));

  // Normalize on again switches analysis off, and the Analyze switch follows.
  Click(150, 110);
  ASSERT_TRUE(editor->Tick());
  EXPECT_TRUE(ShowsSwitch(kNormalize, 1));
  EXPECT_TRUE(ShowsSwitch(kAnalyze, 0));
  EXPECT_EQ(rig->plug->GetParam(3)->Value(), 0.0);
}

TEST_F(Editor, BypassSwitchTogglesTheParameterWithAGesture) {
  rig->plug->events.clear();
  Click(100, 230);
  Settle();
  EXPECT_EQ(rig->plug->GetParam(0)->Value(), 1.0);
  EXPECT_TRUE(ShowsSwitch(kBypass, 1));
  ASSERT_GE(rig->plug->events.size(), 3u);
  EXPECT_EQ(rig->plug->events.front().kind, IPlugTest::HostEvent::BeginEdit);
  EXPECT_EQ(rig->plug->events.back().kind, IPlugTest::HostEvent::EndEdit);
  Click(100, 230);
  Settle();
  EXPECT_EQ(rig->plug->GetParam(0)->Value(), 0.0);
  EXPECT_TRUE(ShowsSwitch(kBypass, 0));
}

TEST_F(Editor, TargetFieldPromptsAndShowsTheEnteredValue) {
  editor->QueueTextAnswer("-16");
  Click(200, 40);
  ASSERT_EQ(editor->Prompts().size(), 1u);
  const IGraphicsHeadless::PromptRequest& prompt = editor->Prompts()[0];
  EXPECT_EQ(prompt.kind, IGraphicsHeadless::PromptRequest::TextEntry);
  EXPECT_EQ(prompt.text, "-23");
  EXPECT_EQ(prompt.rect, kTarget);
  Settle();
  EXPECT_EQ(rig->plug->GetParam(1)->Value(), -16.0);
  EXPECT_TRUE(ShowsText("-16LUFS", kTarget, kAmber));

  // A right press and a double click prompt as well; a dismissed prompt changes nothing.
  editor->QueueDismiss();
  Click(180, 30, kRight);
  Settle();
  editor->QueueDismiss();
  editor->DoubleClickMouse(230, 50, kLeft);
  Settle();
  EXPECT_EQ(editor->Prompts().size(), 3u);
  EXPECT_EQ(rig->plug->GetParam(1)->Value(), -16.0);
  EXPECT_TRUE(ShowsText("-16LUFS", kTarget, kAmber));

  // A right press on a read-out (no parameter) opens nothing.
  Click(60, 180, kRight);
  EXPECT_EQ(editor->Prompts().size(), 3u);
}

TEST_F(Editor, TargetFieldShowsTheParameterItselfAfterAHostChange) {
  // The host sets the value without the editor: the field draws the parameter's own value.
  rig->plug->GetParam(1)->SetClamped(-60.0);
  rig->plug->RefreshEditorParams();
  Settle();
  EXPECT_TRUE(ShowsText("-60LUFS", kTarget, kAmber));
}

// Regression: the FreeType faces of a destroyed editor must neither be used after they are
// freed nor leave stale state behind for the next instance's faces (cairo's font caches keep
// fonts after their last user).
TEST(EditorLifetime, InstancesOneAfterAnotherDrawTheSameText) {
  std::vector<uint32_t> first;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    ReceiverRig rig("life");
    auto* editor = dynamic_cast<IGraphicsHeadless*>(rig.plug->Editor());
    ASSERT_NE(editor, nullptr);
    for (int i = 0; i < 2; ++i)
      rig.Run(512, [](int, int) { return 0.0; });
    editor->OpenEditorWindow(nullptr);
    editor->Tick();
    const LICE_IBitmap& screen = editor->Screen();
    std::vector<uint32_t> pixels(screen.PixelData(),
                                 screen.PixelData() + screen.PixelsPerRow() * screen.Height());
    if (round == 0)
      first = pixels;
    else
      EXPECT_TRUE(pixels == first);
  }
}

} // namespace
