// The Linux storage of LICE_SysBitmap: a 64-byte aligned heap block and no device context.
#include <cstdint>
#include <cstdlib>

#include "lice/lice.h"

void LICE_SysBitmap::CreateContext() {}

bool LICE_SysBitmap::HasContext() const {
  return true;
}

void LICE_SysBitmap::DestroyContext() {}

bool LICE_SysBitmap::AllocatePixels() {
  int64_t bytes = static_cast<int64_t>(allocatedRowPixels_) * allocatedHeight_ * 4;
  // The limit a DIB section has on Windows; aligned_alloc wants a multiple of the alignment.
  if (bytes <= 0 || bytes > INT32_MAX) return false;
  dibSection_ = std::aligned_alloc(64, static_cast<size_t>((bytes + 63) & ~int64_t{63}));
  pixels_ = static_cast<LICE_pixel*>(dibSection_);
  return pixels_ != nullptr;
}

void LICE_SysBitmap::FreePixels() {
  std::free(dibSection_);
  dibSection_ = nullptr;
  pixels_ = nullptr;
}
