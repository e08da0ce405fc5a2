#include "tools/render/Loudness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include <ebur128.h>

LoudnessMeter::LoudnessMeter(int channels, int rate) {
  if (channels < 1 || channels > 2 || rate <= 0) return;
  state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                        EBUR128_MODE_M | EBUR128_MODE_I);
  if (!state_) return;
  ebur128_set_channel(state_, 0, EBUR128_LEFT);
  if (channels == 2) ebur128_set_channel(state_, 1, EBUR128_RIGHT);
}

LoudnessMeter::~LoudnessMeter() {
  if (state_) ebur128_destroy(&state_);
}

void LoudnessMeter::Add(const double* interleaved, int64_t frames) {
  if (state_ && frames > 0)
    ebur128_add_frames_double(state_, interleaved, static_cast<size_t>(frames));
}

double LoudnessMeter::Momentary() const {
  double v = -std::numeric_limits<double>::infinity();
  if (state_ && ebur128_loudness_momentary(state_, &v) != EBUR128_SUCCESS)
    v = -std::numeric_limits<double>::infinity();
  return v;
}

double LoudnessMeter::Integrated() const {
  double v = -std::numeric_limits<double>::infinity();
  if (state_ && ebur128_loudness_global(state_, &v) != EBUR128_SUCCESS)
    v = -std::numeric_limits<double>::infinity();
  return v;
}

double LoudnessCurve::MaxMomentary() const {
  double m = -std::numeric_limits<double>::infinity();
  for (double v : momentary)
    m = std::max(m, v);
  return m;
}

FollowStats CompareCurves(const std::vector<double>& output, const std::vector<double>& reference,
                          int lagBlocks, int first, double blockSeconds, double floorLufs) {
  FollowStats s;
  double sum = 0.0;
  const int n = static_cast<int>(output.size());
  for (int k = std::max(first, std::max(lagBlocks, 0)); k < n; ++k) {
    const int r = k - lagBlocks;
    if (r < 0 || r >= static_cast<int>(reference.size())) continue;
    const double o = output[k], ref = reference[r];
    if (!(o > floorLufs) || !(ref > floorLufs)) continue;
    const double d = std::fabs(o - ref);
    sum += d;
    ++s.blocks;
    if (d > s.maxAbs) {
      s.maxAbs = d;
      s.worstSeconds = (k + 1) * blockSeconds;
    }
  }
  if (s.blocks) s.meanAbs = sum / s.blocks;
  return s;
}

std::string FormatLufs(double lufs) {
  if (!(lufs > -200.0)) return "-inf";
  char buf[32];
  snprintf(buf, sizeof buf, "%.1f LUFS", lufs);
  return buf;
}
