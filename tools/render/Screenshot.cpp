#include "tools/render/Screenshot.h"

#include "lice/lice.h"
#include "tools/vsthost/VstHost.h"
#include "iplug/vst2/vst2_vendor.h"

namespace {
constexpr int kMaxSide = 4096; // a sane bound on what a plug-in may claim as its editor size
} // namespace

bool FetchEditorPicture(VstPlugin& plug, EditorPicture* picture, std::string* error) {
  ZtEditorSnapshot shot;
  if (plug.Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, &shot) != 1 || shot.width <= 0 ||
      shot.height <= 0 || shot.width > kMaxSide || shot.height > kMaxSide) {
    *error = "the plug-in has no editor to take a screenshot of";
    return false;
  }
  EditorPicture p;
  p.width = shot.width;
  p.height = shot.height;
  p.pixels.assign(static_cast<size_t>(p.width) * static_cast<size_t>(p.height), 0u);
  shot.pixels = p.pixels.data();
  shot.rowPixels = p.width;
  if (plug.Dispatch(kEffVendorSpecific, kZtEditorSnapshot, 0, &shot) != 1 ||
      shot.width != p.width || shot.height != p.height) {
    *error = "the plug-in did not paint its editor";
    return false;
  }
  *picture = std::move(p);
  return true;
}

bool WriteEditorPicture(const std::string& path, const EditorPicture& picture, std::string* error) {
  // Opaque RGB: a window shows the editor without its alpha.
  if (!LICE_WritePng(path.c_str(), picture.pixels.data(), picture.width, picture.height,
                     picture.width, false)) {
    *error = "cannot write the screenshot '" + path + "'";
    return false;
  }
  return true;
}
