#pragma once
// Plain records shared by the bitmap engine, the graphics core and the controls.

#include <cstdint>

// A rectangle in editor pixels; right and bottom are exclusive.
struct ControlRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t W() const { return right - left; }
  int32_t H() const { return bottom - top; }
};
