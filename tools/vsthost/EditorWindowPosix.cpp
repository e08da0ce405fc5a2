// The Linux build shows no editor windows: neither does the receiver's module open one there.
#include "tools/vsthost/EditorWindow.h"

bool ShowEditorWindow(VstPlugin&, double, const std::function<void()>&, std::string* error) {
  *error = "this build shows no editor windows (run zt-vsthost.exe under Windows or Wine)";
  return false;
}
