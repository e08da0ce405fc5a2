// A top-level window holding a plug-in's editor, with the message loop a host runs.
#include <cstdint>

#include "tools/vsthost/EditorWindow.h"
#include "tools/loader/HostWindow.h"
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
  const std::string title = "zt-vsthost: " + plug.EffectName();
  void* host =
      zt::loader::NewHostWindow(title.c_str(), rect->right - rect->left, rect->bottom - rect->top);
  if (!host) {
    *error = "cannot create a window";
    return false;
  }
  if (plug.Dispatch(kEffEditOpen, 0, 0, host) != 1) {
    zt::loader::DestroyHostWindow(host);
    *error = "the plug-in did not open its editor";
    return false;
  }
  zt::loader::RunHostWindow(host, seconds, block);
  plug.Dispatch(kEffEditClose);
  zt::loader::DestroyHostWindow(host);
  return true;
}
