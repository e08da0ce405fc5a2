// Controls through the editor and the host-less adapter: values from both sides, switch
// stepping with the host's edit gestures, dimming, and the parameter binding.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/igraphics/EditorRig.h"

namespace {

using Ev = IPlugTest::HostEvent;

std::string Events(const IPlugTest& plug) {
  std::string s;
  char e[64];
  for (const Ev& ev : plug.events) {
    switch (ev.kind) {
    case Ev::BeginEdit:
      snprintf(e, sizeof e, "begin %d; ", ev.index);
      break;
    case Ev::EndEdit:
      snprintf(e, sizeof e, "end %d; ", ev.index);
      break;
    case Ev::Change:
      snprintf(e, sizeof e, "change %d %g; ", ev.index, ev.value);
      break;
    default:
      snprintf(e, sizeof e, "other; ");
    }
    s += e;
  }
  return s;
}

TEST(Switch, StepsThroughItsFramesOnEveryButton) {
  struct Case {
    std::vector<LICE_pixel> frames;
    MouseMods mods;
    std::vector<double> values; // after each press, starting from 0
  } cases[] = {
      {{kOffPixel, kOnPixel}, {true}, {1.0, 0.0, 1.0}},
      {{kOffPixel, kOnPixel}, {false, true}, {1.0, 0.0}}, // right button
      {{kOffPixel, kOnPixel}, {}, {1.0, 0.0}},            // middle button: no flag at all
      {{kOffPixel, kOnPixel, kThirdPixel}, {true}, {0.5, 1.0, 0.0, 0.5}},
      {{kOffPixel}, {true}, {1.0, 0.0, 1.0}},
  };
  for (const Case& c : cases) {
    const int ids = FreshIds();
    TestPlug plug;
    auto* editor = new TestEditor(&plug, 64, 48);
    const std::vector<LICE_pixel> frames = c.frames;
    editor->images[ids] = [frames] { return StackedFrames(20, 8, frames); };
    BitmapRef* bmp =
        editor->LoadBitmapResource(ids, "switch.png", static_cast<int>(frames.size()), false);
    auto* sw = new ISwitchControl(&plug, 0, 0, kParamGain, bmp);
    editor->AddControl(sw);
    plug.AttachEditor(editor);
    sw->SetValue(0.0);
    plug.events.clear();
    std::string expected;
    for (double v : c.values) {
      editor->PressMouse(5, 5, c.mods);
      editor->ReleaseMouse(5, 5, c.mods);
      EXPECT_DOUBLE_EQ(sw->Value(), v) << frames.size() << " frames";
      char t[64];
      snprintf(t, sizeof t, "begin 3; change 3 %g; end 3; ", v);
      expected += t;
    }
    EXPECT_EQ(Events(plug), expected) << frames.size() << " frames";
  }
}

// A double click steps the switch a second time: the gesture of the first press ends at its
// release, the double click itself begins none, and its release ends one more.
TEST(Switch, DoubleClickStepsTwiceWithOneGestureBegun) {
  EditorRig rig;
  rig.Attach();
  rig.plug->events.clear();
  rig.plug->changes.clear();
  const int x = 10, y = 8; // inside switch 1
  rig.editor->PressMouse(x, y, {true});
  rig.editor->ReleaseMouse(x, y, {true});
  EXPECT_FALSE(rig.editor->DoubleClickMouse(x, y, {true}));
  rig.editor->ReleaseMouse(x, y, {true});

  EXPECT_EQ(rig.switch1->Value(), 0.0);
  EXPECT_FALSE(rig.plug->GetParam(kParamSwitch)->IsOn());
  EXPECT_EQ(Events(*rig.plug), "begin 0; change 0 1; end 0; change 0 0; end 0; ");
  const std::vector<TestPlug::Change> changes = {{kParamSwitch, kSourceEditor},
                                                 {kParamSwitch, kSourceEditor}};
  EXPECT_EQ(rig.plug->changes, changes);
}

// A control that takes double clicks as presses is captured by the double click.
TEST(Control, DoubleClickAsPressCaptures) {
  EditorRig rig;
  auto* probe = new ProbeControl(rig.plug.get(), {40, 0, 60, 10});
  probe->SetDoubleClickAsPress(true);
  rig.editor->AddControl(probe);
  rig.Attach();
  EXPECT_TRUE(rig.editor->DoubleClickMouse(45, 5, {true}));
  EXPECT_EQ(rig.editor->CaptureIndex(), probe->ListIndex());
  rig.editor->DragMouse(47, 4, {true});
  rig.editor->ReleaseMouse(80, 80, {true}); // outside: still reaches the captured control
  EXPECT_EQ(probe->log, (std::vector<std::string>{"down", "drag 2 -1", "up"}));
  EXPECT_EQ(rig.editor->CaptureIndex(), -1);
}

TEST(Control, ValuesFromThePlugInAndTheUser) {
  TestPlug plug;
  ProbeControl c(&plug, {0, 0, 10, 10}, kParamGain);
  // A fresh control: dirty only from its construction.
  EXPECT_TRUE(c.IsDirty());
  EXPECT_FALSE(c.IsChanged());
  c.ReceiveParamValue(0.3);
  EXPECT_EQ(c.Value(), 0.3);
  EXPECT_EQ(c.DefaultValue(), 0.3);
  EXPECT_FALSE(c.IsChanged()); // the first value alone marks nothing
  c.AfterPaint();
  c.ReceiveParamValue(0.3);
  EXPECT_FALSE(c.IsDirty());
  c.ReceiveParamValue(0.5);
  EXPECT_TRUE(c.IsDirty());
  EXPECT_TRUE(c.IsChanged());
  EXPECT_EQ(c.DefaultValue(), 0.3);
  EXPECT_TRUE(plug.events.empty()); // values from the plug-in side are not sent back

  // A user value goes to the plug-in; an equal one does not.
  c.ReceiveUserValue(0.75);
  EXPECT_EQ(plug.GetParam(kParamGain)->Value(), 0.75);
  ASSERT_EQ(plug.events.size(), 1u);
  c.ReceiveUserValue(0.75);
  EXPECT_EQ(plug.events.size(), 1u);

  // A double click restores the default, and tells the plug-in.
  c.IControl::HandleDoubleClick(1, 1, {true});
  EXPECT_EQ(c.Value(), 0.3);
  EXPECT_EQ(plug.GetParam(kParamGain)->Value(), 0.3);
}

TEST(Control, DoubleClickWithoutDefaultDoesNothing) {
  TestPlug plug;
  ProbeControl c(&plug, {0, 0, 10, 10}, kParamGain);
  c.SetValue(0.6);
  c.AfterPaint();
  c.IControl::HandleDoubleClick(1, 1, {true});
  EXPECT_EQ(c.Value(), 0.6);
  EXPECT_FALSE(c.IsDirty());
  EXPECT_TRUE(plug.events.empty());
}

TEST(Control, MarkDirtyClampsTheValue) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double low, high, value, stored;
  } cases[] = {
      {0.0, 1.0, 1.2, 1.0},
      {0.0, 1.0, -0.1, 0.0},
      {0.0, 1.0, 0.4, 0.4},
      {0.2, 0.8, 0.9, 0.8},
      {0.2, 0.8, 0.1, 0.2},
      // A NaN is no value a parameter can take: it becomes the low bound.
      {0.0, 1.0, nan, 0.0},
      {0.2, 0.8, nan, 0.2},
  };
  for (const Case& c : cases) {
    ProbeControl ctl(nullptr, {0, 0, 1, 1});
    ctl.SetClamp(c.low, c.high);
    ctl.SetValue(c.value);
    ctl.MarkDirty(false);
    EXPECT_EQ(ctl.Value(), c.stored) << c.value << " in " << c.low << ".." << c.high;
  }
}

// Dimming sets the weight and marks the control even when the flag does not change.
TEST(Control, DimAndHideWeights) {
  ProbeControl c(nullptr, {0, 0, 1, 1});
  c.AfterPaint();
  c.SetDimmed(true);
  EXPECT_EQ(c.Blend().weight, 0.25f);
  EXPECT_TRUE(c.IsDirty());
  c.AfterPaint();
  c.AfterPaint();
  c.SetDimmed(true);
  EXPECT_TRUE(c.IsDirty());
  c.SetDimmed(false);
  EXPECT_EQ(c.Blend().weight, 1.0f);
  c.SetHidden(true);
  EXPECT_EQ(c.Blend().weight, 0.0f);
  EXPECT_TRUE(c.IsHidden());
  c.SetHidden(false);
  EXPECT_EQ(c.Blend().weight, 1.0f);
}

// Repaint flags: a mark keeps a control dirty for two redraws.
TEST(Control, AMarkLastsTwoRedraws) {
  ProbeControl c(nullptr, {0, 0, 1, 1});
  c.AfterPaint();
  EXPECT_FALSE(c.IsDirty());
  c.MarkDirty(false);
  c.AfterPaint();
  EXPECT_TRUE(c.IsDirty());
  c.AfterPaint();
  EXPECT_FALSE(c.IsDirty());
}

TEST(BitmapControl, FrameForValue) {
  BitmapRef two{nullptr, 100, 64, 2, false};
  BitmapRef three{nullptr, 30, 30, 3, false};
  BitmapRef one{nullptr, 30, 30, 1, false};
  struct Case {
    BitmapRef* bmp;
    double value;
    int frame;
  } cases[] = {
      {&two, 0.0, 1},
      {&two, 0.49, 1},
      {&two, 0.5, 2},
      {&two, 1.0, 2},
      {&three, 0.24, 1},
      {&three, 0.25, 2},
      {&three, 0.74, 2},
      {&three, 0.75, 3},
      {&one, 1.0, 1},
      // Values the plug-in pushed outside 0..1 still pick a frame that exists.
      {&two, -3.0, 1},
      {&two, 7.0, 2},
      {&two, 1e300, 2},
  };
  for (const Case& c : cases) {
    IBitmapControl ctl(nullptr, 0, 0, -1, c.bmp);
    ctl.SetValue(c.value);
    EXPECT_EQ(ctl.FrameForValue(), c.frame) << c.bmp->frameCount << " frames at " << c.value;
  }
  // One frame of the image: stacked frames divide the height, horizontal ones the width.
  IBitmapControl stacked(nullptr, 7, 9, -1, &two);
  EXPECT_EQ(stacked.Rect(), (ControlRect{7, 9, 107, 41}));
  BitmapRef wide{nullptr, 90, 20, 3, true};
  IBitmapControl horizontal(nullptr, 1, 2, -1, &wide);
  EXPECT_EQ(horizontal.Rect(), (ControlRect{1, 2, 31, 22}));
}

TEST(Binding, PushParamToControlsReachesEveryBoundControlAndAuxSlot) {
  EditorRig rig;
  auto* twin = new ProbeControl(rig.plug.get(), {0, 30, 10, 40}, kParamSwitch);
  auto* aux = new ProbeControl(rig.plug.get(), {10, 30, 20, 40});
  aux->AddAuxParam(kParamGain);
  aux->AddAuxParam(kParamTarget);
  aux->AddAuxParam(kParamTarget); // only the first slot bound to a parameter follows it
  rig.editor->AddControl(twin);
  rig.editor->AddControl(aux);
  rig.Attach();
  // Attaching pushed every parameter's normalised value: Target -23 of -60..0.
  EXPECT_DOUBLE_EQ(aux->AuxParamValue(1), 37.0 / 60.0);
  EXPECT_EQ(aux->AuxParamValue(2), 0.0);
  EXPECT_EQ(aux->AuxParamValue(0), 0.25);

  // Plain values are normalised by the parameter.
  rig.editor->PushParamToControls(kParamTarget, -30.0, false);
  EXPECT_DOUBLE_EQ(aux->AuxParamValue(1), 0.5);
  rig.editor->PushParamToControls(kParamSwitch, 1.0, true);
  EXPECT_EQ(rig.switch1->Value(), 1.0);
  EXPECT_EQ(twin->Value(), 1.0);
  EXPECT_EQ(rig.switch2->Value(), 0.0);

  // A user's click on one control reaches the other bound to the same parameter.
  rig.Click(10, 8);
  EXPECT_EQ(rig.switch1->Value(), 0.0);
  EXPECT_EQ(twin->Value(), 0.0);
}

TEST(Binding, DimParamControlsDimsOnlyTheBoundControls) {
  EditorRig rig;
  rig.Open();
  rig.editor->DimParamControls(kParamOther, true);
  EXPECT_TRUE(rig.switch2->IsDimmed());
  EXPECT_EQ(rig.switch2->Blend().weight, 0.25f);
  EXPECT_TRUE(rig.switch2->IsDirty());
  EXPECT_FALSE(rig.switch1->IsDimmed());
  EXPECT_FALSE(rig.switch1->IsDirty());
  EXPECT_FALSE(rig.editor->GetControl(0)->IsDimmed());
  rig.editor->DimParamControls(kParamOther, false);
  EXPECT_FALSE(rig.switch2->IsDimmed());
  EXPECT_EQ(rig.switch2->Blend().weight, 1.0f);
}

// The receiver refreshes the editor with plain values after a preset or state load.
TEST(Binding, RefreshEditorParamsPushesPlainValues) {
  EditorRig rig;
  auto* target = new ProbeControl(rig.plug.get(), {0, 30, 10, 40}, kParamTarget);
  rig.editor->AddControl(target);
  rig.plug->RefreshEditorParams(); // no editor attached yet: nothing happens
  EXPECT_EQ(target->Value(), 0.0);
  rig.Attach();
  EXPECT_DOUBLE_EQ(target->Value(), 37.0 / 60.0);
  EXPECT_DOUBLE_EQ(target->DefaultValue(), 37.0 / 60.0);
  rig.plug->GetParam(kParamTarget)->SetClamped(-60.0);
  rig.plug->GetParam(kParamSwitch)->SetClamped(1.0);
  rig.plug->RefreshEditorParams();
  EXPECT_EQ(target->Value(), 0.0);
  EXPECT_EQ(rig.switch1->Value(), 1.0);
  EXPECT_DOUBLE_EQ(target->DefaultValue(), 37.0 / 60.0);
}

} // namespace
