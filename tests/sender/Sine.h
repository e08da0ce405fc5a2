#pragma once
// The tone the sender tests play: a 997 Hz sine at 48 kHz, continuing from block to block.
#include <cmath>
#include <numbers>

inline void FillSine(float* out, int frames, double amplitude, long& frame) {
  for (int k = 0; k < frames; ++k, ++frame)
    out[k] =
        static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * 997.0 * frame / 48000.0));
}
