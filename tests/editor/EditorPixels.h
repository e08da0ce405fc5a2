#pragma once
// What the receiver's editor should look like, built from the module's own images and font:
// the background, a switch frame composed onto it, a text drawn in a rectangle. Tests compare
// these against the pixels the editor really presented.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "ycairo/ICairoControls.h"
#include "lice/lice.h"
#include "ycairo/ycairo.h"

namespace editor_pixels {

constexpr ControlColor kAmber{255, 255, 205, 64};
constexpr ControlColor kVersionWhite{200, 255, 255, 255};
constexpr ControlRect kReadoutIn{15, 159, 115, 209};
constexpr ControlRect kReadoutOut{140, 159, 240, 209};
constexpr ControlRect kTarget{172, 25, 242, 55};
constexpr ControlRect kVersion{178, 280, 236, 300};

struct SwitchSpot {
  const char* what;
  int control; // index in the editor's control list
  int imageId;
  const char* imageName;
  int x, y;
  int paramIdx;
  ControlRect Rect() const { return {x, y, x + 100, y + 32}; }
};
constexpr SwitchSpot kAnalyze{"analyze", 1, 101, "resources/img/analyze-btn.png", 144, 60, 3};
constexpr SwitchSpot kNormalize{"normalize", 2, 103, "resources/img/normalize-btn.png", 144, 98, 2};
constexpr SwitchSpot kBypass{"bypass", 3, 102, "resources/img/bypass-btn.png", 78, 217, 0};
constexpr SwitchSpot kSwitches[] = {kAnalyze, kNormalize, kBypass};

inline uint32_t Pixel(const LICE_IBitmap& bm, int x, int y) {
  return bm.PixelData()[y * bm.PixelsPerRow() + x];
}

inline std::unique_ptr<LICE_MemBitmap> Image(int id, const char* name) {
  return std::unique_ptr<LICE_MemBitmap>(LoadPngResource(nullptr, id, name));
}

inline std::unique_ptr<LICE_MemBitmap> Background() {
  return Image(100, "resources/img/bkg.png");
}

inline std::unique_ptr<LICE_MemBitmap> CopyOf(const LICE_IBitmap& src) {
  auto copy = std::make_unique<LICE_MemBitmap>(src.Width(), src.Height());
  BlitBitmap(copy.get(), &src, 0, 0, nullptr, 1.0f, BlitCopy);
  return copy;
}

// The background with frame (0 off, 1 on) of a switch composed onto it at weight.
inline std::unique_ptr<LICE_MemBitmap> WithSwitch(const LICE_IBitmap& background,
                                                  const SwitchSpot& s, int frame, float weight) {
  auto picture = CopyOf(background);
  auto image = Image(s.imageId, s.imageName);
  const ControlRect src{0, frame * 32, 100, frame * 32 + 32};
  BlitBitmap(picture.get(), image.get(), s.x, s.y, &src, weight, BlitCopy | BlitSourceAlpha);
  return picture;
}

// The background with text drawn into rect as a cairo control draws it: centred, clipped to
// rect, at 0.6 x its height, in the editor font.
inline std::unique_ptr<LICE_MemBitmap> WithText(const LICE_IBitmap& background, const char* text,
                                                const ControlRect& rect,
                                                const ControlColor& colour) {
  auto picture = std::make_unique<LICE_MemBitmap>(background.Width(), background.Height());
  ycairo_context context(nullptr);
  context.Bind(picture.get()); // fills it; the background goes on top
  BlitBitmap(picture.get(), &background, 0, 0, nullptr, 1.0f, BlitCopy);
  ycairo_text font(&context);
  EXPECT_EQ(font.LoadFontResource(kEditorFontResource, kResourceTypeRcData, kEditorFontName), 0);
  cairo_t* cr = context.CairoContext();
  cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  cairo_clip(cr);
  font.RenderText(cr, text, (rect.bottom - rect.top) * 0.6, colour, rect, TextHAlign::Center,
                  TextVAlign::Middle);
  cairo_surface_flush(context.Surface());
  return picture;
}

// Compares the colour of every pixel of area in a and b; channels may differ by `tolerance`
// (anti-aliasing). Alpha is not compared: the window shows the back buffer as opaque.
inline testing::AssertionResult SameArea(const LICE_IBitmap& actual, const LICE_IBitmap& expected,
                                         const ControlRect& area, int tolerance = 0) {
  int bad = 0, worst = 0, firstX = -1, firstY = -1;
  uint32_t firstA = 0, firstE = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      const uint32_t a = Pixel(actual, x, y), e = Pixel(expected, x, y);
      int d = 0;
      for (int shift = 0; shift < 24; shift += 8)
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                 static_cast<int>((e >> shift) & 0xFF)));
      if (d > tolerance) {
        if (!bad) {
          firstX = x;
          firstY = y;
          firstA = a;
          firstE = e;
        }
        ++bad;
        worst = std::max(worst, d);
      }
    }
  if (!bad) return testing::AssertionSuccess();
  std::ostringstream msg;
  msg << bad << " pixels differ in (" << area.left << "," << area.top << "," << area.right << ","
      << area.bottom << "), worst by " << worst << "; first at " << firstX << "," << firstY << ": "
      << std::hex << firstA << " instead of " << firstE;
  return testing::AssertionFailure() << msg.str();
}

// The box of pixels inside area whose colour differs from the background's.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1; // inclusive
  int count = 0;
  bool Any() const { return count > 0; }
  double CenterX() const { return (left + right + 1) * 0.5; }
  double CenterY() const { return (top + bottom + 1) * 0.5; }
};

inline Ink InkIn(const LICE_IBitmap& picture, const LICE_IBitmap& background,
                 const ControlRect& area) {
  Ink ink;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if ((Pixel(picture, x, y) & 0xFFFFFF) != (Pixel(background, x, y) & 0xFFFFFF)) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
      }
  return ink;
}

} // namespace editor_pixels
