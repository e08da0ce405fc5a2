#pragma once
// Small PNG files made in the test: through libpng's writer for well-formed images, and chunk by
// chunk for hand-made headers.
#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fixtures {

struct PngSpec {
  uint32_t width = 1;
  uint32_t height = 1;
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_RGBA;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<uint8_t> paletteAlpha; // tRNS of a palette image
  bool hasColorKey = false;          // tRNS of a grey or RGB image
  png_color_16 colorKey = {};
  std::vector<std::vector<uint8_t>> rows; // each row in libpng's packed, big-endian layout
};

inline void AppendBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
inline void NoFlush(png_structp) {}

inline std::vector<uint8_t> EncodePng(const PngSpec& desc) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, desc.width, desc.height, desc.bitDepth, desc.colorType,
               desc.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!desc.palette.empty())
    png_set_PLTE(png, info, desc.palette.data(), static_cast<int>(desc.palette.size()));
  if (!desc.paletteAlpha.empty())
    png_set_tRNS(png, info, desc.paletteAlpha.data(), static_cast<int>(desc.paletteAlpha.size()),
                 nullptr);
  if (desc.hasColorKey) png_set_tRNS(png, info, nullptr, 0, &desc.colorKey);
  std::vector<png_bytep> rows;
  for (const auto& row : desc.rows)
    rows.push_back(const_cast<png_bytep>(row.data()));
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

inline uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void PutBigEndian(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(v >> shift));
}

inline const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// One chunk with its length and a correct CRC.
inline void AppendChunk(std::vector<uint8_t>& out, const char* type,
                        const std::vector<uint8_t>& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian(out, Crc32(&out[typeAt], 4 + data.size()));
}

inline std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height, uint8_t bitDepth,
                                 uint8_t colorType) {
  std::vector<uint8_t> data;
  PutBigEndian(data, width);
  PutBigEndian(data, height);
  data.insert(data.end(), {bitDepth, colorType, 0, 0, 0});
  return data;
}

// Recomputes the CRC of every whole chunk, so that mutated bytes get past the CRC check and
// reach the decoder proper.
inline void FixCrcs(std::vector<uint8_t>& png) {
  size_t pos = 8;
  while (pos + 12 <= png.size()) {
    const uint32_t length = (uint32_t{png[pos]} << 24) | (uint32_t{png[pos + 1]} << 16) |
                            (uint32_t{png[pos + 2]} << 8) | png[pos + 3];
    if (length > png.size() - pos - 12) break;
    const uint32_t crc = Crc32(&png[pos + 4], 4 + size_t{length});
    for (int i = 0; i < 4; ++i)
      png[pos + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    pos += 12 + size_t{length};
  }
}

} // namespace fixtures
