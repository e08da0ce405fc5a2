// A top-level window holding an AAX editor, with the message loop a host runs.
#include <windows.h>

#include <chrono>

#include "tools/aaxhost/AaxHost.h"
#include "tools/aaxhost/ViewWindow.h"

namespace zt::aaxhost {

bool ShowViewWindow(AaxInstance& instance, double seconds, const std::function<void()>& block,
                    std::string* error) {
  // The size first, from an editor without a parent.
  if (!instance.OpenEditor(nullptr)) {
    *error = "the module opened no editor";
    return false;
  }
  const AAX_Point size = instance.ViewSize();
  instance.CloseEditor();
  if (!(size.horz >= 1.0f && size.vert >= 1.0f && size.horz < 10000.0f && size.vert < 10000.0f)) {
    *error = "the editor gives no size";
    return false;
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = "ZtAaxHostView";
  RegisterClassA(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
  RECT outer{0, 0, static_cast<LONG>(size.horz), static_cast<LONG>(size.vert)};
  AdjustWindowRect(&outer, style, FALSE);
  HWND host =
      CreateWindowExA(0, wc.lpszClassName, "zt-aaxhost", style, 40, 40, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, wc.hInstance, nullptr);
  if (!host) {
    *error = "cannot create a window";
    return false;
  }
  if (!instance.OpenEditor(host)) {
    DestroyWindow(host);
    *error = "the module did not open its editor in the view";
    return false;
  }
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  auto nextBlock = Clock::now();
  MSG msg;
  while (Clock::now() < until && IsWindow(host)) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (Clock::now() >= nextBlock) {
      block();
      nextBlock += std::chrono::milliseconds(10);
    }
    Sleep(1);
  }
  instance.CloseEditor();
  if (IsWindow(host)) DestroyWindow(host);
  printf("editor:     shown for %g s, view %g x %g\n", seconds, size.horz, size.vert);
  return true;
}

} // namespace zt::aaxhost
