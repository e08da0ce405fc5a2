#include "tools/loader/HostWindow.h"

#include <chrono>

#include <windows.h>

namespace zt::loader {

void* NewHostWindow(const char* title, int width, int height) {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "ZtHostWindow";
    return RegisterClassA(&wc) != 0;
  }();
  (void)registered;
  // The outer size that gives the editor's client size.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
  RECT outer{0, 0, width, height};
  AdjustWindowRect(&outer, style, FALSE);
  return CreateWindowExA(0, "ZtHostWindow", title, style, 40, 40, outer.right - outer.left,
                         outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
}

void RunHostWindow(void* window, double seconds, const std::function<void()>& block) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  auto nextBlock = Clock::now();
  MSG msg;
  while (Clock::now() < until && IsWindow(static_cast<HWND>(window))) {
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
}

void DestroyHostWindow(void* window) {
  if (window && IsWindow(static_cast<HWND>(window))) DestroyWindow(static_cast<HWND>(window));
}

} // namespace zt::loader
