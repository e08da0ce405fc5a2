// Fuzz target: PNG decoding from memory, as the module decodes its embedded images. Whatever
// the bytes, DecodePng returns a bitmap whose pixels can all be read, or null.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "lice/lice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<LICE_MemBitmap> bitmap(DecodePng(data, size));
  if (!bitmap) return 0;
  const LICE_pixel* pixels = bitmap->PixelData();
  if (!pixels || bitmap->Width() <= 0 || bitmap->Height() <= 0 ||
      bitmap->PixelsPerRow() < bitmap->Width()) {
    fprintf(stderr, "fuzz_png: a decoded bitmap without usable pixels\n");
    abort();
  }
  // Touch every pixel, so that ASan sees a buffer smaller than the picture.
  uint32_t sum = 0;
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x)
      sum += pixels[static_cast<size_t>(y) * bitmap->PixelsPerRow() + x];
  return sum == 0x12345678u ? 0 : 0;
}
