// The Linux build shows no editor windows: neither does the receiver's module open one there.
#include "tools/aaxhost/ViewWindow.h"

namespace zt::aaxhost {

bool ShowViewWindow(AaxInstance&, double, const std::function<void()>&, std::string* error) {
  *error = "this build shows no editor windows (run zt-aaxhost.exe under Windows or Wine)";
  return false;
}

} // namespace zt::aaxhost
