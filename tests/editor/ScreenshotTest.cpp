// zt-render --screenshot, run as a user runs it: the built-in example rendered through the real
// module, and the editor's picture written beside it, showing the state the render left.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/editor/EditorPixels.h"

using namespace editor_pixels;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int RunCommand(const std::string& cmd) {
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Screenshot, RenderWritesTheEditorAsItLooksAfterProcessing) {
  const fs::path dir = fs::temp_directory_path() / ("zt-shot-test-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path shot = dir / "editor.png", senderShot = dir / "sender.png";
  const std::string cmd = std::string("\"") + ZT_RENDER_PATH + "\" -q --no-plot --target -16" +
                          " --example-dir \"" + dir.string() + "\" --screenshot \"" +
                          shot.string() + "\" --sender-screenshot \"" + senderShot.string() +
                          "\" 2>\"" + (dir / "err.txt").string() + "\"";
  ASSERT_EQ(RunCommand(cmd), 0) << ReadFile(dir / "err.txt");

  const std::string png = ReadFile(shot);
  std::unique_ptr<LICE_MemBitmap> picture(DecodePng(png.data(), png.size()));
  ASSERT_NE(picture, nullptr) << "no PNG at " << shot;
  ASSERT_EQ(picture->Width(), 256);
  ASSERT_EQ(picture->Height(), 300);
  for (int y = 0; y < 300; y += 7)
    for (int x = 0; x < 256; x += 5)
      ASSERT_EQ(LICE_GETA(Pixel(*picture, x, y)), 255) << "the picture is not opaque";

  auto background = Background();
  ASSERT_NE(background, nullptr);
  EXPECT_TRUE(SameArea(*picture, *WithText(*background, "-16LUFS", kTarget, kAmber), kTarget, 1));
  EXPECT_TRUE(
      SameArea(*picture, *WithText(*background, "v1.0.2", kVersion, kVersionWhite), kVersion, 1));
  for (const SwitchSpot& s : kSwitches) {
    // Normalize is dimmed: no analysis ran in this render.
    const float weight = s.paramIdx == kNormalize.paramIdx ? 0.25f : 1.0f;
    EXPECT_TRUE(SameArea(*picture, *WithSwitch(*background, s, 0, weight), s.Rect())) << s.what;
  }
  // The example ends on sound: both read-outs hold a number, centred in its box.
  for (const ControlRect& r : {kReadoutIn, kReadoutOut}) {
    const Ink ink = InkIn(*picture, *background, r);
    ASSERT_TRUE(ink.Any());
    EXPECT_NEAR(ink.CenterX(), (r.left + r.right) * 0.5, 1.5);
  }

  // The sender plug-in's editor, taken while it played the reference: its status line shows
  // text (its own pixels are checked in tests/sender).
  const std::string senderPng = ReadFile(senderShot);
  std::unique_ptr<LICE_MemBitmap> sender(DecodePng(senderPng.data(), senderPng.size()));
  ASSERT_NE(sender, nullptr) << "no PNG at " << senderShot;
  EXPECT_EQ(sender->Width(), 256);
  EXPECT_EQ(sender->Height(), 240);
  std::set<uint32_t> colours;
  for (int y = 104; y < 128; ++y)
    for (int x = 18; x < 240; ++x)
      colours.insert(Pixel(*sender, x, y));
  EXPECT_GT(colours.size(), 8u) << "the status line holds text";
  std::error_code ec;
  fs::remove_all(dir, ec);
}

TEST(Screenshot, RefusesToOverwriteTheAudio) {
  const fs::path dir = fs::temp_directory_path() / ("zt-shot-test2-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path in = dir / "example-input.wav";
  const std::string first = std::string("\"") + ZT_RENDER_PATH +
                            "\" -q --no-plot --example-dir \"" + dir.string() + "\" 2>/dev/null";
  ASSERT_EQ(RunCommand(first), 0);
  const std::string before = ReadFile(in);
  const std::string cmd = std::string("\"") + ZT_RENDER_PATH + "\" -q --no-plot --screenshot \"" +
                          in.string() + "\" \"" + in.string() + "\" \"" +
                          (dir / "example-reference.wav").string() + "\" \"" +
                          (dir / "out.wav").string() + "\" 2>/dev/null";
  EXPECT_EQ(RunCommand(cmd), 1);
  EXPECT_EQ(ReadFile(in), before);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

} // namespace
