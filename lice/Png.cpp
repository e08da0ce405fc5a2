// PNG images: libpng decoding from memory into LICE_MemBitmap, and the module's PNG resources.
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lice/lice.h"
#include "os/Resources.h"

namespace {

struct MemoryReader {
  const uint8_t* data;
  size_t length;
  size_t position;
};

// A request that reaches past the end is filled up with zeros, which libpng then rejects (a
// CRC or chunk-type mismatch). A request with nothing left to read fails at once: otherwise a
// truncated file whose last chunk claims gigabytes would have libpng skip through that many
// zeros before noticing.
void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  std::memset(out, 0, count);
  const size_t available = reader->length - reader->position;
  if (available == 0 && count > 0) png_error(png, "read past the end");
  const size_t n = count < available ? count : available;
  std::memcpy(out, reader->data + reader->position, n);
  reader->position += n;
}

// libpng's own handlers print to the host's standard error; these only jump back.
void OnPngError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

struct DecodeState {
  LICE_MemBitmap* bitmap = nullptr;
  png_bytep* rows = nullptr;
};

// Every libpng error lands on the setjmp here. Nothing in this frame has a destructor, so the
// jump skips no cleanup; what was made so far is in `state` for the caller to release.
bool ReadImage(png_structp png, png_infop info, DecodeState* state) {
  if (setjmp(png_jmpbuf(png))) return false;

  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);

  bool hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
    hasAlpha = true;
  }
  if (bitDepth == 16) png_set_strip_16(png);
  if (bitDepth < 8) png_set_packing(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  if (hasAlpha)
    png_set_swap_alpha(png);
  else
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  // Every pixel now decodes to the four bytes A, R, G, B. Checked, so that no combination of
  // header fields can make libpng write wider rows than the bitmap has.
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) png_error(png, "row size");

  // libpng caps both sides at a million pixels; the bitmap refuses what its 32-bit size cannot
  // hold.
  const auto w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
  state->bitmap = new (std::nothrow) LICE_MemBitmap(w, h);
  if (!state->bitmap || state->bitmap->Width() != w || state->bitmap->Height() != h) return false;
  state->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
  if (!state->rows) return false;
  auto* first = reinterpret_cast<png_bytep>(state->bitmap->PixelData());
  const size_t rowBytes = static_cast<size_t>(state->bitmap->PixelsPerRow()) * 4;
  for (png_uint_32 y = 0; y < height; ++y)
    state->rows[y] = first + y * rowBytes;
  png_read_image(png, state->rows);
  return true;
}

} // namespace

LICE_MemBitmap* DecodePng(const void* data, size_t length) {
  static const uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  if (!data || length < 8 || std::memcmp(data, kSignature, 8) != 0) return nullptr;

  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  MemoryReader reader{static_cast<const uint8_t*>(data), length, 0};
  png_set_read_fn(png, &reader, ReadFromMemory);

  DecodeState state;
  const bool ok = ReadImage(png, info, &state);
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(state.rows);
  if (!ok) {
    delete state.bitmap;
    return nullptr;
  }

  // Decoded bytes A, R, G, B become the pixel value (A << 24) | (R << 16) | (G << 8) | B.
  LICE_MemBitmap* bitmap = state.bitmap;
  for (int32_t y = 0; y < bitmap->Height(); ++y) {
    LICE_pixel* row = bitmap->PixelData() + static_cast<size_t>(y) * bitmap->PixelsPerRow();
    for (int32_t x = 0; x < bitmap->Width(); ++x) {
      const auto* argb = reinterpret_cast<const uint8_t*>(row + x);
      row[x] = LICE_RGBA(argb[1], argb[2], argb[3], argb[0]);
    }
  }
  return bitmap;
}

LICE_MemBitmap* LoadPngResource(void* module, int32_t resourceId, const char* fileName) {
  if (!fileName) return nullptr;
  const char* dot = std::strrchr(fileName, '.');
  if (!dot) return nullptr;
  const char* extension = dot + 1;
  static const char kPng[] = "png";
  for (int i = 0; i < 4; ++i) {
    char c = extension[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPng[i]) return nullptr;
  }

  zt::os::ResourceBytes bytes;
  if (!zt::os::FindModuleResource(module, resourceId, zt::os::ResourceType::Named("PNG"), bytes))
    return nullptr;
  if (bytes.size < 8 || !bytes.data) return nullptr;
  return DecodePng(bytes.data, bytes.size);
}
