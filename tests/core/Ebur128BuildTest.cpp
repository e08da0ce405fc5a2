// The libebur128 we build (scripts/deps.sh: Debian's source, compiled so that its sums are
// vectorised) against Debian's own build of the same source, side by side in one process:
// reassociated sums may differ in the last bits, never by more than 1e-9 LU.
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/DebianEbur128.h"
#include "tests/support/Signals.h"

namespace {

constexpr double kTolerance = 1e-9;

struct Fixture {
  const char* name;
  int rate;
  int channels;
  double seconds;
  // Sample k of channel c.
  std::function<double(long k, int c)> sample;
};

// White noise whose level steps through 24 dB every 2 s, starting after 1.5 s of silence.
double SteppedNoise(Noise& noise, long k, int rate) {
  const double t = static_cast<double>(k) / rate;
  if (t < 1.5) return 0.0;
  const int step = static_cast<int>((t - 1.5) / 2.0) % 5;
  return DbToRatio(-6.0 * step - 6.0) * noise.Next();
}

std::vector<Fixture> Fixtures() {
  auto noise = std::make_shared<Noise>(777);
  auto noise2 = std::make_shared<Noise>(4242);
  return {
      {"stepped noise, stereo, 48 kHz, 40 s", 48000, 2, 40.0,
       [noise](long k, int) { return SteppedNoise(*noise, k, 48000); }},
      {"1 kHz sine at -23 dBFS, stereo, 44.1 kHz, 12 s", 44100, 2, 12.0,
       [](long k, int c) {
         return DbToRatio(-23.0) * std::sin(2 * std::numbers::pi * 1000.0 * k / 44100.0 + c * 0.3);
       }},
      {"noise, mono, 96 kHz, 8 s", 96000, 1, 8.0,
       [noise2](long, int) { return 0.3 * noise2->Next(); }},
      {"stepped noise, stereo, 192 kHz, 10 s", 192000, 2, 10.0,
       [noise](long k, int) { return SteppedNoise(*noise, k, 192000); }},
  };
}

// Both builds fed the same interleaved blocks; `compare` sees each block's answers.
struct Pair {
  Pair(const DebianEbur128& debian, const Fixture& f, int mode)
      : debian_(debian), channels(f.channels) {
    ours =
        ebur128_init(static_cast<unsigned>(f.channels), static_cast<unsigned long>(f.rate), mode);
    theirs =
        debian.init(static_cast<unsigned>(f.channels), static_cast<unsigned long>(f.rate), mode);
  }
  ~Pair() {
    ebur128_destroy(&ours);
    debian_.destroy(&theirs);
  }
  Pair(const Pair&) = delete;
  Pair& operator=(const Pair&) = delete;
  void Add(const std::vector<double>& interleaved, int frames) {
    ASSERT_EQ(ebur128_add_frames_double(ours, interleaved.data(), static_cast<size_t>(frames)),
              EBUR128_SUCCESS);
    ASSERT_EQ(debian_.add_frames_double(theirs, interleaved.data(), static_cast<size_t>(frames)),
              EBUR128_SUCCESS);
  }
  const DebianEbur128& debian_;
  int channels;
  ebur128_state* ours = nullptr;
  ebur128_state* theirs = nullptr;
};

void ExpectAgree(double ours, double theirs, const std::string& where) {
  if (std::isinf(ours) || std::isinf(theirs)) {
    EXPECT_EQ(ours, theirs) << where;
  } else {
    EXPECT_NEAR(ours, theirs, kTolerance) << where;
  }
}

class Ebur128Build : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(debian_.Error(), ""); }

  // Runs a fixture through both builds in blocks of `frames`; after every block both are asked
  // through `query` (ebur128_loudness_momentary or _global) and must agree.
  void Run(int mode, int frames, bool momentary) {
    for (const Fixture& f : Fixtures()) {
      SCOPED_TRACE(f.name);
      Pair pair(debian_, f, mode);
      ASSERT_NE(pair.ours, nullptr);
      ASSERT_NE(pair.theirs, nullptr);
      const long total = static_cast<long>(f.seconds * f.rate);
      std::vector<double> block(static_cast<size_t>(frames) * f.channels);
      int finite = 0;
      for (long start = 0; start + frames <= total; start += frames) {
        for (int k = 0; k < frames; ++k)
          for (int c = 0; c < f.channels; ++c)
            block[static_cast<size_t>(k) * f.channels + c] = f.sample(start + k, c);
        pair.Add(block, frames);
        if (HasFailure()) return;
        double ours = 0, theirs = 0;
        if (momentary) {
          ASSERT_EQ(ebur128_loudness_momentary(pair.ours, &ours), EBUR128_SUCCESS);
          ASSERT_EQ(debian_.loudness_momentary(pair.theirs, &theirs), EBUR128_SUCCESS);
        } else {
          ASSERT_EQ(ebur128_loudness_global(pair.ours, &ours), EBUR128_SUCCESS);
          ASSERT_EQ(debian_.loudness_global(pair.theirs, &theirs), EBUR128_SUCCESS);
        }
        ExpectAgree(ours, theirs, "after frame " + std::to_string(start + frames));
        if (HasFailure()) return;
        if (std::isfinite(ours)) ++finite;
      }
      // The fixtures are loud most of the time: the comparisons were of real values.
      EXPECT_GT(finite, 0);
    }
  }

  DebianEbur128 debian_;
};

TEST_F(Ebur128Build, MomentaryLoudnessAgreesWithDebiansBuild) {
  for (int frames : {64, 480, 4096}) {
    SCOPED_TRACE("blocks of " + std::to_string(frames));
    Run(EBUR128_MODE_M, frames, true);
  }
}

TEST_F(Ebur128Build, IntegratedLoudnessAgreesWithDebiansBuild) {
  Run(EBUR128_MODE_I, 4800, false);
}

TEST_F(Ebur128Build, HistogramIntegratedLoudnessAgreesWithDebiansBuild) {
  Run(EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM, 4800, false);
}

} // namespace
