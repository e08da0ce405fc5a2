#pragma once
// 32-bit bitmaps, compositing and PNG images from the module's resources.
//
// Pixel format of every bitmap (and of the cairo surface bound to the back buffer): one uint32_t
// (A << 24) | (R << 16) | (G << 8) | B, bytes B, G, R, A in memory, straight (never premultiplied)
// alpha, rows top-down and padded to a multiple of 4 pixels. No locks: a bitmap is used by one
// thread at a time (the editor's user-interface thread).

#include <cstddef>
#include <cstdint>

#include "lice/lice_types.h"

using LICE_pixel = uint32_t;

constexpr LICE_pixel LICE_RGBA(int r, int g, int b, int a) {
  return (static_cast<LICE_pixel>(a & 0xFF) << 24) | (static_cast<LICE_pixel>(r & 0xFF) << 16) |
         (static_cast<LICE_pixel>(g & 0xFF) << 8) | static_cast<LICE_pixel>(b & 0xFF);
}
constexpr int LICE_GETB(LICE_pixel p) {
  return static_cast<int>(p & 0xFF);
}
constexpr int LICE_GETG(LICE_pixel p) {
  return static_cast<int>((p >> 8) & 0xFF);
}
constexpr int LICE_GETR(LICE_pixel p) {
  return static_cast<int>((p >> 16) & 0xFF);
}
constexpr int LICE_GETA(LICE_pixel p) {
  return static_cast<int>(p >> 24);
}

class LICE_IBitmap {
public:
  virtual ~LICE_IBitmap() = default;
  // Pixel (0, 0); null when there is no storage.
  virtual LICE_pixel* PixelData() const = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // Distance between rows in pixels: a multiple of 4, at least Width().
  virtual int32_t PixelsPerRow() const = 0;
  virtual bool IsBottomUp() const { return false; }
  // True when the size changed, even if no storage could be had for it (the bitmap is then
  // empty: 0 x 0, null PixelData); false when it already had that size. Pixels are not cleared.
  virtual bool SetSize(int32_t width, int32_t height) = 0;
  // The Windows memory device context (an HDC) the pixels are selected into; null elsewhere.
  virtual void* DeviceContext() const { return nullptr; }
  virtual intptr_t Extension(int32_t /*id*/, void* /*data*/) { return 0; }
};

// Pixels in a 64-byte aligned heap block that grows by a quarter beyond the need and never
// shrinks, so that repeated resizing rarely allocates. Holds every decoded image.
class LICE_MemBitmap : public LICE_IBitmap {
public:
  // Empty unless both sizes are positive.
  explicit LICE_MemBitmap(int32_t width = 0, int32_t height = 0);
  ~LICE_MemBitmap() override;
  LICE_MemBitmap(const LICE_MemBitmap&) = delete;
  LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

  LICE_pixel* PixelData() const override;
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t PixelsPerRow() const override { return (width_ + rowAlignMask_) & ~rowAlignMask_; }
  // Rows are not re-laid out when the block grows: callers redraw the picture after a resize.
  bool SetSize(int32_t width, int32_t height) override;

private:
  void* storage_ = nullptr; // owned; 63 spare bytes beyond capacity_ for the alignment
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t capacity_ = 0;
  const int32_t rowAlignMask_ = 3;
};

// The editor's back buffer: on Windows a top-down DIB section selected into a memory device
// context that lives as long as the object (the window paints from it); on Linux the same rules
// over a 64-byte aligned heap block, with no device context. Storage is reused for every size
// that fits, so after shrinking PixelsPerRow keeps the larger value.
class LICE_SysBitmap : public LICE_IBitmap {
public:
  LICE_SysBitmap(int32_t width, int32_t height);
  ~LICE_SysBitmap() override;
  LICE_SysBitmap(const LICE_SysBitmap&) = delete;
  LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

  LICE_pixel* PixelData() const override { return pixels_; }
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t PixelsPerRow() const override { return allocatedRowPixels_; }
  // Returns false, unlike LICE_MemBitmap, when the new size has no pixels (a zero side) or there
  // is no device context.
  bool SetSize(int32_t width, int32_t height) override;
  void* DeviceContext() const override { return memoryDC_; }

private:
  // The platform half: SysBitmapWin32.cpp, SysBitmapPosix.cpp.
  void CreateContext();
  bool HasContext() const;
  void DestroyContext();
  // allocatedRowPixels_ x allocatedHeight_ pixels into pixels_ (and dibSection_); false on failure.
  bool AllocatePixels();
  void FreePixels();

  int32_t width_ = 0;
  int32_t height_ = 0;
  void* memoryDC_ = nullptr; // HDC; null on Linux
  LICE_pixel* pixels_ = nullptr;
  int32_t allocatedRowPixels_ = 0;
  int32_t allocatedHeight_ = 0;
  void* dibSection_ = nullptr;     // HBITMAP, owned; on Linux the heap block
  void* previousBitmap_ = nullptr; // HBITMAP memoryDC_ had selected before dibSection_
};

// Blit modes: the low byte names the operation, BlitSourceAlpha weights each pixel by its
// source alpha.
constexpr int32_t BlitCopy = 0;
constexpr int32_t BlitAdd = 1;
constexpr int32_t BlitDodge = 2;
constexpr int32_t BlitSourceAlpha = 0x10000;
constexpr int32_t BlitModeMask = 0xFF;

// Draws the sourceRect part of src (null: all of it; right and bottom exclusive, cut to src's
// size) with its top-left corner at (destX, destY) of dest, clipped to dest. weight is 0..1 (values
// outside count as the nearer end). Silently draws nothing for null bitmaps, empty areas, null
// pixel data or zero weight. Operations other than copy, add and dodge draw as copy.
void BlitBitmap(LICE_IBitmap* dest, const LICE_IBitmap* src, int32_t destX, int32_t destY,
                const ControlRect* sourceRect, float weight, int32_t mode);

// Decodes a PNG file held in memory (any colour type, bit depth and interlacing) into a new
// bitmap owned by the caller, who deletes it. Null on any failure: short, foreign, truncated or
// corrupt data, or no memory; nothing is printed. Safe to call on several threads at once.
LICE_MemBitmap* DecodePng(const void* data, size_t length);

// Decodes PNG resource resourceId of module (a module handle as os/Resources.h takes it; null:
// the default module). fileName serves only to check that its extension is "png" (any case);
// the lookup is by id. Null on any failure. The resource memory stays with the module.
LICE_MemBitmap* LoadPngResource(void* module, int32_t resourceId, const char* fileName);

// Writes width x height pixels (rows rowPixels apart, the bitmaps' format) as an 8-bit PNG file,
// RGB or, withAlpha, RGBA. The picture goes to a temporary file beside path that is then renamed
// over it, so path holds its old content or the whole new picture, never part of one. False on
// any failure, with nothing left behind and nothing printed.
bool LICE_WritePng(const char* path, const LICE_pixel* pixels, int32_t width, int32_t height,
                   int32_t rowPixels, bool withAlpha);
// The same for area (null: all; cut to the bitmap) of a bitmap, top row first.
bool LICE_WritePng(const char* path, const LICE_IBitmap& bitmap, bool withAlpha,
                   const ControlRect* area = nullptr);
