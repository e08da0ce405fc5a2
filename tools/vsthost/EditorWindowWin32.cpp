// A top-level window holding a plug-in's editor, with the message loop a host runs.
#include <windows.h>

#include <chrono>
#include <cstdint>

#include "tools/vsthost/EditorWindow.h"
#include "tools/vsthost/VstHost.h"

namespace {

struct EditorRect {
  int16_t top, left, bottom, right;
};

} // namespace

bool ShowEditorWindow(VstPlugin& plug, double seconds, const std::function<void()>& block,
                      std::string* error) {
  if (!(plug.Flags() & kEffFlagsHasEditor)) {
    *error = "the plug-in announces no editor";
    return false;
  }
  EditorRect* rect = nullptr;
  if (plug.Dispatch(kEffEditGetRect, 0, 0, &rect) != 1 || !rect || rect->right <= rect->left ||
      rect->bottom <= rect->top) {
    *error = "the plug-in gives no editor size";
    return false;
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = "ZtVstHostEditor";
  RegisterClassA(&wc);
  // The window's outer size that gives the editor's client size.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
  RECT outer{0, 0, rect->right - rect->left, rect->bottom - rect->top};
  AdjustWindowRect(&outer, style, FALSE);
  const std::string title = "zt-vsthost: " + plug.EffectName();
  HWND host =
      CreateWindowExA(0, wc.lpszClassName, title.c_str(), style, 40, 40, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, wc.hInstance, nullptr);
  if (!host) {
    *error = "cannot create a window";
    return false;
  }
  if (plug.Dispatch(kEffEditOpen, 0, 0, host) != 1) {
    DestroyWindow(host);
    *error = "the plug-in did not open its editor";
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
  plug.Dispatch(kEffEditClose);
  if (IsWindow(host)) DestroyWindow(host);
  return true;
}
