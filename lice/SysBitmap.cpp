// LICE_SysBitmap: the size rules; the storage itself is in SysBitmapWin32.cpp / SysBitmapPosix.cpp.
#include <cstdint>

#include "lice/lice.h"

LICE_SysBitmap::LICE_SysBitmap(int32_t width, int32_t height) {
  CreateContext();
  SetSize(width, height);
}

LICE_SysBitmap::~LICE_SysBitmap() {
  FreePixels();
  DestroyContext();
}

bool LICE_SysBitmap::SetSize(int32_t width, int32_t height) {
  if (!HasContext()) {
    width_ = height_ = 0;
    pixels_ = nullptr;
    return false;
  }
  // A negative side is no size at all.
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  if (width && height && allocatedRowPixels_ >= width && allocatedHeight_ >= height && pixels_)
    return true;

  const int64_t rowPixels = (static_cast<int64_t>(width) + 3) & ~int64_t{3};
  const bool rowFits = rowPixels <= INT32_MAX;
  allocatedHeight_ = rowFits ? height : 0;
  allocatedRowPixels_ = rowFits ? static_cast<int32_t>(rowPixels) : 0;
  FreePixels();
  if (rowFits && (allocatedRowPixels_ < 1 || height < 1)) return false;
  if (!rowFits || !AllocatePixels()) {
    width_ = height_ = 0;
    pixels_ = nullptr;
  }
  return true;
}
