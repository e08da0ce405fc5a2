// The cairo layer over real pixels: binding to a bitmap without a copy, text placement in the
// embedded font, the clip on the shared context, the read-out's dirty marking and its text
// hand-over between threads.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ycairo/ICairoControls.h"
#include "ycairo/SharedText.h"
#include "lice/lice.h"
#include "ycairo/ycairo.h"

namespace {

constexpr ControlColor kAmber{255, 255, 205, 64};
constexpr ControlColor kWhite{255, 255, 255, 255};

// Columns and rows that hold ink: pixels that differ from the fill colour.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1; // inclusive
  bool Any() const { return right >= 0; }
};

Ink FindInk(const LICE_IBitmap& bm, uint32_t fill) {
  Ink ink;
  for (int y = 0; y < bm.Height(); ++y)
    for (int x = 0; x < bm.Width(); ++x)
      if ((bm.PixelData()[y * bm.PixelsPerRow() + x] & 0xFFFFFF) != (fill & 0xFFFFFF)) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

// A black 256 x 300 back buffer with a context bound to it and a text part holding the font.
struct TextRig {
  TextRig() : bitmap(256, 300), context(nullptr), text(&context) {
    context.Bind(&bitmap);
    font = text.LoadFontResource(kEditorFontResource, kResourceTypeRcData, kEditorFontName);
  }
  void Clear() {
    cairo_t* cr = context.CairoContext();
    cairo_reset_clip(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
  }
  LICE_SysBitmap bitmap;
  ycairo_context context;
  ycairo_text text;
  int font = -1;
};

// A read-out that counts the marks UpdateText makes.
class CountingText : public ICairoText {
public:
  using ICairoText::ICairoText;
  void MarkDirty(bool notify) override {
    marks.push_back(notify);
    ICairoText::MarkDirty(notify);
  }
  std::string Text() const {
    char out[SharedText::kCapacity];
    CopyText(out);
    return out;
  }
  std::vector<bool> marks;
};

TEST(CairoContext, BindsToTheBitmapsOwnPixels) {
  // 101 pixels wide: rows are padded to 104, so a wrong stride would shear the fill.
  LICE_SysBitmap bitmap(101, 40);
  ASSERT_EQ(bitmap.PixelsPerRow(), 104);
  LICE_pixel* px = bitmap.PixelData();
  for (int i = 0; i < bitmap.PixelsPerRow() * bitmap.Height(); ++i)
    px[i] = 0x80123456;
  ycairo_context context(nullptr);
  EXPECT_EQ(context.CairoContext(), nullptr);
  context.Bind(&bitmap);
  ASSERT_NE(context.CairoContext(), nullptr);
  EXPECT_EQ(cairo_image_surface_get_data(context.Surface()),
            reinterpret_cast<unsigned char*>(px)); // no copy
  EXPECT_EQ(context.Width(), 101);
  EXPECT_EQ(context.Height(), 40);

  // Binding fills the surface with the (black) background.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 101; ++x)
      ASSERT_EQ(px[y * 104 + x] & 0xFFFFFF, 0u) << x << "," << y;

  cairo_t* cr = context.CairoContext();
  cairo_set_source_rgb(cr, 1.0, 0.0, 0.0);
  cairo_rectangle(cr, 10, 5, 60, 20);
  cairo_fill(cr);
  const auto* bytes = reinterpret_cast<const uint8_t*>(px);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 101; ++x) {
      const uint8_t* p = bytes + (y * 104 + x) * 4;
      const bool inside = x >= 10 && x < 70 && y >= 5 && y < 25;
      ASSERT_EQ(p[0], 0) << x << "," << y;                // B
      ASSERT_EQ(p[1], 0) << x << "," << y;                // G
      ASSERT_EQ(p[2], inside ? 255 : 0) << x << "," << y; // R
      ASSERT_EQ(p[3], 255) << x << "," << y;              // the back buffer stays opaque
    }

  // Released, the context leaves the pixels alone.
  context.Release();
  EXPECT_EQ(context.CairoContext(), nullptr);
  EXPECT_EQ(bytes[(10 * 104 + 20) * 4 + 2], 255);
}

TEST(CairoContext, UnboundContextDrawsNothing) {
  ycairo_context context(nullptr);
  context.Bind(nullptr);
  LICE_MemBitmap empty;
  context.Bind(&empty);
  EXPECT_EQ(context.CairoContext(), nullptr);
  ICairoText text(nullptr, {0, 0, 50, 20}, &context, kAmber, "-inf");
  EXPECT_TRUE(text.Paint(nullptr)); // no context: no crash, nothing to draw into
}

TEST(CairoText, FontComesFromTheModulesResource) {
  TextRig rig;
  EXPECT_EQ(rig.font, 0);
  EXPECT_TRUE(rig.text.FontLoaded());

  ycairo_text missing(&rig.context);
  EXPECT_NE(missing.LoadFontResource(999, kResourceTypeRcData, "none.ttf"), 0);
  EXPECT_FALSE(missing.FontLoaded());
  missing.RenderText(rig.context.CairoContext(), "-23.4", 30.0, kWhite, {0, 0, 256, 300},
                     TextHAlign::Center, TextVAlign::Middle);
  EXPECT_FALSE(FindInk(rig.bitmap, 0).Any()) << "drew without a font";

  // Bytes that are no font leave the part without one as well.
  static const char garbage[] = "not a font at all";
  EXPECT_NE(missing.LoadFontMemory(garbage, sizeof garbage), 0);
  EXPECT_FALSE(missing.FontLoaded());
}

// Regression: the text part kept a pointer to the caller's string after each draw; the read-out
// draws from a buffer on its stack, so the pointer dangled until the next paint.
TEST(CairoText, NoPointerToTheCallersStringOutlivesADraw) {
  struct Peek : ycairo_text {
    using ycairo_text::ycairo_text;
    const char* Kept() const { return text; }
  };
  TextRig rig;
  Peek part(&rig.context);
  ASSERT_EQ(part.LoadFontResource(kEditorFontResource, kResourceTypeRcData, kEditorFontName), 0);
  {
    char onTheStack[] = "-23.4";
    part.RenderText(rig.context.CairoContext(), onTheStack, 30.0, kAmber, {15, 159, 115, 209},
                    TextHAlign::Center, TextVAlign::Middle);
  }
  EXPECT_STREQ(part.Kept(), "");
  EXPECT_GT(part.TextExtents().width, 0.0); // what the draw measured stays readable
}

TEST(CairoText, MiddleAlignmentKeepsOneBaselineWhateverTheCharacters) {
  TextRig rig;
  ASSERT_EQ(rig.font, 0);
  const ControlRect r{15, 159, 115, 209};
  struct Drawn {
    double x, y;
    Ink ink;
  };
  auto draw = [&](const char* s) {
    rig.Clear();
    rig.text.RenderText(rig.context.CairoContext(), s, 30.0, kAmber, r, TextHAlign::Center,
                        TextVAlign::Middle);
    return Drawn{rig.text.LastOriginX(), rig.text.LastOriginY(), FindInk(rig.bitmap, 0)};
  };
  const Drawn inf = draw("-inf");
  const cairo_text_extents_t infText = rig.text.TextExtents();
  const Drawn num = draw("-23.4");
  const cairo_text_extents_t numText = rig.text.TextExtents();
  const cairo_font_extents_t font = rig.text.FontExtents();

  EXPECT_DOUBLE_EQ(inf.y, 209.0 - (50.0 - font.height) * 0.5 - font.descent);
  EXPECT_DOUBLE_EQ(num.y, inf.y);
  EXPECT_DOUBLE_EQ(inf.x, 65.0 - (infText.width + infText.x_bearing) * 0.5);
  EXPECT_DOUBLE_EQ(num.x, 65.0 - (numText.width + numText.x_bearing) * 0.5);

  // In pixels: neither string has a descender, so both inks end on the baseline row, and each
  // ink is centred on the rectangle's middle column (65).
  ASSERT_TRUE(inf.ink.Any() && num.ink.Any());
  EXPECT_NEAR(inf.ink.bottom, num.ink.bottom, 1);
  EXPECT_NEAR(inf.ink.bottom, inf.y, 1.5);
  for (const Drawn* d : {&inf, &num}) {
    EXPECT_NEAR((d->ink.left + d->ink.right + 1) * 0.5, 65.0, 1.5);
    EXPECT_GE(d->ink.top, r.top);
    EXPECT_LT(d->ink.bottom, r.bottom);
  }
}

TEST(CairoText, HorizontalAndVerticalAlignmentTable) {
  TextRig rig;
  ASSERT_EQ(rig.font, 0);
  const ControlRect r{40, 100, 200, 160};
  struct Case {
    TextHAlign h;
    TextVAlign v;
  } cases[] = {
      {TextHAlign::Left, TextVAlign::Top},
      {TextHAlign::Right, TextVAlign::Middle},
      {TextHAlign::Center, TextVAlign::Bottom},
      {TextHAlign::Right, TextVAlign::Bottom},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.h) * 10 + static_cast<int>(c.v));
    rig.Clear();
    rig.text.RenderText(rig.context.CairoContext(), "-inf", 30.0, kWhite, r, c.h, c.v);
    const cairo_text_extents_t& te = rig.text.TextExtents();
    const cairo_font_extents_t& fe = rig.text.FontExtents();
    // The string's ink starts after the origin and ends before its advance, so aligning the
    // advance or the origin instead of the ink would show.
    ASSERT_GT(te.x_bearing, 0.0);
    ASSERT_LT(te.x_bearing + te.width, te.x_advance);
    const Ink ink = FindInk(rig.bitmap, 0);
    ASSERT_TRUE(ink.Any());
    switch (c.h) {
    case TextHAlign::Left:
      EXPECT_DOUBLE_EQ(rig.text.LastOriginX(), 40.0);
      EXPECT_NEAR(ink.left, 40.0 + te.x_bearing, 1.0);
      break;
    case TextHAlign::Right:
      // The ink, not the advance, ends on the right edge: the last inked column is R - 1.
      EXPECT_DOUBLE_EQ(rig.text.LastOriginX() + te.x_bearing + te.width, 200.0);
      EXPECT_EQ(ink.right, 199);
      break;
    default:
      EXPECT_NEAR((ink.left + ink.right + 1) * 0.5, 120.0, 1.5);
      break;
    }
    switch (c.v) {
    case TextVAlign::Top:
      EXPECT_DOUBLE_EQ(rig.text.LastOriginY(), 100.0 + fe.ascent);
      break;
    case TextVAlign::Bottom:
      EXPECT_DOUBLE_EQ(rig.text.LastOriginY(), 160.0 - fe.descent);
      break;
    default:
      EXPECT_DOUBLE_EQ(rig.text.LastOriginY(), 160.0 - (60.0 - fe.height) * 0.5 - fe.descent);
      break;
    }
  }
}

TEST(CairoText, PaintLeavesNoClipOnTheSharedContext) {
  TextRig rig;
  const ControlRect r{15, 159, 115, 209};
  ICairoText readout(nullptr, r, &rig.context, kAmber, "-23.4");
  cairo_t* cr = rig.context.CairoContext();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_TRUE(readout.Paint(nullptr));
    double x0, y0, x1, y1;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, 0.0);
    EXPECT_EQ(y0, 0.0);
    EXPECT_EQ(x1, 256.0);
    EXPECT_EQ(y1, 300.0);
    // Text size: 0.6 of the 50-pixel height.
    cairo_matrix_t m;
    cairo_get_font_matrix(cr, &m);
    EXPECT_DOUBLE_EQ(m.xx, 30.0);
  }
  // The ink stayed inside the control while it was clipped.
  const Ink ink = FindInk(rig.bitmap, 0);
  ASSERT_TRUE(ink.Any());
  EXPECT_GE(ink.left, r.left);
  EXPECT_LT(ink.right, r.right);
  EXPECT_GE(ink.top, r.top);
  EXPECT_LT(ink.bottom, r.bottom);
}

TEST(CairoText, ClipKeepsTextInsideItsControl) {
  TextRig rig;
  // A text far wider than its 40 x 20 control is cut at the control's edges.
  const ControlRect r{100, 100, 140, 120};
  ICairoText wide(nullptr, r, &rig.context, kWhite, "-888888.8");
  wide.Paint(nullptr);
  const Ink ink = FindInk(rig.bitmap, 0);
  ASSERT_TRUE(ink.Any());
  EXPECT_GE(ink.left, 100);
  EXPECT_LE(ink.left, 103); // the ink runs up to the clip on both sides
  EXPECT_LE(ink.right, 139);
  EXPECT_GE(ink.right, 136);
  EXPECT_GE(ink.top, 100);
  EXPECT_LE(ink.bottom, 119);
}

TEST(CairoText, UpdateTextMarksOnlyWhenTheTextChanges) {
  TextRig rig;
  CountingText readout(nullptr, {15, 159, 115, 209}, &rig.context, kAmber, "");
  struct Step {
    const char* text;
    size_t marks; // MarkDirty calls so far
  } steps[] = {
      {"", 0},      {nullptr, 0}, {"-inf", 1},  {"-inf", 1}, {"-23.4", 2},
      {"-23.4", 2}, {"-inf", 3},  {"-23.4", 4}, {"", 5},     {"", 5},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.text ? s.text : "(null)");
    readout.UpdateText(s.text);
    EXPECT_EQ(readout.marks.size(), s.marks);
    EXPECT_EQ(readout.Text(), s.text ? s.text : "");
  }
  for (bool notify : readout.marks)
    EXPECT_FALSE(notify) << "a read-out must not tell the plug-in";

  // A text beyond the capacity is cut at a character boundary, and the same long text again
  // is recognised as unchanged.
  std::string longText(SharedText::kCapacity - 2, 'x');
  longText += "\xC3\xA9\xC3\xA9"; // two two-byte characters across the cut
  readout.UpdateText(longText.c_str());
  const size_t marks = readout.marks.size();
  EXPECT_EQ(readout.Text(), std::string(SharedText::kCapacity - 2, 'x'));
  readout.UpdateText(longText.c_str());
  EXPECT_EQ(readout.marks.size(), marks);
}

// Regression: a reader must never see half of one text and half of another while the writer
// replaces it; the writer must never wait for the reader.
TEST(SharedTextThreads, ReaderSeesOnlyWholeTexts) {
  SharedText slot;
  const char* texts[] = {"-inf", "-123.4", "-23.4", "0.0", "", "-159.9 LUFS long read-out text"};
  slot.Store(texts[0]);
  std::atomic<bool> done{false};
  std::atomic<long> reads{0};
  std::atomic<long> torn{0};
  std::thread reader([&] {
    char out[SharedText::kCapacity];
    while (!done.load(std::memory_order_acquire)) {
      slot.Load(out);
      bool whole = false;
      for (const char* t : texts)
        whole = whole || strcmp(out, t) == 0;
      if (!whole) torn.fetch_add(1);
      reads.fetch_add(1, std::memory_order_relaxed);
    }
  });
  for (int i = 0; i < 200000 || reads.load() < 1000; ++i) {
    const char* t = texts[i % 6];
    if (!slot.Equals(t)) slot.Store(t);
  }
  done.store(true, std::memory_order_release);
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

} // namespace
