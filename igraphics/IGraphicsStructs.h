#pragma once
// Value types of the editor and its controls; the rectangle and colour come from the bitmap
// engine below it. Plain records: no ownership, no locks.

#include <cstdint>

#include "lice/lice_types.h"

class LICE_IBitmap;
class LICE_CachedFont;

constexpr ControlColor kColorBlack{255, 0, 0, 0};
constexpr ControlColor kColorWhite{255, 255, 255, 255};

constexpr int kTextFontSize = 32; // face name, NUL included

// The text appearance of a control and of its text entry.
struct TextStyle {
  enum Style : int32_t { Normal = 0, Bold = 1, Italic = 2 };
  enum Align : int32_t { AlignLeft = 0, AlignCenter = 1, AlignRight = 2 };
  enum Quality : int32_t { QualityDefault = 0, NonAntialiased = 1, Antialiased = 2, ClearType = 3 };

  char font[kTextFontSize] = "Arial";
  int32_t size = 12; // character height in pixels
  ControlColor color = kColorBlack;
  ControlColor entryBackground = kColorWhite;
  ControlColor entryText = kColorBlack;
  int32_t style = Normal;
  int32_t align = AlignCenter;
  int32_t valign = 0;      // 1 = bottom-aligned, anything else vertically centred
  int32_t orientation = 0; // degrees
  int32_t quality = QualityDefault;
  LICE_CachedFont* cachedFont = nullptr; // not owned; set by FontForStyle on first use
};

// A loaded image as controls see it. Records live in the process-wide bitmap record list;
// controls hold plain pointers. image is null when the resource could not be loaded, and then
// width and height are 0: such a record paints nothing.
struct BitmapRef {
  LICE_IBitmap* image = nullptr; // not owned (the image cache owns it)
  int32_t width = 0;             // pixels of the whole image
  int32_t height = 0;
  int32_t frameCount = 1;        // equal frames in the image, at least 1
  bool framesHorizontal = false; // frames side by side; false: stacked top to bottom
};

// How a control's image is composed onto the back buffer.
struct ControlBlend {
  enum Kind : int32_t { Normal = 0, Opaque = 1, Additive = 2, Dodge = 3 };
  int32_t kind = Normal;
  float weight = 1.0f; // 0..1

  // The blit mode (bitmap engine) for this kind; unknown kinds compose as Normal.
  int32_t BlitMode() const {
    switch (kind) {
    case Opaque:
      return 0; // copy
    case Additive:
      return 0x10001; // add, weighted by source alpha
    case Dodge:
      return 0x10002; // dodge, weighted by source alpha
    default:
      return 0x10000; // copy, weighted by source alpha
    }
  }
};

// Mouse buttons and modifier keys of one input event; each 0 or 1.
struct MouseMods {
  bool left = false, right = false, shift = false, ctrl = false, alt = false;
};
