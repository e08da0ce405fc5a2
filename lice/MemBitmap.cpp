// LICE_MemBitmap: pixels in an aligned heap block that grows with headroom and never shrinks.
#include <cstdint>
#include <cstdlib>

#include "lice/lice.h"

namespace {

constexpr int64_t kSpareBytes = 63; // room to round the block up to a 64-byte boundary

} // namespace

LICE_MemBitmap::LICE_MemBitmap(int32_t width, int32_t height) {
  if (width > 0 && height > 0) SetSize(width, height);
}

LICE_MemBitmap::~LICE_MemBitmap() {
  std::free(storage_);
}

LICE_pixel* LICE_MemBitmap::PixelData() const {
  if (!storage_) return nullptr;
  uintptr_t aligned = (reinterpret_cast<uintptr_t>(storage_) + 63) & ~static_cast<uintptr_t>(63);
  return reinterpret_cast<LICE_pixel*>(aligned);
}

bool LICE_MemBitmap::SetSize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  // Sized in 64 bits: a product that does not fit the 32-bit capacity is refused like an
  // allocation failure instead of wrapping to a block too small for the rows.
  int64_t needed = 0;
  if (width >= 1 && height >= 1)
    needed = static_cast<int64_t>(height) * ((static_cast<int64_t>(width) + 3) & ~int64_t{3}) * 4;
  if (needed > 0 && needed <= INT32_MAX) {
    if (!storage_) {
      capacity_ = static_cast<int32_t>(needed);
      storage_ = std::malloc(static_cast<size_t>(needed + kSpareBytes));
    } else if (capacity_ < needed) {
      int64_t grown = needed + needed / 4;
      if (grown > INT32_MAX) grown = needed;
      void* bigger = std::realloc(storage_, static_cast<size_t>(grown + kSpareBytes));
      if (bigger) {
        storage_ = bigger;
        capacity_ = static_cast<int32_t>(grown);
      } else {
        std::free(storage_);
        capacity_ = static_cast<int32_t>(needed);
        storage_ = std::malloc(static_cast<size_t>(needed + kSpareBytes));
      }
    }
  } else {
    std::free(storage_);
    storage_ = nullptr;
    capacity_ = 0;
  }
  if (!storage_) {
    width_ = 0;
    height_ = 0;
    capacity_ = 0;
  }
  return true;
}
