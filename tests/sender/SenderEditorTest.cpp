// The sender's editor as a host reaches it through the loaded module: its pixels, fetched with
// our vendor-specific call, against what the module's own images and font give: the published
// loudness, the slot, which sender receivers follow, and the Send switch.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "iplug/vst2/vst2_vendor.h"
#include "plugin/SenderSlot.h"
#include "plugin/SharedSegment.h"
#include "tests/editor/EditorPixels.h"
#include "tests/support/TestSession.h"
#include "tests/sender/SenderSuite.h"

using namespace editor_pixels;

namespace {

constexpr ControlRect kLoudness{100, 18, 240, 58};
constexpr ControlRect kSlot{100, 66, 160, 96};
constexpr ControlRect kStatus{18, 104, 240, 128};
constexpr ControlColor kStatusGrey{255, 213, 218, 225};
constexpr SwitchSpot kSend{"send", 1, 106, "resources/img/send-btn.png", 78, 151, 0};

class SenderEditor : public SenderSuite {
protected:
  void SetUp() override {
    SenderSuite::SetUp();
    if (HasFatalFailure()) return;
    background = Image(105, "resources/img/send-bkg.png");
    ASSERT_NE(background, nullptr);
  }

  static void Blocks(VstPlugin& plug, int count, double amplitude) {
    std::vector<float> in(512), out0(512), out1(512);
    long frame = 0;
    FillSine(in.data(), 512, amplitude, frame);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {out0.data(), out1.data()};
    for (int b = 0; b < count; ++b)
      ASSERT_TRUE(plug.ProcessReplacing(ins, outs, 512));
  }
  static std::unique_ptr<LICE_MemBitmap> Snapshot(VstPlugin& plug) {
    ZtEditorSnapshot shot;
    EXPECT_EQ(plug.Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, &shot), 1);
    EXPECT_EQ(shot.width, 256);
    EXPECT_EQ(shot.height, 240);
    auto picture = std::make_unique<LICE_MemBitmap>(256, 240);
    shot.pixels = picture->PixelData();
    shot.rowPixels = picture->PixelsPerRow();
    EXPECT_EQ(plug.Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, &shot), 1);
    return picture;
  }
  // The picture shows `text` in `rect`, as the module's font draws it.
  testing::AssertionResult Shows(const LICE_IBitmap& picture, const char* text,
                                 const ControlRect& rect, const ControlColor& colour) {
    return SameArea(picture, *WithText(*background, text, rect, colour), rect, 1);
  }

  TestSession session{"sendui"};
  std::unique_ptr<LICE_MemBitmap> background;
};

TEST_F(SenderEditor, ShowsWhatItPublishesAndWhichSenderIsFollowed) {
  auto first = Started(sendModule);
  auto second = Started(sendModule);
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->Flags() & 1, 1) << "has an editor";
  Blocks(*first, 40, 0.1);
  Blocks(*second, 40, 0.01);
  Blocks(*first, 1, 0.1); // the first sees the second's flag too

  // The published loudness, as the segment holds it, to one decimal.
  auto segment = shmem(kSegmentBaseName, kSegmentDataBytes);
  uint8_t* data = SegmentData(segment.get());
  char expected[16];
  snprintf(expected, sizeof expected, "%.1f", 20.0 * std::log10(LoadSlot(data, 0, 1)));

  auto one = Snapshot(*first);
  EXPECT_TRUE(Shows(*one, expected, kLoudness, kAmber));
  EXPECT_TRUE(Shows(*one, "1", kSlot, kAmber));
  EXPECT_TRUE(Shows(*one, "FOLLOWED", kStatus, kStatusGrey));
  EXPECT_TRUE(SameArea(*one, *WithSwitch(*background, kSend, 1, 1.0f), kSend.Rect()));
  auto two = Snapshot(*second);
  EXPECT_TRUE(Shows(*two, "2", kSlot, kAmber));
  EXPECT_TRUE(Shows(*two, "SLOT 1 WINS", kStatus, kStatusGrey));

  // Send off: the switch is off, the flag down, and the second sender is followed.
  first->SetParameter(0, 0.0f);
  Blocks(*second, 1, 0.01);
  one = Snapshot(*first);
  EXPECT_TRUE(SameArea(*one, *WithSwitch(*background, kSend, 0, 1.0f), kSend.Rect()));
  EXPECT_TRUE(Shows(*one, "NOT SENDING", kStatus, kStatusGrey));
  two = Snapshot(*second);
  EXPECT_TRUE(Shows(*two, "FOLLOWED", kStatus, kStatusGrey));
}

} // namespace
