#pragma once
// The plug-in's editor as a user would see it, fetched through our vendor-specific dispatcher call
// (iplug/vst2/vst2_vendor.h) and written as a PNG file.

#include <cstdint>
#include <string>
#include <vector>

class VstPlugin;

struct EditorPicture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels; // rows top-down, (A << 24) | (R << 16) | (G << 8) | B
};

// Asks the plug-in to paint its whole editor and copy it out. False with a reason when the plug-in
// has no editor or does not answer the call.
bool FetchEditorPicture(VstPlugin& plug, EditorPicture* picture, std::string* error);

// Writes the picture as an opaque 8-bit RGB PNG (a window shows the editor without its alpha),
// through a temporary file and a rename.
bool WriteEditorPicture(const std::string& path, const EditorPicture& picture, std::string* error);
