#pragma once
// An AAX editor shown in a top-level window of its own, as a host shows it: the view's size from
// the editor (GetViewSize), the window as the view container's native parent, messages pumped
// while a test signal runs, the editor closed. One file per platform: ViewWindowWin32.cpp,
// ViewWindowPosix.cpp (no windows there).

#include <functional>
#include <string>

namespace zt::aaxhost {

class AaxInstance;

// Shows the instance's editor for `seconds`, calling `block` about every 10 ms to run audio, then
// closes it. False with a one-line reason when it cannot be shown here.
bool ShowViewWindow(AaxInstance& instance, double seconds, const std::function<void()>& block,
                    std::string* error);

} // namespace zt::aaxhost
