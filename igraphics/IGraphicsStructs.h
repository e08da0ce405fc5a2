#pragma once
// Value types shared by the editor, its controls and the bitmap engine. Plain records: no
// ownership, no locks.

#include <algorithm>
#include <cstdint>

class LICE_IBitmap;
class LICE_CachedFont;

// Integer pixel rectangle, origin at the editor's top-left, y downward; right and bottom are
// exclusive for hit testing. Only the all-zero rect is empty: a rect with right < left is not.
struct ControlRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  bool IsEmpty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  int32_t W() const { return right - left; }
  int32_t H() const { return bottom - top; }

  bool Contains(int32_t x, int32_t y) const {
    return !IsEmpty() && x >= left && x < right && y >= top && y < bottom;
  }

  // Deliberately asymmetric: this rect meets b also when it ends exactly where b begins
  // (right == b.left), but not when b ends where this one begins. The redraw relies on it:
  // a redraw rect still reaches the control that starts at its right or bottom edge.
  bool Meets(const ControlRect& b) const {
    if (IsEmpty() || b.IsEmpty()) return false;
    return right >= b.left && left < b.right && bottom >= b.top && top < b.bottom;
  }

  // Empty unless this rect meets b; touching rects give a zero-width (not empty) rect.
  ControlRect Intersection(const ControlRect& b) const {
    if (!Meets(b)) return {};
    return {std::max(left, b.left), std::max(top, b.top), std::min(right, b.right),
            std::min(bottom, b.bottom)};
  }

  ControlRect Union(const ControlRect& b) const {
    if (IsEmpty()) return b;
    if (b.IsEmpty()) return *this;
    return {std::min(left, b.left), std::min(top, b.top), std::max(right, b.right),
            std::max(bottom, b.bottom)};
  }

  bool operator==(const ControlRect&) const = default;
};

// Colour channels 0..255.
struct ControlColor {
  int32_t A = 255, R = 0, G = 0, B = 0;

  // (A << 24) | (R << 16) | (G << 8) | B: the pixel form of bitmaps and fonts.
  uint32_t ToPixel() const {
    return (static_cast<uint32_t>(A & 0xFF) << 24) | (static_cast<uint32_t>(R & 0xFF) << 16) |
           (static_cast<uint32_t>(G & 0xFF) << 8) | static_cast<uint32_t>(B & 0xFF);
  }
  // R | G << 8 | B << 16: the Windows colour form (edit box colours).
  uint32_t ToColorRef() const {
    return static_cast<uint32_t>(R & 0xFF) | (static_cast<uint32_t>(G & 0xFF) << 8) |
           (static_cast<uint32_t>(B & 0xFF) << 16);
  }
  bool operator==(const ControlColor&) const = default;
};

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
