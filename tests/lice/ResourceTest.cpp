// The receiver's resources as linked into this executable: its resource section on Windows
// (found with FindResourceA on the executable's own module), the generated table on Linux.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "lice/lice.h"
#include "os/Module.h"
#include "os/Resources.h"

namespace {

using zt::os::ResourceBytes;
using zt::os::ResourceType;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
      bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
  }
  return bytes;
}

struct ImageCase {
  int32_t id;
  const char* name;
  int32_t width, height;
};
const ImageCase kImages[] = {
    {100, "resources/img/bkg.png", 256, 300},
    {101, "resources/img/analyze-btn.png", 100, 64},
    {102, "resources/img/bypass-btn.png", 100, 64},
    {103, "resources/img/normalize-btn.png", 100, 64},
};

TEST(Resources, EmbeddedBytesAreTheCommittedFiles) {
  struct FileCase {
    int32_t id;
    ResourceType type;
    const char* file;
  };
  const FileCase files[] = {
      {100, ResourceType::Named("PNG"), "img/bkg.png"},
      {101, ResourceType::Named("PNG"), "img/analyze-btn.png"},
      {102, ResourceType::Named("PNG"), "img/bypass-btn.png"},
      {103, ResourceType::Named("PNG"), "img/normalize-btn.png"},
      {104, ResourceType::Numbered(10), "readout-font.ttf"},
  };
  for (const FileCase& f : files) {
    SCOPED_TRACE(f.file);
    ResourceBytes bytes;
    ASSERT_TRUE(zt::os::FindModuleResource(nullptr, f.id, f.type, bytes));
    const std::vector<uint8_t> onDisk = ReadFile(std::string(ZT_RESOURCES_DIR "/") + f.file);
    ASSERT_FALSE(onDisk.empty());
    ASSERT_EQ(bytes.size, onDisk.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.data, bytes.data + bytes.size), onDisk);
  }
}

TEST(Resources, LookupIsByIdAndType) {
  ResourceBytes bytes;
  // Type names compare without case, as Windows compares them.
  EXPECT_TRUE(zt::os::FindModuleResource(nullptr, 100, ResourceType::Named("png"), bytes));
  // The font is RCDATA (10), which is a number, not the name "RCDATA"; and it is no PNG.
  ASSERT_TRUE(zt::os::FindModuleResource(nullptr, 104, ResourceType::Numbered(10), bytes));
  ASSERT_GE(bytes.size, 4u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.data, bytes.data + 4), (std::vector<uint8_t>{0, 1, 0, 0}))
      << "a TrueType font (sfnt version 1.0)";
  EXPECT_FALSE(zt::os::FindModuleResource(nullptr, 104, ResourceType::Named("RCDATA"), bytes));
  EXPECT_FALSE(zt::os::FindModuleResource(nullptr, 104, ResourceType::Named("PNG"), bytes));
  EXPECT_FALSE(zt::os::FindModuleResource(nullptr, 100, ResourceType::Numbered(10), bytes));
  // Ids and types the module does not have, or that no module can have.
  for (int32_t id : {99, 105, 0, -1, 70000}) {
    EXPECT_FALSE(zt::os::FindModuleResource(nullptr, id, ResourceType::Named("PNG"), bytes)) << id;
    EXPECT_EQ(bytes.data, nullptr);
    EXPECT_EQ(bytes.size, 0u);
  }
  EXPECT_FALSE(zt::os::FindModuleResource(nullptr, 104, ResourceType::Numbered(0), bytes));
  // The explicit handle of this module finds the same bytes as the default.
  ResourceBytes viaDefault, viaHandle;
  ASSERT_TRUE(zt::os::FindModuleResource(nullptr, 101, ResourceType::Named("PNG"), viaDefault));
  ASSERT_NE(zt::os::DefaultResourceModule(), nullptr);
  ASSERT_TRUE(zt::os::FindModuleResource(zt::os::DefaultResourceModule(), 101,
                                         ResourceType::Named("PNG"), viaHandle));
  EXPECT_EQ(viaDefault.data, viaHandle.data);
}

TEST(LoadPngResource, EveryImageDecodesToItsSize) {
  for (const ImageCase& image : kImages) {
    SCOPED_TRACE(image.name);
    std::unique_ptr<LICE_MemBitmap> bitmap(LoadPngResource(nullptr, image.id, image.name));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->Width(), image.width);
    EXPECT_EQ(bitmap->Height(), image.height);
  }
}

// The brightest opaque-weighted pixel of a frame: a lit lamp outshines anything on an unlit face.
int PeakBrightness(LICE_MemBitmap& bitmap, int top, int bottom) {
  int peak = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const LICE_pixel p = bitmap.PixelData()[y * bitmap.PixelsPerRow() + x];
      peak = std::max(peak, (LICE_GETR(p) + LICE_GETG(p) + LICE_GETB(p)) * LICE_GETA(p) / 255);
    }
  return peak;
}

TEST(LoadPngResource, ArtworkMeetsWhatTheEditorAssumes) {
  // The background is drawn with a plain copy, so it must be opaque everywhere.
  std::unique_ptr<LICE_MemBitmap> background(LoadPngResource(nullptr, 100, kImages[0].name));
  ASSERT_TRUE(background);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 256; ++x)
      ASSERT_EQ(LICE_GETA(background->PixelData()[y * background->PixelsPerRow() + x]), 255);
  // The code-drawn areas (target field, read-outs) are dark.
  EXPECT_LT(LICE_GETR(background->PixelData()[40 * background->PixelsPerRow() + 207]), 40);
  EXPECT_LT(LICE_GETR(background->PixelData()[184 * background->PixelsPerRow() + 65]), 40);
  // Each switch's lower frame (on) is lit: visibly brighter than the upper one (off).
  for (int i = 1; i < 4; ++i) {
    std::unique_ptr<LICE_MemBitmap> button(
        LoadPngResource(nullptr, kImages[i].id, kImages[i].name));
    ASSERT_TRUE(button);
    EXPECT_GT(PeakBrightness(*button, 32, 64), PeakBrightness(*button, 0, 32) + 100)
        << kImages[i].name;
  }
}

TEST(LoadPngResource, NameMustEndInPngInAnyCase) {
  for (const char* name :
       {"resources/img/bkg.png", "RESOURCES/IMG/BKG.PNG", "bkg.Png", ".png", "a.b.c.png"}) {
    std::unique_ptr<LICE_MemBitmap> bitmap(LoadPngResource(nullptr, 100, name));
    EXPECT_TRUE(bitmap) << name;
  }
  // Refused before the resources are looked at, although resource 100 exists.
  for (const char* name :
       {"resources/img/bkg.jpg", "bkg", "bkg.png.bak", "bkg.pngx", "bkg.pn", "bkg.", "", "png"}) {
    EXPECT_EQ(LoadPngResource(nullptr, 100, name), nullptr) << name;
  }
  EXPECT_EQ(LoadPngResource(nullptr, 100, nullptr), nullptr);
}

TEST(LoadPngResource, MissingOrForeignResourcesGiveNull) {
  EXPECT_EQ(LoadPngResource(nullptr, 99, "missing.png"), nullptr);
  EXPECT_EQ(LoadPngResource(nullptr, 105, "missing.png"), nullptr);
  // Resource 104 exists, but as RCDATA: no PNG of that id.
  EXPECT_EQ(LoadPngResource(nullptr, 104, "resources/readout-font.png"), nullptr);
}

} // namespace
