// The back buffer on Windows is a real DIB section in a memory device context: what GDI draws
// lands in PixelData top-down in B, G, R order, and what is written there reaches GDI.
#include <windows.h>

#include <gtest/gtest.h>

#include "lice/lice.h"

namespace {

HBITMAP SelectedBitmap(const LICE_SysBitmap& bitmap) {
  return static_cast<HBITMAP>(
      GetCurrentObject(static_cast<HDC>(bitmap.DeviceContext()), OBJ_BITMAP));
}

TEST(SysBitmapWin32, PixelsAreTheSelectedDibSection) {
  LICE_SysBitmap bitmap(101, 20);
  ASSERT_NE(bitmap.DeviceContext(), nullptr);
  ASSERT_NE(bitmap.PixelData(), nullptr);
  DIBSECTION section = {};
  ASSERT_EQ(GetObject(SelectedBitmap(bitmap), sizeof section, &section),
            static_cast<int>(sizeof section));
  EXPECT_EQ(section.dsBm.bmBits, bitmap.PixelData());
  EXPECT_EQ(section.dsBm.bmWidth, 104);
  EXPECT_EQ(section.dsBm.bmHeight, 20);
  EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
  EXPECT_EQ(bitmap.PixelsPerRow(), 104);
}

TEST(SysBitmapWin32, GdiAndPixelDataSeeTheSamePixels) {
  LICE_SysBitmap bitmap(8, 4);
  HDC dc = static_cast<HDC>(bitmap.DeviceContext());
  LICE_pixel* pixels = bitmap.PixelData();
  for (int i = 0; i < bitmap.PixelsPerRow() * bitmap.Height(); ++i)
    pixels[i] = 0;

  // GDI draws at (3, 1): row 1 from the top, colour bytes B, G, R.
  SetPixel(dc, 3, 1, RGB(10, 20, 30));
  GdiFlush();
  EXPECT_EQ(pixels[1 * bitmap.PixelsPerRow() + 3] & 0x00FFFFFFu, 0x000A141Eu);
  EXPECT_EQ(pixels[(bitmap.Height() - 2) * bitmap.PixelsPerRow() + 3], 0u);

  // Written through PixelData, read by GDI (as the window's paint copies it).
  pixels[2 * bitmap.PixelsPerRow() + 5] = LICE_RGBA(200, 100, 50, 255);
  EXPECT_EQ(GetPixel(dc, 5, 2), RGB(200, 100, 50));

  // BitBlt out of the memory context into a second DIB section.
  LICE_SysBitmap copy(8, 4);
  ASSERT_TRUE(BitBlt(static_cast<HDC>(copy.DeviceContext()), 0, 0, 8, 4, dc, 0, 0, SRCCOPY));
  GdiFlush();
  EXPECT_EQ(copy.PixelData()[2 * copy.PixelsPerRow() + 5] & 0x00FFFFFFu, 0x00C86432u);
}

TEST(SysBitmapWin32, ResizeKeepsOrReplacesTheSection) {
  LICE_SysBitmap bitmap(100, 50);
  HBITMAP first = SelectedBitmap(bitmap);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(bitmap.SetSize(60, 20));
  EXPECT_EQ(SelectedBitmap(bitmap), first);

  EXPECT_TRUE(bitmap.SetSize(101, 20));
  HBITMAP second = SelectedBitmap(bitmap);
  EXPECT_NE(second, first);
  DIBSECTION section = {};
  ASSERT_EQ(GetObject(second, sizeof section, &section), static_cast<int>(sizeof section));
  EXPECT_EQ(section.dsBm.bmWidth, 104);
  EXPECT_EQ(section.dsBm.bmBits, bitmap.PixelData());
  // The old section was deleted, not leaked.
  BITMAP gone;
  EXPECT_EQ(GetObject(first, sizeof gone, &gone), 0);

  // No section: the context holds its original one-pixel bitmap again.
  EXPECT_FALSE(bitmap.SetSize(0, 0));
  BITMAP original = {};
  ASSERT_NE(GetObject(SelectedBitmap(bitmap), sizeof original, &original), 0);
  EXPECT_EQ(original.bmWidth, 1);
  EXPECT_EQ(GetObject(second, sizeof gone, &gone), 0);
}

} // namespace
