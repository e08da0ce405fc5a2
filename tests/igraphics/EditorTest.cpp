// The editor object: ownership through the plug-in base, the image registries, input routing
// and the prompts with their scripted answers.
#include <cmath>

#include <gtest/gtest.h>

#include "tests/igraphics/EditorRig.h"
#include "igraphics/IGraphicsCaches.h"

namespace {

TEST(Ownership, TheBaseOwnsTheEditorAndDeletesItFirst) {
  auto plug = std::make_unique<TestPlug>();
  plug->AttachEditor(nullptr); // ignored
  EXPECT_EQ(plug->Editor(), nullptr);

  auto* first = new TestEditor(plug.get(), 10, 10);
  auto* probe = new ProbeControl(plug.get(), {0, 0, 5, 5}, kParamGain);
  first->AddControl(probe);
  bool firstGone = false;
  probe->onDestroy = [&] { firstGone = true; };
  plug->AttachEditor(first);
  EXPECT_EQ(plug->Editor(), first);
  EXPECT_EQ(probe->Value(), 0.25);

  // A second editor replaces (and deletes) the first.
  auto* second = new TestEditor(plug.get(), 10, 10);
  auto* late = new ProbeControl(plug.get(), {0, 0, 5, 5}, kParamGain);
  second->AddControl(late);
  int paramsAtDestruction = -1;
  double valueAtDestruction = -1.0;
  TestPlug* raw = plug.get();
  late->onDestroy = [&] {
    // The controls go while the instance's parameters still exist.
    paramsAtDestruction = raw->NParams();
    valueAtDestruction = raw->GetParam(kParamGain)->Value();
  };
  plug->AttachEditor(second);
  EXPECT_TRUE(firstGone);
  EXPECT_EQ(plug->Editor(), second);
  plug.reset();
  EXPECT_EQ(paramsAtDestruction, kNumParams);
  EXPECT_EQ(valueAtDestruction, 0.25);
}

TEST(Ownership, AddBackgroundGoesBelowAndRenumbers) {
  const int ids = FreshIds();
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 64, 48);
  editor->images[ids] = [] { return FlatImage(64, 48, kBackgroundPixel); };
  auto* a = new ProbeControl(&plug, {0, 0, 5, 5});
  auto* b = new ProbeControl(&plug, {0, 0, 5, 5});
  EXPECT_EQ(editor->AddControl(a), 0);
  EXPECT_EQ(editor->AddControl(b), 1);
  editor->AddBackground(ids, "bkg.png");
  EXPECT_EQ(editor->NControls(), 3);
  EXPECT_EQ(a->ListIndex(), 1);
  EXPECT_EQ(b->ListIndex(), 2);
  IControl* bg = editor->GetControl(0);
  EXPECT_EQ(bg->Rect(), (ControlRect{0, 0, 64, 48}));
  EXPECT_EQ(bg->ParamIdx(), -1);
  EXPECT_EQ(bg->Blend().kind, ControlBlend::Opaque);
  plug.AttachEditor(editor);
}

TEST(Bitmaps, TwoLoadsShareOneDecodedImage) {
  const int ids = FreshIds();
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 64, 48);
  editor->images[ids] = [] { return StackedFrames(100, 32, {kOffPixel, kOnPixel}); };
  const int records = TheBitmapRecordList().Count();
  BitmapRef* a = editor->LoadBitmapResource(ids, "button.png", 2, false);
  BitmapRef* b = editor->LoadBitmapResource(ids, "another-name.png", 4, true);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->image, b->image);
  EXPECT_EQ(editor->decodes[ids], 1);
  EXPECT_EQ(TheBitmapRecordList().Count(), records + 2);
  // Each record keeps its caller's frame layout.
  EXPECT_EQ(a->frameCount, 2);
  EXPECT_FALSE(a->framesHorizontal);
  EXPECT_EQ(b->frameCount, 4);
  EXPECT_TRUE(b->framesHorizontal);
  EXPECT_EQ(a->width, 100);
  EXPECT_EQ(a->height, 64);

  // Another editor in the process finds the image decoded already, and the same layout reuses
  // the record: editors opened and closed again and again add nothing.
  TestPlug other;
  auto* editor2 = new TestEditor(&other, 64, 48);
  editor2->images = editor->images;
  EXPECT_EQ(editor2->LoadBitmapResource(ids, "button.png", 2, false), a);
  EXPECT_EQ(editor2->decodes[ids], 0);
  EXPECT_EQ(TheBitmapRecordList().Count(), records + 2);
  plug.AttachEditor(editor);
  other.AttachEditor(editor2);
}

// An image that cannot be loaded leaves a record without image, which paints nothing; it is not
// cached, so a later load tries again.
TEST(Bitmaps, AMissingImageIsNotCachedAndPaintsNothing) {
  const int ids = FreshIds();
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 20, 20);
  editor->images[ids] = [] { return nullptr; };
  BitmapRef* missing = editor->LoadBitmapResource(ids, "missing.png", 2, false);
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->image, nullptr);
  EXPECT_EQ(missing->width, 0);
  editor->LoadBitmapResource(ids, "missing.png", 2, false);
  EXPECT_EQ(editor->decodes[ids], 2);
  auto* sw = new ISwitchControl(&plug, 3, 3, kParamSwitch, missing);
  editor->AddControl(sw);
  plug.AttachEditor(editor);
  FillRect(*editor->GetDrawBitmap(), {0, 0, 20, 20}, kOffPixel);
  EXPECT_TRUE(editor->RedrawRect({0, 0, 20, 20}));
  EXPECT_EQ(CountOther(*editor->GetDrawBitmap(), {0, 0, 20, 20}, kOffPixel), 0);

  editor->images[ids] = [] { return FlatImage(4, 4, kOnPixel); };
  BitmapRef* found = editor->LoadBitmapResource(ids, "missing.png", 1, false);
  EXPECT_NE(found->image, nullptr);
  EXPECT_EQ(found->width, 4);
}

// The module's own image: the receiver's analysis button, decoded once for two records.
TEST(Bitmaps, TheModulesButtonImageIsDecodedOnce) {
  TestPlug plug;
  auto* editor = new IGraphicsHeadless(&plug, 256, 300);
  LICE_IBitmap* cached = TheImageCache().Find(101);
  BitmapRef* a = editor->LoadBitmapResource(101, "resources/img/analyze-btn.png", 2, false);
  BitmapRef* b = editor->LoadBitmapResource(101, "resources/img/analyze-btn.png", 2, false);
  ASSERT_NE(a->image, nullptr);
  EXPECT_EQ(a, b) << "the same layout of the same image is one record";
  if (cached) {
    EXPECT_EQ(a->image, cached);
  }
  EXPECT_EQ(TheImageCache().Find(101), a->image);
  EXPECT_EQ(a->width, 100);
  EXPECT_EQ(a->height, 64);
  // A wrong extension is refused before the resources are looked at; nothing is cached.
  EXPECT_EQ(editor->LoadBitmapResource(104, "resources/readout-font.ttf")->image, nullptr);
  EXPECT_EQ(TheImageCache().Find(104), nullptr);
  plug.AttachEditor(editor);
}

// The receiver's layout from the module's images: a click shows the switch's other frame in
// exactly its own rect, and a second click brings back the first picture.
TEST(Bitmaps, TheModulesSwitchChangesFrameOnTheScreen) {
  TestPlug plug;
  auto* editor = new IGraphicsHeadless(&plug, 256, 300);
  editor->AddBackground(100, "resources/img/bkg.png");
  BitmapRef* bmp = editor->LoadBitmapResource(101, "resources/img/analyze-btn.png", 2, false);
  auto* sw = new ISwitchControl(&plug, 144, 60, kParamSwitch, bmp);
  editor->AddControl(sw);
  plug.AttachEditor(editor);
  EXPECT_EQ(sw->Rect(), (ControlRect{144, 60, 244, 92}));
  editor->OpenEditorWindow(nullptr);
  while (editor->Tick()) {
  }
  auto snapshot = [&] {
    std::vector<LICE_pixel> px;
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 256; ++x)
        px.push_back(PixelAt(editor->Screen(), x, y));
    return px;
  };
  const std::vector<LICE_pixel> off = snapshot();
  editor->PressMouse(150, 70, {true});
  editor->ReleaseMouse(150, 70, {true});
  while (editor->Tick()) {
  }
  const std::vector<LICE_pixel> on = snapshot();
  int inside = 0, outside = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 256; ++x) {
      const bool differs = off[y * 256 + x] != on[y * 256 + x];
      (sw->Rect().Contains(x, y) ? inside : outside) += differs;
    }
  EXPECT_GT(inside, 100 * 32 / 10);
  EXPECT_EQ(outside, 0);
  editor->PressMouse(150, 70, {true});
  editor->ReleaseMouse(150, 70, {true});
  while (editor->Tick()) {
  }
  EXPECT_TRUE(snapshot() == off);
}

// Presses, releases, double clicks, wheel turns and keys all pass over a dimmed control to the
// one below it, or to nothing.
TEST(Input, DimmedControlsAreSkippedByTheHitSearch) {
  EditorRig rig;
  auto* below = new ProbeControl(rig.plug.get(), {40, 0, 60, 20});
  auto* above = new ProbeControl(rig.plug.get(), {40, 0, 60, 20}, kParamGain);
  rig.editor->AddControl(below);
  rig.editor->AddControl(above);
  rig.Attach();
  EXPECT_EQ(rig.editor->HitSearch(45, 5), above->ListIndex());
  above->SetDimmed(true);
  EXPECT_EQ(rig.editor->HitSearch(45, 5), below->ListIndex());

  rig.plug->events.clear();
  rig.editor->PressMouse(45, 5, {true});
  rig.editor->DragMouse(46, 6, {true});
  rig.editor->ReleaseMouse(45, 5, {true});
  rig.editor->DoubleClickMouse(45, 5, {true});
  rig.editor->TurnWheel(45, 5, {}, -2);
  EXPECT_TRUE(rig.editor->PressKey(45, 5, 31));
  EXPECT_EQ(below->log,
            (std::vector<std::string>{"down", "drag 1 1", "up", "double", "wheel -2", "key 31"}));
  EXPECT_TRUE(above->log.empty());
  EXPECT_TRUE(rig.plug->events.empty()); // the control below binds no parameter

  // A dimmed switch over the background: the press reaches the background, which does nothing.
  rig.editor->DimParamControls(kParamSwitch, true);
  rig.Click(10, 8);
  EXPECT_EQ(rig.switch1->Value(), 0.0);
  EXPECT_TRUE(rig.plug->events.empty());

  // Hidden controls are skipped the same way, and a press on nothing captures nothing.
  below->SetHidden(true);
  EXPECT_EQ(rig.editor->HitSearch(45, 5), 0);
  rig.editor->PressMouse(200, 200, {true});
  EXPECT_EQ(rig.editor->CaptureIndex(), -1);
  EXPECT_EQ(rig.editor->LastMouseX(), -1);
}

TEST(Input, KeysOverTheBackgroundGoToTheKeyCatcher) {
  EditorRig rig;
  auto* probe = new ProbeControl(rig.plug.get(), {40, 0, 60, 20});
  probe->takesKeys = false;
  rig.editor->AddControl(probe);
  rig.Attach();
  EXPECT_FALSE(rig.editor->PressKey(2, 40, 15)); // background, no catcher: the host gets it
  EXPECT_FALSE(rig.editor->PressKey(45, 5, 16)); // the control declines it
  EXPECT_EQ(probe->log, (std::vector<std::string>{"key 16"}));
  auto* catcher = new ProbeControl(rig.plug.get(), {});
  rig.editor->SetKeyCatcher(catcher);
  EXPECT_TRUE(rig.editor->PressKey(2, 40, 17));
  EXPECT_TRUE(rig.editor->PressKey(200, 200, 18)); // over nothing
  EXPECT_EQ(catcher->log, (std::vector<std::string>{"key 17", "key 18"}));
}

TEST(Input, DragsReachOnlyTheCapturedControlAndOnlyWhenMoved) {
  EditorRig rig;
  auto* probe = new ProbeControl(rig.plug.get(), {40, 0, 60, 20});
  rig.editor->AddControl(probe);
  rig.Attach();
  rig.editor->DragMouse(45, 5, {true}); // nothing captured
  rig.editor->PressMouse(45, 5, {true});
  rig.editor->DragMouse(45, 5, {true}); // same place as the press
  rig.editor->DragMouse(50, 3, {true});
  rig.editor->DragMouse(50, 3, {true});
  rig.editor->DragMouse(52, 13, {true});
  rig.editor->ReleaseMouse(52, 13, {true});
  rig.editor->DragMouse(53, 13, {true}); // released: nothing captured
  EXPECT_EQ(probe->log, (std::vector<std::string>{"down", "drag 5 -2", "drag 2 10", "up"}));
}

TEST(Input, HoverTrackingOnlyWhenSwitchedOn) {
  EditorRig rig;
  auto* probe = new ProbeControl(rig.plug.get(), {40, 0, 60, 20});
  rig.editor->AddControl(probe);
  rig.Attach();
  EXPECT_FALSE(rig.editor->HoverMouse(45, 5, {}));
  EXPECT_EQ(rig.editor->HoverIndex(), -1);
  rig.editor->SetTrackHover(true);
  EXPECT_TRUE(rig.editor->HoverMouse(45, 5, {}));
  EXPECT_EQ(rig.editor->HoverIndex(), probe->ListIndex());
  EXPECT_TRUE(rig.editor->HoverMouse(10, 8, {}));
  EXPECT_EQ(rig.editor->HoverIndex(), rig.switch1->ListIndex());
  rig.editor->LeaveMouse();
  EXPECT_EQ(rig.editor->HoverIndex(), -1);
}

// --- prompts -----------------------------------------------------------------------------------

struct PromptRig : EditorRig {
  PromptRig() {
    target = new ProbeControl(plug.get(), {172 - 150, 25, 242 - 150, 55}, kParamTarget);
    target->SetPromptDisabled(false);
    menu = new ProbeControl(plug.get(), {0, 30, 11, 41}, kParamSwitch);
    menu->SetPromptDisabled(false);
    editor->AddControl(target);
    editor->AddControl(menu);
    Open();
    plug->events.clear();
  }
  void RightClick(const IControl* c) {
    Click(c->Rect().left + 1, c->Rect().top + 1, {false, true});
  }
  double Target() const { return plug->GetParam(kParamTarget)->Value(); }
  ProbeControl* target;
  ProbeControl* menu;
};

TEST(Prompt, PromptRectFromTheCentre) {
  struct Case {
    ControlRect rect, prompt;
  } cases[] = {
      {{172, 25, 242, 55}, {172, 25, 242, 55}},
      {{0, 0, 5, 5}, {0, 0, 4, 4}},
      {{3, 3, 8, 10}, {3, 3, 7, 9}},
  };
  for (const Case& c : cases) {
    TestPlug plug;
    auto* editor = new TestEditor(&plug, 256, 300);
    auto* ctl = new ProbeControl(&plug, c.rect, kParamTarget);
    ctl->SetPromptDisabled(false);
    editor->AddControl(ctl);
    plug.AttachEditor(editor);
    ctl->AskForValue();
    ASSERT_EQ(editor->Prompts().size(), 1u);
    EXPECT_EQ(editor->Prompts()[0].rect, c.prompt);
    EXPECT_EQ(editor->Prompts()[0].kind, IGraphicsHeadless::PromptRequest::TextEntry);
    EXPECT_EQ(editor->Prompts()[0].text, "-23");
  }
}

TEST(Prompt, NoPromptWhenDisabledOrUnbound) {
  EditorRig rig;
  auto* disabled = new ProbeControl(rig.plug.get(), {0, 0, 10, 10}, kParamTarget);
  auto* unbound = new ProbeControl(rig.plug.get(), {0, 0, 10, 10});
  unbound->SetPromptDisabled(false);
  rig.editor->AddControl(disabled);
  rig.editor->AddControl(unbound);
  rig.Attach();
  disabled->AskForValue();
  unbound->AskForValue();
  rig.Click(5, 5, {false, true}); // right button over both
  EXPECT_TRUE(rig.editor->Prompts().empty());
}

// The entered number reaches the plug-in at the tick after Enter, as a change from the editor,
// after the gesture of the press has ended.
TEST(Prompt, TextEntryAppliesAtTheNextTick) {
  PromptRig rig;
  rig.editor->QueueTextAnswer("-12");
  rig.RightClick(rig.target);
  ASSERT_EQ(rig.editor->Prompts().size(), 1u);
  const auto& request = rig.editor->Prompts()[0];
  EXPECT_EQ(request.param, rig.plug->GetParam(kParamTarget));
  EXPECT_EQ(request.control, rig.target);
  EXPECT_EQ(request.limit, 7);
  EXPECT_EQ(request.style.size, 12);
  EXPECT_STREQ(request.style.font, "Arial");
  EXPECT_TRUE(rig.editor->TextEntryOpen());
  EXPECT_EQ(rig.Target(), -23.0);
  ASSERT_EQ(rig.plug->events.size(), 2u); // begin, end
  rig.editor->Tick();
  EXPECT_FALSE(rig.editor->TextEntryOpen());
  EXPECT_EQ(rig.Target(), -12.0);
  // The change comes long after the press's gesture ended: it gets one of its own, so that a
  // host records it as an edit (begin, change, end).
  ASSERT_EQ(rig.plug->events.size(), 5u);
  EXPECT_EQ(rig.plug->events[2].kind, IPlugTest::HostEvent::BeginEdit);
  EXPECT_EQ(rig.plug->events[3].kind, IPlugTest::HostEvent::Change);
  EXPECT_DOUBLE_EQ(rig.plug->events[3].value, 48.0 / 60.0);
  EXPECT_EQ(rig.plug->events[4].kind, IPlugTest::HostEvent::EndEdit);
  for (int i = 2; i < 5; ++i)
    EXPECT_EQ(rig.plug->events[i].index, kParamTarget);
  EXPECT_EQ(rig.plug->changes.back(), (TestPlug::Change{kParamTarget, kSourceEditor}));
  EXPECT_DOUBLE_EQ(rig.target->Value(), 48.0 / 60.0);
}

TEST(Prompt, WhatTheBoxLetsThrough) {
  struct Case {
    const char* typed;
    double target;
  } cases[] = {
      {"a-1b2", -12.0},       // letters are swallowed
      {"-1234567890", -60.0}, // at most 7 characters: -123456, then clamped
      {"\b", 0.0},            // an emptied box applies 0
      {"-70", -60.0},
      {"-7.6", -8.0},  // the parameter's step rounds the value
      {"--5", 0.0},    // no leading number
      {"-1e5", -15.0}, // no exponent can be typed: the 'e' is swallowed
  };
  for (const Case& c : cases) {
    PromptRig rig;
    rig.editor->QueueTextAnswer(c.typed);
    rig.RightClick(rig.target);
    rig.editor->Tick();
    EXPECT_EQ(rig.Target(), c.target) << '"' << c.typed << '"';
  }
}

TEST(Prompt, TypingReplacesTheSelectedText) {
  PromptRig rig;
  rig.RightClick(rig.target); // no answer queued: the box stays open
  EXPECT_EQ(rig.editor->TextEntryText(), "-23");
  rig.editor->TypeText("-4");
  rig.editor->TypeText("x\b5");
  EXPECT_EQ(rig.editor->TextEntryText(), "-5");
  rig.editor->Tick(); // nothing pending: an ordinary tick
  EXPECT_TRUE(rig.editor->TextEntryOpen());
  rig.editor->PressEnter();
  rig.editor->Tick();
  EXPECT_EQ(rig.Target(), -5.0);
}

TEST(Prompt, EscapeAndClosingLeaveTheValue) {
  PromptRig rig;
  rig.editor->QueueDismiss();
  rig.RightClick(rig.target);
  rig.editor->Tick();
  EXPECT_FALSE(rig.editor->TextEntryOpen());
  EXPECT_EQ(rig.Target(), -23.0);

  rig.RightClick(rig.target);
  rig.editor->TypeText("-30");
  rig.editor->CancelTextEntry();
  rig.editor->Tick();
  EXPECT_EQ(rig.Target(), -23.0);

  // Closing the window drops the entry; the reopened editor has none.
  rig.RightClick(rig.target);
  rig.editor->TypeText("-30");
  rig.editor->PressEnter();
  rig.editor->CloseEditorWindow();
  rig.editor->OpenEditorWindow(&rig.parent);
  EXPECT_FALSE(rig.editor->TextEntryOpen());
  rig.Settle();
  EXPECT_EQ(rig.Target(), -23.0);
  for (const IPlugTest::HostEvent& e : rig.plug->events)
    EXPECT_NE(e.kind, IPlugTest::HostEvent::Change);
}

// A second text entry while the box is open is ignored.
TEST(Prompt, OneTextEntryAtATime) {
  PromptRig rig;
  rig.RightClick(rig.target);
  rig.RightClick(rig.target);
  EXPECT_EQ(rig.editor->Prompts().size(), 1u);
  rig.editor->TypeText("-1");
  rig.editor->PressEnter();
  rig.editor->Tick();
  EXPECT_EQ(rig.Target(), -1.0);
}

TEST(Prompt, BoolWithDisplayTextsOpensAMenu) {
  PromptRig rig;
  rig.editor->QueueMenuChoice(1);
  rig.RightClick(rig.menu);
  ASSERT_EQ(rig.editor->Prompts().size(), 1u);
  const auto& request = rig.editor->Prompts()[0];
  EXPECT_EQ(request.kind, IGraphicsHeadless::PromptRequest::Menu);
  EXPECT_EQ(request.labels, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(request.flags, (std::vector<int32_t>{PopupMenuItem::Checked, 0}));
  EXPECT_EQ(request.rect, rig.menu->Rect()); // with display texts the rect is taken as it is
  EXPECT_TRUE(rig.plug->GetParam(kParamSwitch)->IsOn());
  EXPECT_EQ(rig.menu->Value(), 1.0);
  EXPECT_EQ(rig.switch1->Value(), 1.0); // the switch on the same parameter follows
  EXPECT_EQ(rig.editor->CaptureIndex(), -1);

  // The closed menu leaves the whole editor to repaint.
  EXPECT_TRUE(rig.editor->Tick());
  EXPECT_EQ(rig.editor->LastPresentedRect(), (ControlRect{0, 0, EditorRig::kW, EditorRig::kH}));

  // Dismissed, or a text answer to a menu: nothing changes.
  rig.editor->QueueDismiss();
  rig.RightClick(rig.menu);
  rig.editor->QueueTextAnswer("off");
  rig.RightClick(rig.menu);
  EXPECT_TRUE(rig.plug->GetParam(kParamSwitch)->IsOn());
  EXPECT_EQ(rig.editor->PendingAnswers(), 0);
}

TEST(Prompt, MenuChoicesFollowTheWindowSystemNumbering) {
  TestPlug plug;
  TestEditor editor(&plug, 20, 20);
  PopupMenu menu;
  menu.AddItem("a");
  menu.AddItem("", PopupMenuItem::Separator);
  PopupMenuItem& sub = menu.AddItem("more");
  sub.submenu = std::make_unique<PopupMenu>();
  sub.submenu->AddItem("c");
  sub.submenu->AddItem("d", PopupMenuItem::Greyed);
  sub.submenu->AddItem("e");
  menu.AddItem("b");
  // Ids: a 0, separator 1, "more" 2, b 3, then the submenu's c 4, d 5, e 6.
  struct Case {
    int id;
    PopupMenu* holder;
    int index;
  } cases[] = {
      {0, &menu, 0},    {3, &menu, 3},    {6, sub.submenu.get(), 2}, {4, sub.submenu.get(), 0},
      {1, nullptr, -1}, {2, nullptr, -1}, {5, nullptr, -1},          {7, nullptr, -1},
      {-1, nullptr, -1}};
  for (const Case& c : cases) {
    menu.chosenIndex = sub.submenu->chosenIndex = -1;
    editor.QueueMenuChoice(c.id);
    PopupMenu* chosen = editor.ShowPopupMenu(&menu, {});
    EXPECT_EQ(chosen, c.holder) << "id " << c.id;
    if (chosen) {
      EXPECT_EQ(chosen->chosenIndex, c.index) << "id " << c.id;
    }
  }
}

TEST(Prompt, EnteredTextWithoutParameter) {
  EditorRig rig;
  auto* probe = new ProbeControl(rig.plug.get(), {40, 0, 60, 20});
  rig.editor->AddControl(probe);
  rig.Open();
  rig.editor->QueueTextAnswer("hello, world");
  rig.editor->ShowTextEntry(probe, probe->GetTextStyle(), probe->Rect(), "", nullptr);
  rig.editor->Tick();
  EXPECT_EQ(probe->entered, "hello, "); // the box's limit of 7
}

} // namespace

namespace {

// Measuring places the rect around the text by the style's alignment; this needs no platform.
TEST(Labels, MeasuredTextIsPlacedByAlignment) {
  struct Case {
    int32_t align;
    ControlRect rect;
    int width, height;
    ControlRect placed;
  } cases[] = {
      {TextStyle::AlignLeft, {10, 20, 110, 50}, 37, 14, {10, 20, 47, 34}},
      {TextStyle::AlignCenter, {10, 20, 110, 50}, 37, 14, {42, 20, 79, 34}}, // 60 - 18
      {TextStyle::AlignCenter, {-11, 0, 0, 9}, 5, 9, {-7, 0, -2, 9}},        // -5 - 2: toward 0
      {TextStyle::AlignRight, {10, 20, 110, 50}, 37, 14, {73, 20, 110, 34}},
      {7, {10, 20, 110, 50}, 0, 0, {110, 20, 110, 20}}, // any other value aligns right
  };
  for (const Case& c : cases) {
    TextStyle style;
    style.align = c.align;
    ControlRect r = c.rect;
    IGraphics::PlaceMeasuredText(style, c.width, c.height, r);
    EXPECT_EQ(r, c.placed) << c.align << " " << c.width;
  }
}

// Without system fonts (every build but Windows) a label says so by its result and draws nothing;
// an empty text needs no font.
TEST(Labels, WithoutSystemFontsALabelReportsFailure) {
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 64, 48);
  plug.AttachEditor(editor);
  TextStyle style;
  ControlRect rect{0, 0, 64, 48};
#if defined(_WIN32)
  EXPECT_TRUE(editor->DrawLabel(style, "Gain", rect));
  EXPECT_NE(style.cachedFont, nullptr);
  EXPECT_TRUE(editor->MeasureLabel(style, "Gain", rect));
  EXPECT_GT(rect.W(), 0);
#else
  EXPECT_FALSE(editor->DrawLabel(style, "Gain", rect));
  EXPECT_FALSE(editor->MeasureLabel(style, "Gain", rect));
  EXPECT_EQ(editor->FontForStyle(style), nullptr);
  EXPECT_EQ(rect, (ControlRect{0, 0, 64, 48}));
#endif
  EXPECT_TRUE(editor->DrawLabel(style, "", rect));
}

} // namespace
