#pragma once
// Deterministic test signals and a loudness probe.

#include <cmath>
#include <cstdint>
#include <vector>

#include <ebur128.h>

// White noise from a fixed seed, so every run measures the same loudness.
class Noise {
public:
  explicit Noise(uint32_t seed = 12345) : state_(seed) {}
  double Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return (static_cast<double>(state_ >> 8) / 8388608.0) - 1.0;
  }

private:
  uint32_t state_;
};

inline double DbToRatio(double db) {
  return std::pow(10.0, db / 20.0);
}

// A stereo probe: momentary loudness of what it is fed.
class LoudnessProbe {
public:
  explicit LoudnessProbe(int rate, int mode = EBUR128_MODE_M) {
    st_ = ebur128_init(2, static_cast<unsigned long>(rate), mode);
  }
  ~LoudnessProbe() { ebur128_destroy(&st_); }
  LoudnessProbe(const LoudnessProbe&) = delete;
  LoudnessProbe& operator=(const LoudnessProbe&) = delete;
  void Add(const double* l, const double* r, int frames) {
    buf_.resize(2 * static_cast<size_t>(frames));
    for (int k = 0; k < frames; ++k) {
      buf_[2 * k] = l[k];
      buf_[2 * k + 1] = r[k];
    }
    ebur128_add_frames_double(st_, buf_.data(), static_cast<size_t>(frames));
  }
  double Momentary() {
    double v = 0;
    ebur128_loudness_momentary(st_, &v);
    return v;
  }
  double Integrated() {
    double v = 0;
    ebur128_loudness_global(st_, &v);
    return v;
  }
  // Loudness of the last `ms` milliseconds (at most 400).
  double Window(unsigned long ms) {
    double v = 0;
    ebur128_loudness_window(st_, ms, &v);
    return v;
  }

private:
  ebur128_state* st_ = nullptr;
  std::vector<double> buf_;
};
