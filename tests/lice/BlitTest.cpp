// BlitBitmap: clipping against both bitmaps, and the integer arithmetic of every mode.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>

#include "lice/lice.h"

namespace {

constexpr LICE_pixel kSentinel = 0xDEADBEEFu;

LICE_pixel& At(LICE_IBitmap& bitmap, int x, int y) {
  return bitmap.PixelData()[y * bitmap.PixelsPerRow() + x];
}

// Every stored pixel, padding included, set to `value`.
void Fill(LICE_IBitmap& bitmap, LICE_pixel value) {
  for (int i = 0; i < bitmap.PixelsPerRow() * bitmap.Height(); ++i)
    bitmap.PixelData()[i] = value;
}

// Source pixels that name their own position.
LICE_pixel SourcePixel(int x, int y) {
  return LICE_RGBA(x, y, 0x40, 0xFF);
}

struct ClipCase {
  const char* name;
  int32_t destX, destY;
  std::optional<ControlRect> sourceRect;
  // Expected: dest pixels in [left, right) x [top, bottom) show source (x - left + srcX,
  // y - top + srcY); all others, padding included, keep the sentinel.
  ControlRect drawn;
  int srcX, srcY;
};

TEST(Blit, ClipsToBothBitmaps) {
  const ClipCase cases[] = {
      {"whole source at the origin", 0, 0, std::nullopt, {0, 0, 6, 4}, 0, 0},
      {"negative destX skips source columns", -5, 0, std::nullopt, {0, 0, 3, 4}, 5, 0},
      {"negative destY skips source rows", 1, -2, std::nullopt, {1, 0, 6, 2}, 0, 2},
      {"source rect beyond the source is cut to it",
       0,
       0,
       ControlRect{2, 1, 100, 100},
       {0, 0, 6, 3},
       2,
       1},
      {"negative source left moves the destination",
       1,
       1,
       ControlRect{-2, 0, 3, 2},
       {3, 1, 6, 3},
       0,
       0},
      {"clipped at the destination's corner", 4, 3, std::nullopt, {4, 3, 6, 5}, 0, 0},
      {"inner source rect", 2, 2, ControlRect{3, 1, 5, 3}, {2, 2, 4, 4}, 3, 1},
      {"right of the destination", 6, 0, std::nullopt, {0, 0, 0, 0}, 0, 0},
      {"below the destination", 0, 5, std::nullopt, {0, 0, 0, 0}, 0, 0},
      {"entirely left", -8, 0, std::nullopt, {0, 0, 0, 0}, 0, 0},
      {"empty source rect", 0, 0, ControlRect{3, 1, 3, 4}, {0, 0, 0, 0}, 0, 0},
      {"inverted source rect", 0, 0, ControlRect{5, 3, 1, 1}, {0, 0, 0, 0}, 0, 0},
      {"source rect right of the source", 0, 0, ControlRect{9, 0, 12, 2}, {0, 0, 0, 0}, 0, 0},
      {"extreme negative position", INT32_MIN, INT32_MIN, std::nullopt, {0, 0, 0, 0}, 0, 0},
      {"extreme positive position", INT32_MAX, INT32_MAX, std::nullopt, {0, 0, 0, 0}, 0, 0},
      {"extreme source rect",
       0,
       0,
       ControlRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
       {0, 0, 0, 0},
       0,
       0},
  };
  LICE_MemBitmap src(8, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x)
      At(src, x, y) = SourcePixel(x, y);
  LICE_MemBitmap dest(6, 5); // 8 pixels per row: two padding columns that must stay untouched
  for (const ClipCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fill(dest, kSentinel);
    BlitBitmap(&dest, &src, c.destX, c.destY, c.sourceRect ? &*c.sourceRect : nullptr, 1.0f,
               BlitCopy);
    for (int y = 0; y < dest.Height(); ++y) {
      for (int x = 0; x < dest.PixelsPerRow(); ++x) {
        const bool inside =
            x >= c.drawn.left && x < c.drawn.right && y >= c.drawn.top && y < c.drawn.bottom;
        const LICE_pixel want =
            inside ? SourcePixel(x - c.drawn.left + c.srcX, y - c.drawn.top + c.srcY) : kSentinel;
        ASSERT_EQ(At(dest, x, y), want) << "at " << x << "," << y;
      }
    }
  }
}

TEST(Blit, DrawsNothingWithoutBitmapsPixelsOrWeight) {
  LICE_MemBitmap src(4, 4), dest(4, 4), empty;
  Fill(src, 0xFF112233u);
  Fill(dest, kSentinel);
  BlitBitmap(nullptr, &src, 0, 0, nullptr, 1.0f, BlitCopy);
  BlitBitmap(&dest, nullptr, 0, 0, nullptr, 1.0f, BlitCopy);
  BlitBitmap(&dest, &empty, 0, 0, nullptr, 1.0f, BlitCopy);
  BlitBitmap(&empty, &src, 0, 0, nullptr, 1.0f, BlitCopy);
  for (int32_t mode : {BlitCopy, BlitCopy | BlitSourceAlpha, BlitAdd | BlitSourceAlpha,
                       BlitDodge | BlitSourceAlpha}) {
    BlitBitmap(&dest, &src, 0, 0, nullptr, 0.0f, mode);
    BlitBitmap(&dest, &src, 0, 0, nullptr, 0.003f, mode); // k = 0
    BlitBitmap(&dest, &src, 0, 0, nullptr, -1.0f, mode);
  }
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      ASSERT_EQ(At(dest, x, y), kSentinel);
}

struct MixCase {
  const char* name;
  int32_t mode;
  float weight;
  LICE_pixel src, dest, want;
};

std::string Hex(LICE_pixel p) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", p);
  return text;
}

TEST(Blit, ModeArithmetic) {
  // LICE_RGBA(r, g, b, a). Each expected value is worked out by hand from the channel rules.
  const MixCase cases[] = {
      {"copy, weight 1: every byte, alpha too", BlitCopy, 1.0f, 0x12345678u, 0xFFFFFFFFu,
       0x12345678u},
      {"copy, weight 0.5: shift-and-mask average", BlitCopy, 0.5f, 0xFFFFFFFFu, 0x00000000u,
       0x7F7F7F7Fu},
      {"copy, weight 0.5 of two colours", BlitCopy, 0.5f, LICE_RGBA(200, 100, 1, 255),
       LICE_RGBA(100, 51, 3, 0), LICE_RGBA(150, 75, 1, 127)},
      // k = 64: s + ((d - s) * 192) / 256, alpha included.
      {"copy, weight 0.25", BlitCopy, 0.25f, LICE_RGBA(0, 100, 200, 128),
       LICE_RGBA(255, 50, 0, 255), LICE_RGBA(191, 63, 50, 223)},
      // B: 200 + (-200 * 127) / 256 = 101; G: 100 + (-100 * 127) / 256 = 51.
      {"source alpha, weight 1", BlitCopy | BlitSourceAlpha, 1.0f, LICE_RGBA(0, 100, 200, 128),
       0x00000000u, LICE_RGBA(0, 51, 101, 128)},
      // k = 64, p = 64 * 129 / 256 = 32: B 200 + (-200 * 224) / 256 = 25, G 13, A 32.
      {"source alpha, weight 0.25", BlitCopy | BlitSourceAlpha, 0.25f, LICE_RGBA(0, 100, 200, 128),
       0x00000000u, LICE_RGBA(0, 13, 25, 32)},
      // Not the average: p = 128 * 129 / 256 = 64, so B 200 + (-200 * 192) / 256 = 50.
      {"source alpha, weight 0.5", BlitCopy | BlitSourceAlpha, 0.5f, LICE_RGBA(0, 100, 200, 128),
       0x00000000u, LICE_RGBA(0, 25, 50, 64)},
      {"source alpha, opaque source replaces", BlitCopy | BlitSourceAlpha, 1.0f,
       LICE_RGBA(3, 2, 1, 255), LICE_RGBA(90, 90, 90, 10), LICE_RGBA(3, 2, 1, 255)},
      {"source alpha, transparent source keeps", BlitCopy | BlitSourceAlpha, 1.0f,
       LICE_RGBA(3, 2, 1, 0), LICE_RGBA(90, 91, 92, 10), LICE_RGBA(90, 91, 92, 10)},
      {"source alpha 0.25, transparent source keeps", BlitCopy | BlitSourceAlpha, 0.25f,
       LICE_RGBA(3, 2, 1, 0), LICE_RGBA(90, 91, 92, 10), LICE_RGBA(90, 91, 92, 10)},
      // a = 64: colour s + ((d - s) * 191) / 256; alpha min(255, 250 + 64).
      {"source alpha, alpha saturates", BlitCopy | BlitSourceAlpha, 1.0f,
       LICE_RGBA(128, 0, 255, 64), LICE_RGBA(128, 255, 0, 250), LICE_RGBA(128, 190, 65, 255)},
      // p = 129: B 100 + 12900 / 256 = 150, G 100 + 25800 / 256 = 200, R 250 + 25 -> 255,
      // A 10 + 128 * 129 / 256 = 74.
      {"add, weight 1", BlitAdd | BlitSourceAlpha, 1.0f, LICE_RGBA(50, 200, 100, 128),
       LICE_RGBA(250, 100, 100, 10), LICE_RGBA(255, 200, 150, 74)},
      // k = 64, p = 64: every channel d + 255 * 64 / 256 = d + 63.
      {"add, weight 0.25", BlitAdd | BlitSourceAlpha, 0.25f, LICE_RGBA(255, 255, 255, 255),
       LICE_RGBA(30, 20, 10, 40), LICE_RGBA(93, 83, 73, 103)},
      {"add, transparent source skipped", BlitAdd | BlitSourceAlpha, 1.0f,
       LICE_RGBA(200, 200, 200, 0), LICE_RGBA(1, 2, 3, 4), LICE_RGBA(1, 2, 3, 4)},
      {"add, alpha saturates", BlitAdd | BlitSourceAlpha, 1.0f, LICE_RGBA(0, 0, 0, 255),
       LICE_RGBA(9, 9, 9, 200), LICE_RGBA(9, 9, 9, 255)},
      // p = 256: B x = 128, 100 * 256 / 128 = 200; G x = 0 keeps 100; R x = 255, divisor 1,
      // 1 * 256 -> 255; A x = 255 -> 255.
      {"dodge, weight 1", BlitDodge | BlitSourceAlpha, 1.0f, LICE_RGBA(255, 0, 128, 255),
       LICE_RGBA(1, 100, 100, 100), LICE_RGBA(255, 100, 200, 255)},
      // p = 128: B x = 100, 12800 / 156 = 82; G x = 32, 12800 / 224 = 57; R keeps 50;
      // A x = 63, 12800 / 193 = 66.
      {"dodge, half-transparent source", BlitDodge | BlitSourceAlpha, 1.0f,
       LICE_RGBA(0, 64, 200, 127), LICE_RGBA(50, 50, 50, 50), LICE_RGBA(50, 57, 82, 66)},
      {"dodge of black stays black", BlitDodge | BlitSourceAlpha, 1.0f,
       LICE_RGBA(255, 255, 255, 255), 0x00000000u, 0x00000000u},
      {"dodge, transparent source keeps", BlitDodge | BlitSourceAlpha, 1.0f,
       LICE_RGBA(255, 255, 255, 0), LICE_RGBA(10, 20, 30, 40), LICE_RGBA(10, 20, 30, 40)},
      // Without the flag every pixel counts as opaque: p = k.
      {"add without source alpha", BlitAdd, 1.0f, LICE_RGBA(30, 20, 10, 0), LICE_RGBA(3, 2, 1, 4),
       LICE_RGBA(33, 22, 11, 4)},
      {"unknown operation copies", 7, 1.0f, 0x01020304u, 0xFFFFFFFFu, 0x01020304u},
  };
  for (const MixCase& c : cases) {
    LICE_MemBitmap src(3, 2), dest(3, 2);
    Fill(src, c.src);
    Fill(dest, c.dest);
    BlitBitmap(&dest, &src, 0, 0, nullptr, c.weight, c.mode);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        ASSERT_EQ(Hex(At(dest, x, y)), Hex(c.want)) << c.name << " at " << x << "," << y;
  }
}

// A bitmap whose rows are stored bottom-up; neither real class is one, but blits must honour it.
class BottomUpBitmap : public LICE_MemBitmap {
public:
  using LICE_MemBitmap::LICE_MemBitmap;
  bool IsBottomUp() const override { return true; }
};

TEST(Blit, BottomUpRowsAreAddressedFromTheEnd) {
  BottomUpBitmap src(2, 3);
  for (int stored = 0; stored < 3; ++stored)
    for (int x = 0; x < 2; ++x)
      At(src, x, stored) = LICE_RGBA(stored, x, 0, 255);
  LICE_MemBitmap dest(2, 3);
  Fill(dest, kSentinel);
  const ControlRect rows{0, 1, 2, 3}; // logical rows 1 and 2 = stored rows 1 and 0
  BlitBitmap(&dest, &src, 0, 0, &rows, 1.0f, BlitCopy);
  EXPECT_EQ(At(dest, 1, 0), LICE_RGBA(1, 1, 0, 255));
  EXPECT_EQ(At(dest, 0, 1), LICE_RGBA(0, 0, 0, 255));
  EXPECT_EQ(At(dest, 0, 2), kSentinel);
}

TEST(Blit, FrameOfAStripIntoTheBackBuffer) {
  // The way the editor draws a switch: frame 1 of a two-frame strip onto the back buffer.
  LICE_MemBitmap strip(5, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 5; ++x)
      At(strip, x, y) = y < 3 ? 0xFF0000FFu : 0xFF00FF00u;
  LICE_SysBitmap back(16, 16);
  Fill(back, 0xFF000000u);
  const ControlRect frame1{0, 3, 5, 6};
  BlitBitmap(&back, &strip, 10, 12, &frame1, 1.0f, BlitCopy | BlitSourceAlpha);
  EXPECT_EQ(At(back, 10, 12), 0xFF00FF00u);
  EXPECT_EQ(At(back, 14, 14), 0xFF00FF00u);
  EXPECT_EQ(At(back, 15, 14), 0xFF000000u);
  EXPECT_EQ(At(back, 10, 15), 0xFF000000u);
  EXPECT_EQ(At(back, 9, 12), 0xFF000000u);
}

} // namespace
