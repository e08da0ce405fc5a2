// The editor of the receiver's VST2 module as a host reaches it: the has-editor flag, the editor
// rectangle, and the pixels of a full repaint fetched through our vendor-specific call, checked
// against the module's own images and font.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/editor/EditorPixels.h"
#include "tests/support/ModuleSuite.h"
#include "tests/support/TestSession.h"
#include "tools/vsthost/VstHost.h"
#include "iplug/vst2/vst2_vendor.h"

using namespace editor_pixels;

namespace {

class EditorModule : public ModuleSuite {
protected:
  void SetUp() override {
    ModuleSuite::SetUp();
    if (HasFatalFailure()) return;
    plug = NewInstance();
    ASSERT_NE(plug, nullptr);
    plug->Open();
    plug->SetSampleRate(48000.0);
    plug->SetBlockSize(512);
    plug->Resume();
    background = Background();
    ASSERT_NE(background, nullptr);
  }

  // The editor's pixels as the module paints them, in a bitmap of its own.
  std::unique_ptr<LICE_MemBitmap> Snapshot() {
    ZtEditorSnapshot shot;
    EXPECT_EQ(plug->Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, &shot), 1);
    EXPECT_EQ(shot.width, 256);
    EXPECT_EQ(shot.height, 300);
    auto picture = std::make_unique<LICE_MemBitmap>(256, 300);
    shot.pixels = picture->PixelData();
    shot.rowPixels = picture->PixelsPerRow();
    EXPECT_EQ(plug->Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, &shot), 1);
    return picture;
  }

  void Blocks(int count, float amplitude) {
    std::vector<float> in0(512), in1(512), out0(512), out1(512);
    float* ins[2] = {in0.data(), in1.data()};
    float* outs[2] = {out0.data(), out1.data()};
    uint32_t s = 5;
    for (int b = 0; b < count; ++b) {
      for (int k = 0; k < 512; ++k) {
        s = s * 1664525u + 1013904223u;
        in0[k] = in1[k] = amplitude * ((s >> 8) / 8388608.0f - 1.0f);
      }
      ASSERT_TRUE(plug->ProcessReplacing(ins, outs, 512));
    }
  }

  TestSession session{"edmod"};
  std::unique_ptr<VstPlugin> plug;
  std::unique_ptr<LICE_MemBitmap> background;
};

TEST_F(EditorModule, AnnouncesItsEditorOfTwoHundredFiftySixByThreeHundred) {
  EXPECT_EQ(plug->Flags(), 0x1019);
  int16_t* rect = nullptr; // top, left, bottom, right
  ASSERT_EQ(plug->Dispatch(kEffEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect[0], 0);
  EXPECT_EQ(rect[1], 0);
  EXPECT_EQ(rect[2], 300);
  EXPECT_EQ(rect[3], 256);
  EXPECT_EQ(plug->Dispatch(kEffEditGetRect, 0, 0, nullptr), 0);
}

TEST_F(EditorModule, SnapshotShowsTheFreshEditor) {
  auto shot = Snapshot();
  for (const SwitchSpot& s : kSwitches) {
    auto expected = WithSwitch(*background, s, 0, 1.0f);
    EXPECT_TRUE(SameArea(*shot, *expected, s.Rect())) << s.what;
  }
  EXPECT_TRUE(SameArea(*shot, *WithText(*background, "-23LUFS", kTarget, kAmber), kTarget, 1));
  EXPECT_TRUE(SameArea(*shot, *background, kReadoutIn));
  EXPECT_TRUE(SameArea(*shot, *background, kReadoutOut));
  EXPECT_TRUE(
      SameArea(*shot, *WithText(*background, "v1.0.2", kVersion, kVersionWhite), kVersion, 1));
}

TEST_F(EditorModule, SnapshotFollowsProcessingAndHostParameters) {
  Blocks(4, 0.0f);
  ASSERT_EQ(plug->SetParameterText(3, "on"), 1); // analysis on, typed by the host
  ASSERT_EQ(plug->SetParameterText(1, "-18"), 1);
  auto shot = Snapshot();
  EXPECT_TRUE(SameArea(*shot, *WithText(*background, "-inf", kReadoutIn, kAmber), kReadoutIn, 1));
  EXPECT_TRUE(SameArea(*shot, *WithText(*background, "-inf", kReadoutOut, kAmber), kReadoutOut, 1));
  EXPECT_TRUE(SameArea(*shot, *WithSwitch(*background, kAnalyze, 1, 1.0f), kAnalyze.Rect()))
      << "the Analyze switch does not show the host's change";
  EXPECT_TRUE(SameArea(*shot, *WithSwitch(*background, kNormalize, 0, 0.25f), kNormalize.Rect()));
  EXPECT_TRUE(SameArea(*shot, *WithText(*background, "-18LUFS", kTarget, kAmber), kTarget, 1));

  // Loud blocks put numbers into the read-outs.
  Blocks(10, 0.3f);
  auto loud = Snapshot();
  const Ink in = InkIn(*loud, *background, kReadoutIn);
  ASSERT_TRUE(in.Any());
  EXPECT_NEAR(in.CenterX(), 65.0, 1.5);
  EXPECT_FALSE(SameArea(*loud, *shot, kReadoutIn));
}

TEST_F(EditorModule, SnapshotRefusesWhatItCannotFill) {
  std::vector<uint32_t> pixels(256 * 300, 0xDEADBEEF);
  ZtEditorSnapshot shot;
  shot.pixels = pixels.data();
  struct Case {
    const char* what;
    int32_t size, width, height, rowPixels;
  } cases[] = {
      {"wrong record size", 8, 256, 300, 256},
      {"too narrow", sizeof(ZtEditorSnapshot), 255, 300, 256},
      {"too low", sizeof(ZtEditorSnapshot), 256, 299, 256},
      {"rows too short", sizeof(ZtEditorSnapshot), 256, 300, 255},
      {"negative", sizeof(ZtEditorSnapshot), -1, -1, -1},
  };
  for (const Case& c : cases) {
    shot.size = c.size;
    shot.width = c.width;
    shot.height = c.height;
    shot.rowPixels = c.rowPixels;
    EXPECT_EQ(plug->Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, &shot), 0) << c.what;
  }
  EXPECT_EQ(plug->Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, nullptr), 0);
  for (uint32_t p : pixels)
    ASSERT_EQ(p, 0xDEADBEEF) << "wrote into a buffer it refused";
  // The sub-codes of the interface itself still answer as before.
  EXPECT_EQ(plug->Dispatch(kEffVendorSpecific, 8, 0, nullptr), 0xBEEF);
}

} // namespace
