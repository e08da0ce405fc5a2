// Redraw into real pixels: what a tick paints into the back buffer and presents on the screen,
// and what it leaves alone.
#include <gtest/gtest.h>

#include "tests/igraphics/EditorRig.h"

namespace {

constexpr LICE_pixel kSentinel = LICE_RGBA(0xFF, 0x00, 0xFF, 255);

// What the editor shows at (x, y) with switch 1 and switch 2 in the given frames.
LICE_pixel Expected(int x, int y, LICE_pixel frame1, LICE_pixel frame2) {
  if (EditorRig::kSwitch1.Contains(x, y)) return frame1;
  if (EditorRig::kSwitch2.Contains(x, y)) return frame2;
  return kBackgroundPixel;
}

int CountMismatches(const LICE_IBitmap& bmp, LICE_pixel frame1, LICE_pixel frame2) {
  int n = 0;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x)
      n += PixelAt(bmp, x, y) != Expected(x, y, frame1, frame2);
  return n;
}

TEST(Redraw, OpeningPaintsTheWholeEditor) {
  EditorRig rig;
  rig.Attach();
  ASSERT_NE(rig.editor->GetDrawBitmap(), nullptr);
  EXPECT_EQ(rig.editor->GetDrawBitmap()->Width(), EditorRig::kW);
  EXPECT_EQ(rig.editor->GetDrawBitmap()->Height(), EditorRig::kH);
  EXPECT_FALSE(rig.editor->Tick()); // no window, no timer
  rig.editor->OpenEditorWindow(&rig.parent);
  EXPECT_TRUE(rig.editor->IsWindowOpen());
  EXPECT_TRUE(rig.editor->Tick());
  EXPECT_EQ(rig.editor->LastPresentedRect(), (ControlRect{0, 0, EditorRig::kW, EditorRig::kH}));
  EXPECT_EQ(CountMismatches(*rig.editor->GetDrawBitmap(), kOffPixel, kOffPixel), 0);
  EXPECT_EQ(CountMismatches(rig.editor->Screen(), kOffPixel, kOffPixel), 0);
}

// Only the clicked switch's rect is painted and presented: every other pixel of the back buffer
// and of the screen keeps what was there before the tick.
TEST(Redraw, ATickRepaintsOnlyTheDirtyControl) {
  EditorRig rig;
  rig.Open();
  LICE_IBitmap& back = *rig.editor->GetDrawBitmap();
  LICE_IBitmap& screen = rig.editor->Screen();
  const ControlRect all{0, 0, EditorRig::kW, EditorRig::kH};
  FillRect(back, all, kSentinel);
  FillRect(screen, all, kSentinel);

  rig.Click(10, 8); // switch 1 on
  EXPECT_TRUE(rig.editor->Tick());
  EXPECT_EQ(rig.editor->LastPresentedRect(), EditorRig::kSwitch1);
  for (LICE_IBitmap* bmp : {&back, &screen}) {
    EXPECT_EQ(CountOther(*bmp, EditorRig::kSwitch1, kOnPixel), 0);
    int outside = 0;
    for (int y = 0; y < EditorRig::kH; ++y)
      for (int x = 0; x < EditorRig::kW; ++x)
        if (!EditorRig::kSwitch1.Contains(x, y)) outside += PixelAt(*bmp, x, y) != kSentinel;
    EXPECT_EQ(outside, 0);
  }

  // The mark lasts one more tick, then nothing is left to paint.
  const int presents = rig.editor->PresentCount();
  EXPECT_TRUE(rig.editor->Tick());
  EXPECT_FALSE(rig.editor->Tick());
  EXPECT_EQ(rig.editor->PresentCount(), presents + 1);
}

// The redraw rect is the union of the dirty rects: a control inside it that was not marked is
// painted as well (over whatever lies below it).
TEST(Redraw, TwoDirtyControlsRepaintTheirUnion) {
  EditorRig rig;
  rig.Open();
  FillRect(*rig.editor->GetDrawBitmap(), {0, 0, EditorRig::kW, EditorRig::kH}, kSentinel);
  rig.Click(10, 8);
  rig.Click(35, 24);
  EXPECT_TRUE(rig.editor->Tick());
  const ControlRect u = EditorRig::kSwitch1.Union(EditorRig::kSwitch2);
  EXPECT_EQ(rig.editor->LastPresentedRect(), u);
  int wrong = 0;
  for (int y = u.top; y < u.bottom; ++y)
    for (int x = u.left; x < u.right; ++x)
      wrong += PixelAt(*rig.editor->GetDrawBitmap(), x, y) != Expected(x, y, kOnPixel, kOnPixel);
  EXPECT_EQ(wrong, 0);
}

// With value 1.0 the second of two stacked frames is shown (source y = half the height); a
// dimmed control is composed at weight 0.25 over the background.
TEST(Redraw, FramesAndDimmedWeight) {
  EditorRig rig;
  rig.Open();
  rig.editor->PushParamToControls(kParamOther, 1.0, true);
  rig.Settle();
  EXPECT_EQ(CountMismatches(*rig.editor->GetDrawBitmap(), kOffPixel, kOnPixel), 0);

  rig.editor->DimParamControls(kParamOther, true);
  rig.Settle();
  // Copy weighted by source alpha at k = 64 with an opaque source: p = 64 * 256 / 256 = 64,
  // each colour channel s + (d - s) * (256 - 64) / 256, alpha min(255, d.A + p).
  auto mix = [](int s, int d) { return s + (d - s) * (256 - 64) / 256; };
  const LICE_pixel dimmed = LICE_RGBA(mix(LICE_GETR(kOnPixel), LICE_GETR(kBackgroundPixel)),
                                      mix(LICE_GETG(kOnPixel), LICE_GETG(kBackgroundPixel)),
                                      mix(LICE_GETB(kOnPixel), LICE_GETB(kBackgroundPixel)), 255);
  EXPECT_EQ(CountOther(*rig.editor->GetDrawBitmap(), EditorRig::kSwitch2, dimmed), 0);
  EXPECT_EQ(CountOther(rig.editor->Screen(), EditorRig::kSwitch2, dimmed), 0);
}

// Frame 2 of a 100 x 64 two-frame image comes from source y 32, and only the part inside the
// redraw rect is drawn.
TEST(Redraw, PaintBitmapFrameClipsToTheRedrawRect) {
  const int ids = FreshIds();
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 120, 80);
  editor->images[ids] = [] { return StackedFrames(100, 32, {kOffPixel, kOnPixel}); };
  BitmapRef* bmp = editor->LoadBitmapResource(ids, "button.png", 2, false);
  EXPECT_EQ(bmp->height, 64);
  auto* sw = new IBitmapControl(&plug, 10, 10, kParamSwitch, bmp);
  editor->AddControl(sw);
  plug.AttachEditor(editor);
  LICE_IBitmap& back = *editor->GetDrawBitmap();
  FillRect(back, {0, 0, 120, 80}, kSentinel);
  sw->SetValue(1.0);
  const ControlRect part{50, 20, 70, 60};
  editor->RedrawRect(part);
  EXPECT_EQ(CountOther(back, {50, 20, 70, 42}, kOnPixel), 0);
  EXPECT_EQ(CountOther(back, {50, 42, 70, 60}, kSentinel), 0); // below the control
  EXPECT_EQ(CountOther(back, {10, 10, 50, 42}, kSentinel), 0); // outside the redraw rect
  EXPECT_EQ(editor->LastPresentedRect(), part);
}

// A redraw rect reaches the control that begins at its right edge (it is painted, with nothing
// to draw in the zero-width overlap), but not the control that ends at its left edge.
TEST(Redraw, TheRedrawRectMeetsControlsInItsOwnOrder) {
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 40, 20);
  auto* left = new ProbeControl(&plug, {0, 0, 10, 10});
  auto* right = new ProbeControl(&plug, {10, 0, 20, 10});
  editor->AddControl(left);
  editor->AddControl(right);
  plug.AttachEditor(editor);
  editor->RedrawRect({0, 0, 10, 10});
  EXPECT_EQ(left->paints, 1);
  EXPECT_EQ(right->paints, 1);
  editor->RedrawRect({10, 0, 20, 10});
  EXPECT_EQ(left->paints, 1);
  EXPECT_EQ(right->paints, 2);
}

// A dirty hidden control widens the dirty rect but is not painted; the redraw still clears it.
TEST(Redraw, HiddenDirtyControl) {
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 40, 40);
  auto* shown = new ProbeControl(&plug, {0, 0, 10, 10});
  auto* hidden = new ProbeControl(&plug, {20, 20, 30, 30});
  editor->AddControl(shown);
  editor->AddControl(hidden);
  plug.AttachEditor(editor);
  editor->OpenEditorWindow(nullptr);
  hidden->SetHidden(true);
  ControlRect dirty;
  EXPECT_TRUE(editor->CollectDirtyRect(dirty));
  EXPECT_EQ(dirty, (ControlRect{0, 0, 30, 30}));
  EXPECT_TRUE(editor->Tick());
  EXPECT_EQ(shown->paints, 1);
  EXPECT_EQ(hidden->paints, 0);
  editor->Tick();
  EXPECT_FALSE(hidden->IsDirty());
  EXPECT_FALSE(editor->Tick());
}

TEST(Redraw, AnEditorWithoutControlsPresentsNothing) {
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 40, 40);
  plug.AttachEditor(editor);
  EXPECT_TRUE(editor->RedrawRect({0, 0, 40, 40}));
  EXPECT_EQ(editor->PresentCount(), 0);
}

// The timer's dirty check asks every control once per tick and paints nothing when nothing is
// dirty.
TEST(Redraw, AQuietTickAsksEachControlOnce) {
  TestPlug plug;
  auto* editor = new TestEditor(&plug, 64, 64);
  std::vector<ProbeControl*> probes;
  for (int i = 0; i < 6; ++i) {
    probes.push_back(new ProbeControl(&plug, {i * 10, 0, i * 10 + 10, 10}));
    editor->AddControl(probes.back());
  }
  plug.AttachEditor(editor);
  editor->OpenEditorWindow(nullptr);
  while (editor->Tick()) {
  }
  for (ProbeControl* p : probes)
    p->needsPaintCalls = 0;
  const int presents = editor->PresentCount();
  for (int t = 0; t < 5; ++t)
    EXPECT_FALSE(editor->Tick());
  for (ProbeControl* p : probes) {
    EXPECT_EQ(p->needsPaintCalls, 5);
    EXPECT_EQ(p->paints, 2); // the opening's mark: two redraws
  }
  EXPECT_EQ(editor->PresentCount(), presents);
}

// Screenshots: the presented pixels written as PNG read back the same through the decoder.
TEST(Redraw, ScreenshotRoundTrip) {
  EditorRig rig;
  rig.Open();
  rig.Click(10, 8);
  rig.Settle();
  const std::string path = testing::TempDir() + "igraphics-screenshot.png";
  ASSERT_TRUE(LICE_WritePng(path.c_str(), rig.editor->Screen(), false));
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<unsigned char> bytes(1 << 16);
  bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
  fclose(f);
  std::unique_ptr<LICE_MemBitmap> back(DecodePng(bytes.data(), bytes.size()));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(CountMismatches(*back, kOnPixel, kOffPixel), 0);
  EXPECT_FALSE(LICE_WritePng("/nonexistent-dir/x.png", rig.editor->Screen(), false));
  remove(path.c_str());
}

} // namespace
