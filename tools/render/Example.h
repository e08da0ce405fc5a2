#pragma once
// The built-in example that zt-render runs when it is given no files: a synthetic reference and
// input, the same on every machine (fixed seeds, no library random distributions).

#include <cstddef>
#include <cstdint>
#include <vector>

struct ExampleSignals {
  int rate = 48000;
  int channels = 2;
  double leadingSilenceSeconds = 0.0;
  std::vector<double> reference; // interleaved stereo
  std::vector<double> input;     // interleaved stereo, the same length
};

// Reference: speech-like phrases (a buzzing voice through moving formants, with short pauses
// over a quiet room tone), integrated loudness -16 LUFS. Input: music-like (plucked chords,
// bass, kick and hi-hat at 100 bpm) after 1.5 s of digital silence, in three sections at about
// -30, -22 and -36 LUFS. 20 s at 48 kHz, stereo.
ExampleSignals SynthesizeExample();

// The example's two kinds of material at any length, interleaved stereo at full level (not
// calibrated). Speech-like: phrases of syllables separated by pauses of pauseMin to pauseMax
// seconds, over a quiet room tone. Music-like: 100 bpm from the end of leadingSilence seconds
// of digital silence. The same seed gives the same samples on every machine.
std::vector<double> SynthesizeSpeechLike(int rate, double seconds, uint64_t seed, double pauseMin,
                                         double pauseMax);
std::vector<double> SynthesizeMusicLike(int rate, double seconds, uint64_t seed,
                                        double leadingSilence);

// The example's random numbers (xorshift64*): the same on every compiler and platform, for any
// material that must be.
class Random {
public:
  explicit Random(uint64_t seed) : s_(seed ? seed : 1) {}
  uint64_t Next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 2685821657736338717ull;
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  double Noise() { return 2.0 * Uniform() - 1.0; } // -1 to 1

private:
  uint64_t s_;
};

// Integrated loudness of interleaved stereo frames (for calibrating the example).
double IntegratedLoudness(const double* interleaved, size_t frames, int rate);
