// The AAX editor in a real Windows window: the mock host's view container hands over a top-level
// window, the module opens its "IPlug" child window in it, and clicks arrive as window messages.
// A press on a switch is offered to the host first; taken, it changes nothing; declined, the
// switch toggles and the host hears touch, set and release. Under Wine with a virtual X server.
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TestSession.h"
#include "tests/support/WindowPump.h"
#include "tools/aaxhost/AaxHost.h"

using namespace zt::aaxhost;

namespace {

HWND NewHostWindow() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZtAaxTestHost";
    return RegisterClassA(&wc) != 0;
  }();
  (void)registered;
  return CreateWindowExA(0, "ZtAaxTestHost", "AAX host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                         320, 380, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void Click(HWND window, int x, int y) {
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  PumpMessages(60);
}

TEST(AaxWindow, TheEditorOpensInTheHostsViewAndOffersPressesToTheHost) {
  TestSession session("aaxwin");
  std::string error;
  auto module = AaxModule::Load(ZT_AAX_MODULE, &error);
  ASSERT_NE(module, nullptr) << error;
  {
    auto instance = AaxInstance::Create(*module, 1, &error);
    ASSERT_NE(instance, nullptr) << error;
    HWND host = NewHostWindow();
    ASSERT_TRUE(instance->OpenEditor(host));
    PumpMessages(60);
    HWND editor = FindWindowExA(host, nullptr, "IPlugWndClass", "IPlug");
    ASSERT_NE(editor, nullptr);
    RECT client{};
    GetClientRect(editor, &client);
    EXPECT_EQ(client.right, 256);
    EXPECT_EQ(client.bottom, 300);
    EXPECT_EQ(GetWindowLongPtrA(editor, GWL_STYLE) & (WS_CHILD | WS_VISIBLE),
              WS_CHILD | WS_VISIBLE);

    // The Analyze switch (parameter 4) at (144, 60).
    HostViewContainer& view = *instance->View();
    view.takePresses = true;
    Click(editor, 194, 76);
    ASSERT_EQ(view.presses.size(), 1u);
    EXPECT_EQ(view.presses[0].first, "4");
    EXPECT_EQ(instance->ValueString("4"), "off");

    instance->Controller().automation.clear();
    view.takePresses = false;
    Click(editor, 194, 76);
    using A = AutomationRecord;
    EXPECT_EQ(instance->Controller().automation, (std::vector<A>{{A::Touch, "4"},
                                                                 {A::Touch, "4"},
                                                                 {A::Set, "4", 1.0},
                                                                 {A::Release, "4"},
                                                                 {A::Release, "4"}}));
    EXPECT_EQ(instance->DeliverPendingSets(), 1);
    EXPECT_EQ(instance->ValueString("4"), "on");

    instance->CloseEditor();
    EXPECT_FALSE(IsWindow(editor));
    // The host may destroy its window while the view is open; closing afterwards is harmless.
    ASSERT_TRUE(instance->OpenEditor(host));
    DestroyWindow(host);
    instance->CloseEditor();
  }
  EXPECT_EQ(module->CanUnloadNow(), 0);
}

} // namespace
