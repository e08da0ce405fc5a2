// An AAX editor in a top-level window of its own, with the message loop a host runs.
#include <cstdio>

#include "tools/aaxhost/AaxHost.h"
#include "tools/aaxhost/ViewWindow.h"
#include "tools/loader/HostWindow.h"

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
  void* host = zt::loader::NewHostWindow("zt-aaxhost", static_cast<int>(size.horz),
                                         static_cast<int>(size.vert));
  if (!host) {
    *error = "cannot create a window";
    return false;
  }
  if (!instance.OpenEditor(host)) {
    zt::loader::DestroyHostWindow(host);
    *error = "the module did not open its editor in the view";
    return false;
  }
  zt::loader::RunHostWindow(host, seconds, block);
  instance.CloseEditor();
  zt::loader::DestroyHostWindow(host);
  printf("editor:     shown for %g s, view %g x %g\n", seconds, size.horz, size.vert);
  return true;
}

} // namespace zt::aaxhost
