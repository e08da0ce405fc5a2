#pragma once
// How the sender tests play: a plug-in started as a host starts a track's insert, and a 997 Hz
// sine at 48 kHz, continuing from block to block.
#include <cmath>
#include <numbers>

#include "tools/vsthost/VstHost.h"

// Opened, at 48 kHz with 512-frame blocks, resumed, the transport playing.
inline void StartInsert(VstPlugin& plug) {
  plug.recordCalls = false;
  plug.Open();
  plug.SetSampleRate(48000.0);
  plug.SetBlockSize(512);
  plug.Resume();
  plug.transport.playing = true;
}

inline void FillSine(float* out, int frames, double amplitude, long& frame) {
  for (int k = 0; k < frames; ++k, ++frame)
    out[k] =
        static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * 997.0 * frame / 48000.0));
}
