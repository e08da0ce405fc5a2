// PNG files written from bitmaps: the editor's screenshots and the tools' pictures.
#include <png.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>
#include <filesystem>

#include "lice/lice.h"

namespace {

void OnWriteError(png_structp png, png_const_charp) {
  png_longjmp(png, 1); // libpng's own handler would print to the host's standard error
}
void OnWriteWarning(png_structp, png_const_charp) {}

struct PngImage {
  const LICE_pixel* pixels; // pixel (0, 0) of the area
  int32_t width, height;
  ptrdiff_t rowStep; // pixels from one row of the image to the next (negative: bottom-up)
  bool withAlpha;
  png_byte* row; // one row of output samples
};

// libpng reports errors by jumping back to the setjmp, so this frame holds nothing that needs
// destroying and reads nothing after the jump.
bool Encode(png_structp png, png_infop info, FILE* file, const PngImage& image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8,
               image.withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < image.height; ++y) {
    const LICE_pixel* src = image.pixels + y * image.rowStep;
    png_byte* out = image.row;
    for (int32_t x = 0; x < image.width; ++x) {
      const LICE_pixel p = src[x];
      *out++ = static_cast<png_byte>(LICE_GETR(p));
      *out++ = static_cast<png_byte>(LICE_GETG(p));
      *out++ = static_cast<png_byte>(LICE_GETB(p));
      if (image.withAlpha) *out++ = static_cast<png_byte>(LICE_GETA(p));
    }
    png_write_row(png, image.row);
  }
  png_write_end(png, nullptr);
  return true;
}

bool EncodeToFile(const std::string& file, const PngImage& image) {
  FILE* f = fopen(file.c_str(), "wb");
  if (!f) return false;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnWriteError, OnWriteWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  const bool encoded = png && info && Encode(png, info, f, image);
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  const bool closed = fclose(f) == 0;
  return encoded && closed;
}

// A name beside the target that no other writer uses at the same time.
std::string TemporaryName(const char* path) {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::string(path) + ".part-" + std::to_string(now) + "-" + std::to_string(++counter);
}

bool WriteImage(const char* path, const PngImage& image) {
  if (!path || !*path || !image.pixels || image.width <= 0 || image.height <= 0) return false;
  const std::string temp = TemporaryName(path);
  std::error_code ec;
  if (EncodeToFile(temp, image)) {
    std::filesystem::rename(temp, path, ec); // replaces an existing file, on Windows too
    if (!ec) return true;
  }
  std::filesystem::remove(temp, ec);
  return false;
}

} // namespace

bool LICE_WritePng(const char* path, const LICE_pixel* pixels, int32_t width, int32_t height,
                   int32_t rowPixels, bool withAlpha) {
  if (rowPixels < width || width <= 0 || height <= 0) return false;
  std::vector<png_byte> row(static_cast<size_t>(width) * (withAlpha ? 4 : 3));
  return WriteImage(path, {pixels, width, height, rowPixels, withAlpha, row.data()});
}

bool LICE_WritePng(const char* path, const LICE_IBitmap& bitmap, bool withAlpha,
                   const ControlRect* area) {
  ControlRect r{0, 0, bitmap.Width(), bitmap.Height()};
  if (area)
    r = {std::max(area->left, 0), std::max(area->top, 0), std::min(area->right, bitmap.Width()),
         std::min(area->bottom, bitmap.Height())};
  const LICE_pixel* pixels = bitmap.PixelData();
  if (!pixels || r.W() <= 0 || r.H() <= 0) return false;
  // A bottom-up bitmap keeps its top row last in memory.
  const ptrdiff_t stride = bitmap.PixelsPerRow();
  const int32_t firstRow = bitmap.IsBottomUp() ? bitmap.Height() - 1 - r.top : r.top;
  const ptrdiff_t step = bitmap.IsBottomUp() ? -stride : stride;
  std::vector<png_byte> row(static_cast<size_t>(r.W()) * (withAlpha ? 4 : 3));
  return WriteImage(
      path, {pixels + firstRow * stride + r.left, r.W(), r.H(), step, withAlpha, row.data()});
}
