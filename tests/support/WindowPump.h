#pragma once
// Runs this thread's window messages for a while, as a host's message loop does: timer ticks,
// paints and posted input reach their windows. Windows builds only.
#include <windows.h>

#include <chrono>

inline void PumpMessages(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  MSG msg;
  do {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(1);
  } while (std::chrono::steady_clock::now() < until);
}
