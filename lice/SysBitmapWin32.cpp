// The Windows storage of LICE_SysBitmap: a top-down 32-bit DIB section in a memory device context.
#include <windows.h>

#include <cstdint>

#include "lice/lice.h"

void LICE_SysBitmap::CreateContext() {
  memoryDC_ = CreateCompatibleDC(nullptr);
}

bool LICE_SysBitmap::HasContext() const {
  return memoryDC_ != nullptr;
}

void LICE_SysBitmap::DestroyContext() {
  if (memoryDC_) DeleteDC(static_cast<HDC>(memoryDC_));
  memoryDC_ = nullptr;
}

bool LICE_SysBitmap::AllocatePixels() {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = allocatedRowPixels_;
  info.bmiHeader.biHeight = IsBottomUp() ? allocatedHeight_ : -allocatedHeight_;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section || !bits) {
    if (section) DeleteObject(section);
    return false;
  }
  dibSection_ = section;
  pixels_ = static_cast<LICE_pixel*>(bits);
  previousBitmap_ = SelectObject(static_cast<HDC>(memoryDC_), section);
  return true;
}

void LICE_SysBitmap::FreePixels() {
  if (previousBitmap_) SelectObject(static_cast<HDC>(memoryDC_), previousBitmap_);
  previousBitmap_ = nullptr;
  if (dibSection_) DeleteObject(static_cast<HBITMAP>(dibSection_));
  dibSection_ = nullptr;
  pixels_ = nullptr;
}
