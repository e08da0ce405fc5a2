// DecodePng: every colour type lands in the one pixel format; anything malformed is refused
// without reading or writing out of bounds (run under ASan in the sanitizer build).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/lice/PngFixtures.h"
#include "lice/lice.h"

namespace {

using fixtures::EncodePng;
using fixtures::PngSpec;

std::unique_ptr<LICE_MemBitmap> Decode(const std::vector<uint8_t>& png) {
  return std::unique_ptr<LICE_MemBitmap>(DecodePng(png.data(), png.size()));
}

LICE_pixel PixelAt(LICE_MemBitmap& bitmap, int x, int y) {
  return bitmap.PixelData()[y * bitmap.PixelsPerRow() + x];
}

PngSpec Rgba2x2() {
  PngSpec desc;
  desc.width = 2;
  desc.height = 2;
  desc.rows = {{10, 20, 30, 40, 255, 0, 0, 255}, {0, 255, 0, 128, 1, 2, 3, 0}};
  return desc;
}

TEST(DecodePng, RgbaBecomesStraightArgbPixels) {
  auto bitmap = Decode(EncodePng(Rgba2x2()));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->Width(), 2);
  EXPECT_EQ(bitmap->Height(), 2);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0x280A141Eu); // R 10, G 20, B 30, A 40
  const auto* bytes = reinterpret_cast<const uint8_t*>(bitmap->PixelData());
  EXPECT_EQ(bytes[0], 30); // B, G, R, A in memory
  EXPECT_EQ(bytes[3], 40);
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFFFF0000u);
  EXPECT_EQ(PixelAt(*bitmap, 0, 1), 0x8000FF00u); // not premultiplied
  EXPECT_EQ(PixelAt(*bitmap, 1, 1), 0x00010203u); // colour kept under alpha 0
}

struct FormatCase {
  const char* name;
  PngSpec desc;
  std::vector<LICE_pixel> want; // row by row
};

std::vector<FormatCase> FormatCases() {
  std::vector<FormatCase> cases;
  {
    PngSpec s;
    s.width = 2;
    s.colorType = PNG_COLOR_TYPE_RGB;
    s.rows = {{10, 20, 30, 200, 100, 0}};
    cases.push_back({"RGB without tRNS is opaque", s, {0xFF0A141Eu, 0xFFC86400u}});
  }
  {
    PngSpec s;
    s.width = 2;
    s.colorType = PNG_COLOR_TYPE_RGB;
    s.hasColorKey = true;
    s.colorKey.red = 200;
    s.colorKey.green = 100;
    s.colorKey.blue = 0;
    s.rows = {{10, 20, 30, 200, 100, 0}};
    cases.push_back({"RGB colour key becomes alpha 0", s, {0xFF0A141Eu, 0x00C86400u}});
  }
  {
    PngSpec s;
    s.width = 5;
    s.colorType = PNG_COLOR_TYPE_PALETTE;
    s.bitDepth = 2;
    s.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 8, 7}};
    s.paletteAlpha = {255, 128}; // entries 2 and 3 have no alpha entry: opaque
    // Indices 0 1 2 3 1, two bits each, first pixel in the high bits.
    s.rows = {{0b00011011, 0b01000000}};
    cases.push_back({"2-bit palette with partial tRNS",
                     s,
                     {0xFFFF0000u, 0x8000FF00u, 0xFF0000FFu, 0xFF090807u, 0x8000FF00u}});
  }
  {
    PngSpec s;
    s.width = 3;
    s.colorType = PNG_COLOR_TYPE_PALETTE;
    s.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    s.rows = {{2, 0, 1}};
    cases.push_back({"8-bit palette", s, {0xFF070809u, 0xFF010203u, 0xFF040506u}});
  }
  {
    PngSpec s;
    s.width = 10;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.bitDepth = 1;
    s.rows = {{0b10110000, 0b01000000}};
    std::vector<LICE_pixel> want;
    for (int bit : {1, 0, 1, 1, 0, 0, 0, 0, 0, 1})
      want.push_back(bit ? 0xFFFFFFFFu : 0xFF000000u);
    cases.push_back({"1-bit grey", s, want});
  }
  {
    PngSpec s;
    s.width = 2;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.bitDepth = 4;
    s.rows = {{0x0F}};
    cases.push_back({"4-bit grey scales to 8 bits", s, {0xFF000000u, 0xFFFFFFFFu}});
  }
  {
    PngSpec s;
    s.width = 2;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.hasColorKey = true;
    s.colorKey.gray = 7;
    s.rows = {{7, 8}};
    cases.push_back({"grey colour key", s, {0x00070707u, 0xFF080808u}});
  }
  {
    PngSpec s;
    s.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    s.rows = {{100, 50}};
    cases.push_back({"grey with alpha", s, {0x32646464u}});
  }
  {
    PngSpec s;
    s.width = 2;
    s.bitDepth = 16;
    s.rows = {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0, 0, 0xFF, 0xFF, 1, 1, 0x80, 0}};
    cases.push_back({"16-bit RGBA keeps the high bytes", s, {0xDE12569Au, 0x8000FF01u}});
  }
  {
    PngSpec s;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.bitDepth = 16;
    s.rows = {{0xAB, 0xCD}};
    cases.push_back({"16-bit grey", s, {0xFFABABABu}});
  }
  {
    // Adam7 spreads a 9 x 9 picture over all seven passes.
    PngSpec s;
    s.width = 9;
    s.height = 9;
    s.interlaced = true;
    std::vector<LICE_pixel> want;
    for (uint32_t y = 0; y < 9; ++y) {
      std::vector<uint8_t> row;
      for (uint32_t x = 0; x < 9; ++x) {
        const uint8_t r = static_cast<uint8_t>(x * 20), g = static_cast<uint8_t>(y * 20);
        row.insert(row.end(), {r, g, 77, static_cast<uint8_t>(255 - x - y)});
        want.push_back(LICE_RGBA(r, g, 77, 255 - x - y));
      }
      s.rows.push_back(row);
    }
    cases.push_back({"interlaced RGBA", s, want});
  }
  return cases;
}

TEST(DecodePng, EveryColourTypeDecodesToArgb) {
  for (const FormatCase& c : FormatCases()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> png = EncodePng(c.desc);
    ASSERT_FALSE(png.empty());
    auto bitmap = Decode(png);
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->Width(), static_cast<int32_t>(c.desc.width));
    ASSERT_EQ(bitmap->Height(), static_cast<int32_t>(c.desc.height));
    for (uint32_t i = 0; i < c.want.size(); ++i) {
      const int x = static_cast<int>(i % c.desc.width), y = static_cast<int>(i / c.desc.width);
      EXPECT_EQ(PixelAt(*bitmap, x, y), c.want[i]) << "pixel " << x << "," << y;
    }
  }
}

TEST(DecodePng, RefusesShortAndForeignData) {
  const std::vector<uint8_t> png = EncodePng(Rgba2x2());
  EXPECT_EQ(DecodePng(nullptr, 100), nullptr);
  EXPECT_EQ(DecodePng(png.data(), 0), nullptr);
  EXPECT_EQ(DecodePng(png.data(), 7), nullptr);
  EXPECT_EQ(DecodePng(fixtures::kSignature, 8), nullptr); // the signature alone
  std::vector<uint8_t> foreign = png;
  foreign[1] = 'Q';
  EXPECT_EQ(Decode(foreign), nullptr);
  const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0};
  EXPECT_EQ(Decode(jpeg), nullptr);
  std::vector<uint8_t> garbage(fixtures::kSignature, fixtures::kSignature + 8);
  std::mt19937 random(7);
  for (int i = 0; i < 200; ++i)
    garbage.push_back(static_cast<uint8_t>(random()));
  EXPECT_EQ(Decode(garbage), nullptr);
}

// Where the last IDAT chunk ends (CRC included): everything the decoder needs.
size_t EndOfImageData(const std::vector<uint8_t>& png) {
  size_t pos = 8, end = 0;
  while (pos + 12 <= png.size()) {
    const uint32_t length = (uint32_t{png[pos]} << 24) | (uint32_t{png[pos + 1]} << 16) |
                            (uint32_t{png[pos + 2]} << 8) | png[pos + 3];
    if (std::equal(png.begin() + pos + 4, png.begin() + pos + 8, "IDAT")) end = pos + 12 + length;
    pos += 12 + size_t{length};
  }
  return end;
}

TEST(DecodePng, TruncatedAtEveryLength) {
  for (bool interlaced : {false, true}) {
    PngSpec desc = FormatCases().back().desc; // 9 x 9
    desc.interlaced = interlaced;
    const std::vector<uint8_t> png = EncodePng(desc);
    const size_t needed = EndOfImageData(png);
    ASSERT_GT(needed, 8u);
    for (size_t length = 8; length <= png.size(); ++length) {
      // An exact-size copy, so that ASan sees any read beyond the given length.
      const std::vector<uint8_t> cut(png.begin(), png.begin() + length);
      auto bitmap = Decode(cut);
      if (length < needed) {
        EXPECT_EQ(bitmap, nullptr) << "length " << length;
      } else {
        ASSERT_TRUE(bitmap) << "length " << length;
        EXPECT_EQ(PixelAt(*bitmap, 8, 8), LICE_RGBA(160, 160, 77, 239));
      }
    }
  }
}

TEST(DecodePng, CorruptChunksAreRefused) {
  const std::vector<uint8_t> png = EncodePng(Rgba2x2());
  // A flipped bit in the image data: its CRC no longer matches.
  std::vector<uint8_t> badCrc = png;
  const size_t idat = EndOfImageData(png) - 12; // inside the last IDAT chunk's data
  badCrc[idat] ^= 0x01;
  EXPECT_EQ(Decode(badCrc), nullptr);
  // The same flip with the CRC made to match: now the compressed stream itself is broken.
  std::vector<uint8_t> badData = badCrc;
  fixtures::FixCrcs(badData);
  badData[33 + 8] = 0xFF; // the zlib header byte of the first IDAT (signature + IHDR = 33)
  fixtures::FixCrcs(badData);
  EXPECT_EQ(Decode(badData), nullptr);
}

TEST(DecodePng, HeadersThatCannotBeHeldAreRefused) {
  struct Case {
    uint32_t width, height;
    uint8_t bitDepth, colorType;
  };
  // Too big for a 32-bit size (the last would wrap to 256 KiB in 32-bit arithmetic), zero
  // sides, an impossible bit depth, an unknown colour type.
  for (Case c : {Case{1000000, 1000000, 8, 6}, Case{65536, 16385, 8, 6}, Case{0, 5, 8, 6},
                 Case{5, 0, 8, 6}, Case{4, 4, 3, 6}, Case{4, 4, 8, 5}, Case{4, 4, 16, 3}}) {
    std::vector<uint8_t> png(fixtures::kSignature, fixtures::kSignature + 8);
    fixtures::AppendChunk(png, "IHDR", fixtures::Ihdr(c.width, c.height, c.bitDepth, c.colorType));
    fixtures::AppendChunk(png, "IDAT", std::vector<uint8_t>(64, 0));
    fixtures::AppendChunk(png, "IEND", {});
    EXPECT_EQ(Decode(png), nullptr) << c.width << " x " << c.height;
  }
}

// Mutated files: flipped, replaced, inserted and removed bytes, half of them with every CRC
// repaired so that the damage reaches the header checks and the inflater. Under ASan any read
// or write out of bounds fails the run; a file that still decodes must give a usable bitmap.
TEST(DecodePng, MutatedFilesNeverMisbehave) {
  std::vector<std::vector<uint8_t>> seeds;
  for (const FormatCase& c : FormatCases())
    seeds.push_back(EncodePng(c.desc));
  seeds.push_back(EncodePng(Rgba2x2()));
  std::mt19937 random(20240601);
  int decoded = 0;
  for (int iteration = 0; iteration < 20000; ++iteration) {
    std::vector<uint8_t> png = seeds[random() % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = 8 + random() % (png.size() - 8);
      switch (random() % 5) {
      case 0:
        png[at] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
      case 1:
        png[at] = static_cast<uint8_t>(random());
        break;
      case 2:
        png[at] = (random() % 2) ? 0xFF : 0x00;
        break;
      case 3:
        png.insert(png.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
        break;
      default:
        if (png.size() > 9) png.erase(png.begin() + static_cast<long>(at));
        break;
      }
    }
    if (random() % 2) fixtures::FixCrcs(png);
    if (random() % 8 == 0) png.resize(8 + random() % (png.size() - 7));
    auto bitmap = Decode(png);
    if (!bitmap) continue;
    ++decoded;
    ASSERT_GT(bitmap->Width(), 0);
    ASSERT_GT(bitmap->Height(), 0);
    ASSERT_LE(static_cast<int64_t>(bitmap->Width()) * bitmap->Height(), 1 << 24);
    uint32_t sum = 0;
    for (int y = 0; y < bitmap->Height(); ++y)
      for (int x = 0; x < bitmap->Width(); ++x)
        sum += PixelAt(*bitmap, x, y);
    (void)sum;
  }
  // Some mutations (in ancillary chunks, or repaired headers) still decode.
  EXPECT_GT(decoded, 0);
}

// --- writing ---------------------------------------------------------------------------------

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture of distinct pixels with varied alpha, so that any mix-up of rows, columns or channels
// shows.
void Paint(LICE_IBitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      b.PixelData()[y * b.PixelsPerRow() + x] = LICE_RGBA(x * 7, y * 11, (x ^ y) * 3, 40 + x + y);
}

TEST(WritePng, RoundTripsThroughTheDecoderWholeOrInPartWithOrWithoutAlpha) {
  LICE_MemBitmap source(37, 23);
  Paint(source);
  const auto dir = std::filesystem::path(testing::TempDir()) / "lice-write-png";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "picture.png").string();
  struct Case {
    bool alpha;
    ControlRect area; // empty: all
  } cases[] = {{true, {}}, {false, {}}, {true, {5, 3, 30, 20}}, {false, {-4, -4, 100, 100}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alpha);
    ASSERT_TRUE(LICE_WritePng(file.c_str(), source, c.alpha, c.area.IsEmpty() ? nullptr : &c.area));
    const std::vector<uint8_t> bytes = FileBytes(file);
    std::unique_ptr<LICE_MemBitmap> back(DecodePng(bytes.data(), bytes.size()));
    ASSERT_NE(back, nullptr);
    const ControlRect r =
        c.area.IsEmpty() ? ControlRect{0, 0, 37, 23}
                         : ControlRect{std::max(c.area.left, 0), std::max(c.area.top, 0),
                                       std::min(c.area.right, 37), std::min(c.area.bottom, 23)};
    ASSERT_EQ(back->Width(), r.W());
    ASSERT_EQ(back->Height(), r.H());
    for (int y = 0; y < r.H(); ++y)
      for (int x = 0; x < r.W(); ++x) {
        LICE_pixel want = source.PixelData()[(y + r.top) * source.PixelsPerRow() + x + r.left];
        if (!c.alpha) want |= 0xFF000000u;
        ASSERT_EQ(back->PixelData()[y * back->PixelsPerRow() + x], want) << x << "," << y;
      }
  }
  // Only the picture is left in the folder: no temporary file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}

// A failed write leaves the old file whole, leaves no temporary file and prints nothing (the
// plug-in's host owns the standard error stream).
TEST(WritePng, FailureKeepsTheOldFileAndPrintsNothing) {
  const auto dir = std::filesystem::path(testing::TempDir()) / "lice-write-png-fail";
  std::filesystem::create_directories(dir);
  const auto file = dir / "kept.png";
  { std::ofstream(file, std::ios::binary) << "old"; }
  LICE_MemBitmap empty, picture(4, 4);
  Paint(picture);
  const LICE_pixel row[4] = {};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LICE_WritePng(file.string().c_str(), empty, false));
  EXPECT_FALSE(LICE_WritePng(file.string().c_str(), row, 4, 1, 3, false)) << "rows overlap";
  EXPECT_FALSE(LICE_WritePng(file.string().c_str(), nullptr, 4, 1, 4, false));
  EXPECT_FALSE(LICE_WritePng(nullptr, picture, false));
  EXPECT_FALSE(LICE_WritePng((dir / "no-such-folder" / "x.png").string().c_str(), picture, true));
  EXPECT_FALSE(LICE_WritePng(dir.string().c_str(), picture, true)) << "a folder is not replaced";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(FileBytes(file), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}

} // namespace
