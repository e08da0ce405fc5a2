#pragma once
// What the window tests need of a host: its top-level window for an editor to open in, the
// editor's child window found in it, the child's pixels as they are on the screen, and clicks
// posted to it. Windows builds only.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "lice/lice.h"
#include "tests/support/WindowPump.h"

// A host's top-level window, the editor's parent, with room for an editor of width x height.
class TestHostWindow {
public:
  TestHostWindow(int width, int height, int x = 40, int y = 40) {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = DefWindowProcA;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
      wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
      wc.lpszClassName = "ZtTestHost";
      return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    hwnd = CreateWindowExA(0, "ZtTestHost", "test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                           width + 60, height + 80, nullptr, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
    PumpMessages(20);
  }
  ~TestHostWindow() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  TestHostWindow(const TestHostWindow&) = delete;
  TestHostWindow& operator=(const TestHostWindow&) = delete;
  HWND hwnd;
};

// The editor's child window in parent, or null.
inline HWND EditorIn(HWND parent) {
  return FindWindowExA(parent, nullptr, "IPlugWndClass", "IPlug");
}

// The window's client area (width x height) as it is on the screen, opaque.
inline std::unique_ptr<LICE_MemBitmap> CaptureWindow(HWND window, int width, int height) {
  auto picture = std::make_unique<LICE_MemBitmap>(width, height);
  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const auto* src = static_cast<const uint32_t*>(bits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture->PixelData()[y * picture->PixelsPerRow() + x] = src[y * width + x] | 0xFF000000u;
  SelectObject(memory, old);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  return picture;
}

// A left click at (x, y) in the window's client area, then the messages it causes.
inline void ClickAt(HWND window, int x, int y) {
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  PumpMessages(60);
}
