#pragma once
// The rectangle and colour records of the bitmap engine. The editor and its controls use the
// same records (igraphics/IGraphicsStructs.h builds on this header), so they live here, below
// both. Plain values: no ownership, no locks.

#include <algorithm>
#include <cstdint>

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
