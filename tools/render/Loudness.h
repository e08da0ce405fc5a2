#pragma once
// Loudness of the render's three signals, measured by the tool itself with libebur128 on the
// plug-in's block grid: momentary loudness after every block, integrated loudness at the end.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <ebur128.h>

// A mono file is measured as one channel (weight 1), as the receiver measures a mono track: its
// left channel beside silence. It is not treated as dual mono (+3 dB).
class LoudnessMeter {
public:
  LoudnessMeter(int channels, int rate); // 1 or 2 channels
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  bool Ok() const { return state_ != nullptr; }
  void Add(const double* interleaved, int64_t frames);
  // Momentary loudness of the last 400 ms in LUFS; -inf while they are silent.
  double Momentary() const;
  // Integrated (gated) loudness of everything added; -inf when all of it was below the gate.
  double Integrated() const;

private:
  ebur128_state* state_ = nullptr;
};

// One momentary value per block, and what the summary reports of it.
struct LoudnessCurve {
  std::vector<double> momentary;
  double integrated = -std::numeric_limits<double>::infinity();
  double MaxMomentary() const;
};

struct FollowStats {
  int blocks = 0; // blocks compared
  double meanAbs = 0.0, maxAbs = 0.0;
  double worstSeconds = 0.0; // where the largest difference was (end of that block)
};

// Compares the output's momentary loudness in block k with the reference's in block k - lag,
// from block `first` on, over the blocks where both lie above `floorLufs`.
FollowStats CompareCurves(const std::vector<double>& output, const std::vector<double>& reference,
                          int lagBlocks, int first, double blockSeconds, double floorLufs = -70.0);

// "-23.0 LUFS" or "-inf" for silence.
std::string FormatLufs(double lufs);
