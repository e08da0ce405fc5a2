#include "tools/render/Screenshot.h"

#include <filesystem>

#include <cairo.h>

#include "tools/render/AudioFile.h"
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
  // RGB24 is the pixels' own layout with the top byte ignored; cairo writes it as RGB.
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    *error = "cannot write '" + path + "': no memory for the picture";
    return false;
  }
  cairo_surface_flush(surface);
  unsigned char* dest = cairo_image_surface_get_data(surface);
  const int rowBytes = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < picture.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(dest + static_cast<size_t>(y) * rowBytes);
    const uint32_t* src = picture.pixels.data() + static_cast<size_t>(y) * picture.width;
    for (int x = 0; x < picture.width; ++x)
      row[x] = src[x] | 0xFF000000u;
  }
  cairo_surface_mark_dirty(surface);

  const std::string temp = TemporaryNameFor(path);
  const cairo_status_t st = cairo_surface_write_to_png(surface, temp.c_str());
  cairo_surface_destroy(surface);
  std::error_code ec;
  if (st != CAIRO_STATUS_SUCCESS) {
    std::filesystem::remove(temp, ec);
    *error = "cannot write '" + path + "': " + cairo_status_to_string(st);
    return false;
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    *error = "cannot write '" + path + "': " + ec.message();
    return false;
  }
  return true;
}
