// Bitmap storage: the size rules of both classes, alignment and row padding.
#include <gtest/gtest.h>

#include <cstdint>

#include "lice/lice.h"

namespace {

bool Aligned64(const void* p) {
  return (reinterpret_cast<uintptr_t>(p) & 63) == 0;
}

TEST(MemBitmap, RowsArePaddedToFourPixelsAndStorageIsAligned) {
  for (int32_t width : {1, 3, 4, 5, 255, 256, 257}) {
    LICE_MemBitmap bitmap(width, 7);
    EXPECT_EQ(bitmap.Width(), width);
    EXPECT_EQ(bitmap.Height(), 7);
    EXPECT_EQ(bitmap.PixelsPerRow(), (width + 3) / 4 * 4) << width;
    ASSERT_NE(bitmap.PixelData(), nullptr);
    EXPECT_TRUE(Aligned64(bitmap.PixelData()));
    // The whole padded picture is writable (ASan checks the block's end).
    LICE_pixel* p = bitmap.PixelData();
    for (int32_t i = 0; i < bitmap.PixelsPerRow() * bitmap.Height(); ++i)
      p[i] = 0xA5A5A5A5u;
  }
}

TEST(MemBitmap, SameSizeChangesNothing) {
  LICE_MemBitmap bitmap(10, 10);
  LICE_pixel* pixels = bitmap.PixelData();
  pixels[0] = 0x12345678u;
  EXPECT_FALSE(bitmap.SetSize(10, 10));
  EXPECT_EQ(bitmap.PixelData(), pixels);
  EXPECT_EQ(pixels[0], 0x12345678u);
}

TEST(MemBitmap, ZeroSideFreesStorageAndStillReportsAChange) {
  LICE_MemBitmap bitmap(10, 10);
  EXPECT_TRUE(bitmap.SetSize(0, 10));
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
  EXPECT_EQ(bitmap.PixelData(), nullptr);
  // Back from empty: storage again.
  EXPECT_TRUE(bitmap.SetSize(3, 2));
  EXPECT_NE(bitmap.PixelData(), nullptr);
  EXPECT_EQ(bitmap.PixelsPerRow(), 4);

  LICE_MemBitmap empty;
  EXPECT_EQ(empty.PixelData(), nullptr);
  EXPECT_EQ(empty.Width(), 0);
  LICE_MemBitmap oneSided(5, 0);
  EXPECT_EQ(oneSided.PixelData(), nullptr);
  EXPECT_EQ(oneSided.Width(), 0);
}

TEST(MemBitmap, ShrinkingKeepsTheBlock) {
  LICE_MemBitmap bitmap(100, 100);
  LICE_pixel* pixels = bitmap.PixelData();
  EXPECT_TRUE(bitmap.SetSize(10, 10));
  EXPECT_EQ(bitmap.PixelData(), pixels);
  EXPECT_TRUE(bitmap.SetSize(100, 100));
  EXPECT_EQ(bitmap.PixelData(), pixels);
}

// Regression: 65536 x 16385 pixels need 2^32 + 2^18 bytes, which 32-bit arithmetic wraps to
// 256 KiB; a bitmap claiming that size over such a block lets every writer run off its end.
TEST(MemBitmap, SizesBeyondThirtyTwoBitsLeaveAnEmptyBitmap) {
  struct Case {
    int32_t width, height;
  };
  for (Case c : {Case{65536, 16385}, Case{INT32_MAX, 1}, Case{1, INT32_MAX}, Case{46341, 46341},
                 Case{-4, -4}}) {
    LICE_MemBitmap bitmap(8, 8);
    EXPECT_TRUE(bitmap.SetSize(c.width, c.height));
    EXPECT_EQ(bitmap.Width(), 0) << c.width << " x " << c.height;
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.PixelData(), nullptr);
  }
}

TEST(SysBitmap, ShrinkingReusesStorageAndGrowingRemakesIt) {
  LICE_SysBitmap bitmap(100, 50);
  ASSERT_NE(bitmap.PixelData(), nullptr);
  EXPECT_EQ(bitmap.PixelsPerRow(), 100);
  LICE_pixel* pixels = bitmap.PixelData();

  EXPECT_TRUE(bitmap.SetSize(60, 20));
  EXPECT_EQ(bitmap.Width(), 60);
  EXPECT_EQ(bitmap.Height(), 20);
  EXPECT_EQ(bitmap.PixelsPerRow(), 100);
  EXPECT_EQ(bitmap.PixelData(), pixels);

  EXPECT_TRUE(bitmap.SetSize(101, 20));
  EXPECT_EQ(bitmap.Width(), 101);
  EXPECT_EQ(bitmap.PixelsPerRow(), 104);
  ASSERT_NE(bitmap.PixelData(), nullptr);
  // The new storage holds all 104 x 20 pixels.
  LICE_pixel* p = bitmap.PixelData();
  for (int32_t i = 0; i < 104 * 20; ++i)
    p[i] = 0x5A5A5A5Au;

  // Taller than what was allocated: made anew, with the height asked for.
  EXPECT_TRUE(bitmap.SetSize(50, 60));
  EXPECT_EQ(bitmap.PixelsPerRow(), 52);
  p = bitmap.PixelData();
  ASSERT_NE(p, nullptr);
  for (int32_t i = 0; i < 52 * 60; ++i)
    p[i] = 0;
}

TEST(SysBitmap, SameSizeAndEmptySizes) {
  LICE_SysBitmap bitmap(16, 16);
  LICE_pixel* pixels = bitmap.PixelData();
  pixels[0] = 0x01020304u;
  EXPECT_FALSE(bitmap.SetSize(16, 16));
  EXPECT_EQ(bitmap.PixelData(), pixels);
  EXPECT_EQ(pixels[0], 0x01020304u);

  // No pixels for a zero side; the next real size allocates again.
  EXPECT_FALSE(bitmap.SetSize(0, 16));
  EXPECT_EQ(bitmap.PixelData(), nullptr);
  EXPECT_TRUE(bitmap.SetSize(8, 8));
  EXPECT_NE(bitmap.PixelData(), nullptr);
  EXPECT_EQ(bitmap.PixelsPerRow(), 8);

  LICE_SysBitmap empty(0, 0);
  EXPECT_EQ(empty.PixelData(), nullptr);
  EXPECT_EQ(empty.Width(), 0);
  EXPECT_EQ(empty.Height(), 0);
}

TEST(SysBitmap, UnobtainableSizeLeavesAnEmptyBitmap) {
  LICE_SysBitmap bitmap(8, 8);
  EXPECT_TRUE(bitmap.SetSize(INT32_MAX, 2));
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
  EXPECT_EQ(bitmap.PixelData(), nullptr);
  EXPECT_TRUE(bitmap.SetSize(4, 4));
  EXPECT_NE(bitmap.PixelData(), nullptr);
}

TEST(SysBitmap, StorageIsAlignedAndTopDown) {
  LICE_SysBitmap bitmap(37, 5);
  ASSERT_NE(bitmap.PixelData(), nullptr);
  EXPECT_TRUE(Aligned64(bitmap.PixelData()));
  EXPECT_FALSE(bitmap.IsBottomUp());
  EXPECT_EQ(bitmap.Extension(0, nullptr), 0);
#ifdef _WIN32
  EXPECT_NE(bitmap.DeviceContext(), nullptr);
#else
  EXPECT_EQ(bitmap.DeviceContext(), nullptr);
#endif
}

} // namespace
