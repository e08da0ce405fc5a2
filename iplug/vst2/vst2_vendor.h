#pragma once
// Our own extensions of the VST2 interface, reached through the vendor-specific dispatcher
// opcode (kEffVendorSpecific, 50) with sub-codes no host uses. Shared by the adapter and our
// tools; a host that knows nothing of them never sends them.

#include <cstdint>

// Vendor-specific sub-codes hosts send (index of kEffVendorSpecific), answered with
// kVendorAnswer where the host understands the answer:
//   kVendorFormatNormalized: value = parameter index, opt = a normalised value, ptr = a text
//     buffer of kVstParamStringSize; the parameter's display text of that value is written.
//   kVendorParamIsStepped: value = parameter index; kVendorAnswer when the parameter moves in
//     steps (any type but Double), 0 otherwise.
constexpr int32_t kVendorFormatNormalized = 7;
constexpr int32_t kVendorParamIsStepped = 8;
constexpr intptr_t kVendorAnswer = 0xBEEF;
// The can-do answer to "hasVendorExtensions" and "hasVendorViewAsConfig".
constexpr intptr_t kVendorCanDo = 0xBEEF0000;

// Editor snapshot: opcode 50, index kZtEditorSnapshot, ptr = ZtEditorSnapshot*, value and opt
// unused. The plug-in paints its whole editor (every control, as the window would show it after
// a full repaint) into its back buffer and copies the pixels into the host's buffer.
//   - pixels null: only width and height are filled in (the editor's size); result 1.
//   - pixels set: width and height must be at least the editor's size and rowPixels at least
//     its width; the editor's width x height pixels are written from the top-left corner, rows
//     top-down, each pixel (A << 24) | (R << 16) | (G << 8) | B; width and height are set to the
//     editor's size; result 1.
// Result 0, with nothing written, without an editor, with a null ptr, a wrong `size` or a buffer
// that is too small.
constexpr int32_t kZtEditorSnapshot = 0x5A745373; // 'ZtSs'

struct ZtEditorSnapshot {
  int32_t size = sizeof(ZtEditorSnapshot); // checked by the plug-in
  int32_t width = 0;                       // in: buffer width; out: editor width
  int32_t height = 0;                      // in: buffer height; out: editor height
  int32_t rowPixels = 0;                   // distance between rows of `pixels`, in pixels
  uint32_t* pixels = nullptr;              // the host's buffer, or null to ask for the size
};
