#pragma once
// The top-level window a host tool shows a plug-in's editor in, and the message loop it runs
// meanwhile. Windows builds only (HostWindowWin32.cpp).

#include <functional>

namespace zt::loader {

// A visible top-level window whose client area is width x height; null when it cannot be made.
void* NewHostWindow(const char* title, int width, int height);
// Runs the thread's message loop for `seconds`, or until the window is gone, calling `block`
// about every 10 ms (to run audio beside the editor).
void RunHostWindow(void* window, double seconds, const std::function<void()>& block);
// Destroys the window if it still exists.
void DestroyHostWindow(void* window);

} // namespace zt::loader
