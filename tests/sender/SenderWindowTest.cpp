// The sender's editor in a real Windows window, as a host shows it: the module's dispatcher opens
// it in a host window, the window's own pixels are what the editor painted, and a click on the
// Send switch stops the sending. Runs under Wine with a virtual X server; Windows builds only.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "iplug/vst2/vst2_vendor.h"
#include "plugin/SenderSlot.h"
#include "plugin/SharedSegment.h"
#include "tests/editor/EditorPixels.h"
#include "tests/support/TestHostWindow.h"
#include "tests/support/TestSession.h"
#include "tools/vsthost/VstHost.h"

using namespace editor_pixels;

namespace {

constexpr int kWidth = 256, kHeight = 240;

TEST(SenderWindow, OpensInTheHostsWindowAndItsSwitchStopsSending) {
  TestSession session("sendwin");
  std::string error;
  auto module = VstModule::Load(ZT_SEND_MODULE, &error);
  ASSERT_NE(module, nullptr) << error;
  auto plug = VstPlugin::Create(*module, &error);
  ASSERT_NE(plug, nullptr) << error;
  plug->recordCalls = false;
  plug->Open();
  plug->SetSampleRate(48000.0);
  plug->SetBlockSize(512);
  plug->Resume();
  std::vector<float> in(512, 0.1f), out0(512), out1(512);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out0.data(), out1.data()};
  for (int b = 0; b < 20; ++b)
    ASSERT_TRUE(plug->ProcessReplacing(ins, outs, 512));
  auto segment = shmem(kSegmentBaseName, kSegmentDataBytes);
  uint8_t* data = SegmentData(segment.get());
  ASSERT_EQ(sender_slot::FollowedSlot(data), 0);

  TestHostWindow host(kWidth, kHeight);
  ASSERT_EQ(plug->Dispatch(kEffEditOpen, 0, 0, host.hwnd), 1);
  HWND editor = EditorIn(host.hwnd);
  ASSERT_NE(editor, nullptr);
  RECT client{};
  GetClientRect(editor, &client);
  EXPECT_EQ(client.right - client.left, kWidth);
  EXPECT_EQ(client.bottom - client.top, kHeight);
  PumpMessages(300);

  // The window shows what the editor presented last, status line included.
  auto background = Image(105, "resources/img/send-bkg.png");
  ASSERT_NE(background, nullptr);
  const ControlRect status{18, 104, 240, 128};
  const ControlColor grey{255, 213, 218, 225};
  auto shown = CaptureWindow(editor, kWidth, kHeight);
  EXPECT_TRUE(SameArea(*shown, *WithText(*background, "FOLLOWED", status, grey), status, 1));

  // A click on the Send switch turns sending off: the flag comes down.
  ClickAt(editor, 78 + 50, 151 + 16);
  EXPECT_LT(plug->GetParameter(0), 0.5f);
  EXPECT_EQ(LoadFlag(data, 0), 0);
  ASSERT_TRUE(plug->ProcessReplacing(ins, outs, 512));
  PumpMessages(300);
  shown = CaptureWindow(editor, kWidth, kHeight);
  EXPECT_TRUE(SameArea(*shown, *WithText(*background, "NOT SENDING", status, grey), status, 1));

  EXPECT_EQ(plug->Dispatch(kEffEditClose), 1);
  EXPECT_EQ(EditorIn(host.hwnd), nullptr);
}

} // namespace
