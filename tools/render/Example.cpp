#include "tools/render/Example.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include <ebur128.h>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kSeconds = 20.0;
constexpr double kSilence = 1.5;

// RBJ band-pass (0 dB peak), re-tunable while running.
struct BandPass {
  double b0 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  void Tune(double freq, double q, double rate) {
    const double w = 2.0 * kPi * freq / rate, alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    b0 = alpha / a0;
    b2 = -alpha / a0;
    a1 = -2.0 * std::cos(w) / a0;
    a2 = (1.0 - alpha) / a0;
  }
  double Run(double x) {
    const double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

struct OnePole {
  double a = 0, y = 0;
  void LowPass(double freq, double rate) { a = std::exp(-2.0 * kPi * freq / rate); }
  double Run(double x) { return y = (1.0 - a) * x + a * y; }
};

double DbToGain(double db) {
  return std::pow(10.0, db / 20.0);
}

void Scale(std::vector<double>& v, double gain) {
  for (double& x : v)
    x *= gain;
}

// --- the speech-like reference ---

struct Syllable {
  double start, length, level;
  int vowel;
  bool fricative;
};

// Phrases of words of syllables, separated by pauses of pauseMin to pauseMax seconds.
std::vector<Syllable> SpeechScript(Random& rnd, double seconds, double pauseMin, double pauseMax) {
  std::vector<Syllable> syllables;
  double t = 0.25;
  while (t < seconds - 0.5) {
    const double phraseLevel = rnd.Range(-3.5, 3.0);
    const int words = 2 + static_cast<int>(rnd.Uniform() * 4.0);
    for (int w = 0; w < words && t < seconds - 0.5; ++w) {
      const int count = 1 + static_cast<int>(rnd.Uniform() * 3.0);
      for (int s = 0; s < count; ++s) {
        const double len = rnd.Range(0.12, 0.27);
        syllables.push_back({t, len, phraseLevel + rnd.Range(-2.5, 1.5),
                             static_cast<int>(rnd.Uniform() * 5.0), rnd.Uniform() < 0.3});
        t += len + rnd.Range(0.0, 0.03);
      }
      t += rnd.Range(0.03, 0.09); // between words
    }
    t += rnd.Range(pauseMin, pauseMax); // between phrases
  }
  return syllables;
}

} // namespace

// A buzz through two formant filters gliding between vowels, with a hiss at fricative onsets.
std::vector<double> SynthesizeSpeechLike(int rate, double seconds, uint64_t seed, double pauseMin,
                                         double pauseMax) {
  const size_t frames = static_cast<size_t>(seconds * rate);
  std::vector<double> out(2 * frames, 0.0);
  Random rnd(seed);
  const std::vector<Syllable> syllables = SpeechScript(rnd, seconds, pauseMin, pauseMax);

  // Vowel formants (F1, F2) of a, e, i, o, u.
  const double formants[5][2] = {{780, 1250}, {450, 1950}, {310, 2250}, {520, 900}, {360, 780}};
  BandPass f1, f2, fric;
  fric.Tune(4200.0, 1.2, rate);
  OnePole soften, roomL, roomR;
  soften.LowPass(3500.0, rate);
  roomL.LowPass(900.0, rate);
  roomR.LowPass(900.0, rate);
  double phase = 0.0, curF1 = 500, curF2 = 1500;
  size_t next = 0;
  const Syllable* active = nullptr;
  for (size_t k = 0; k < frames; ++k) {
    const double time = static_cast<double>(k) / rate;
    while (next < syllables.size() && syllables[next].start <= time)
      active = &syllables[next++];
    double env = 0.0, fricEnv = 0.0;
    int vowel = 0;
    double level = 0.0;
    if (active && time < active->start + active->length) {
      const double x = (time - active->start) / active->length;
      env = std::pow(std::sin(kPi * x), 1.3);
      if (active->fricative && time - active->start < 0.06)
        fricEnv = 0.5 * (1.0 - (time - active->start) / 0.06);
      vowel = active->vowel;
      level = DbToGain(active->level);
    } else if (active) {
      vowel = active->vowel;
    }
    // Formants glide towards the vowel's; re-tune every 32 samples.
    if (k % 32 == 0) {
      const double glide = 0.08;
      curF1 += glide * (formants[vowel][0] - curF1);
      curF2 += glide * (formants[vowel][1] - curF2);
      f1.Tune(curF1, 5.0, rate);
      f2.Tune(curF2, 7.0, rate);
    }
    const double f0 = 128.0 + 22.0 * std::sin(2.0 * kPi * 0.23 * time) + 14.0 * env;
    phase += f0 / rate;
    phase -= std::floor(phase);
    const double buzz = soften.Run(2.0 * phase - 1.0) + 0.08 * rnd.Noise();
    const double voice = env * level * (f1.Run(buzz) + 0.55 * f2.Run(buzz));
    const double hiss = fricEnv * level * fric.Run(rnd.Noise());
    // A quiet room under the voice, different in each channel.
    out[2 * k] = voice + hiss + 0.018 * roomL.Run(rnd.Noise());
    out[2 * k + 1] = voice + hiss + 0.018 * roomR.Run(rnd.Noise());
  }
  return out;
}

namespace {

// --- the music-like input ---

void AddTone(std::vector<double>& out, int rate, double start, double midi, double amp,
             double decay, double pan) {
  const double freq = 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
  const size_t frames = out.size() / 2;
  const size_t from = static_cast<size_t>(start * rate);
  const size_t len = static_cast<size_t>(5.0 * decay * rate);
  const double gl = std::cos((pan + 1.0) * kPi / 4.0), gr = std::sin((pan + 1.0) * kPi / 4.0);
  const double partials[] = {1.0, 0.45, 0.25, 0.12, 0.06};
  for (size_t i = 0; i < len && from + i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double env = std::min(1.0, t / 0.004) * std::exp(-t / decay);
    double s = 0.0;
    for (int p = 0; p < 5; ++p)
      s += partials[p] * std::exp(-t * p * 1.5) * std::sin(2.0 * kPi * freq * (p + 1) * t);
    out[2 * (from + i)] += amp * env * gl * s;
    out[2 * (from + i) + 1] += amp * env * gr * s;
  }
}

// A sustained tone with slow attack and release over `length` seconds.
void AddPad(std::vector<double>& out, int rate, double start, double length, double midi,
            double amp, double pan) {
  const double freq = 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
  const size_t frames = out.size() / 2;
  const size_t from = static_cast<size_t>(start * rate);
  const size_t len = static_cast<size_t>((length + 0.3) * rate);
  const double gl = std::cos((pan + 1.0) * kPi / 4.0), gr = std::sin((pan + 1.0) * kPi / 4.0);
  for (size_t i = 0; i < len && from + i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double env =
        std::min(1.0, t / 0.15) * (t > length ? std::exp(-(t - length) / 0.08) : 1.0);
    const double s = std::sin(2.0 * kPi * freq * t) + 0.3 * std::sin(2.0 * kPi * 2.0 * freq * t) +
                     0.2 * std::sin(2.0 * kPi * 1.003 * freq * t);
    out[2 * (from + i)] += amp * env * gl * s;
    out[2 * (from + i) + 1] += amp * env * gr * s;
  }
}

void AddKick(std::vector<double>& out, int rate, double start, double amp) {
  const size_t frames = out.size() / 2;
  const size_t from = static_cast<size_t>(start * rate);
  double phase = 0.0;
  for (size_t i = 0; i < static_cast<size_t>(0.5 * rate) && from + i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    phase += (50.0 + 90.0 * std::exp(-t / 0.04)) / rate;
    const double s = amp * std::exp(-t / 0.13) * std::sin(2.0 * kPi * phase);
    out[2 * (from + i)] += s;
    out[2 * (from + i) + 1] += s;
  }
}

void AddNoiseHit(std::vector<double>& out, int rate, double start, double amp, double decay,
                 double centre, double q, Random& rnd) {
  const size_t frames = out.size() / 2;
  const size_t from = static_cast<size_t>(start * rate);
  BandPass bl, br;
  bl.Tune(centre, q, rate);
  br.Tune(centre, q, rate);
  for (size_t i = 0; i < static_cast<size_t>(6.0 * decay * rate) && from + i < frames; ++i) {
    const double env = amp * std::exp(-static_cast<double>(i) / rate / decay);
    out[2 * (from + i)] += env * bl.Run(rnd.Noise());
    out[2 * (from + i) + 1] += env * br.Run(rnd.Noise());
  }
}

} // namespace

std::vector<double> SynthesizeMusicLike(int rate, double seconds, uint64_t seed,
                                        double leadingSilence) {
  const size_t frames = static_cast<size_t>(seconds * rate);
  std::vector<double> out(2 * frames, 0.0);
  Random rnd(seed);
  const double beat = 0.6; // 100 bpm
  // Am, F, C, G: bass note, then three chord tones.
  const int chords[4][4] = {{45, 57, 60, 64}, {41, 53, 57, 60}, {48, 55, 60, 64}, {43, 55, 59, 62}};
  const int beats = static_cast<int>((seconds - leadingSilence) / beat) + 1;
  for (int b = 0; b < beats; ++b) {
    const double t = leadingSilence + b * beat;
    const int* chord = chords[(b / 4) % 4];
    const int inBar = b % 4;
    if (inBar == 0 || inBar == 2) {
      AddTone(out, rate, t, chord[0], 0.3, 0.9, 0.0);
      AddKick(out, rate, t, 0.3);
    } else {
      AddNoiseHit(out, rate, t, 0.3, 0.07, 1800.0, 0.8, rnd); // snare-like
    }
    for (int n = 1; n < 4; ++n)
      AddTone(out, rate, t + 0.012 * n, chord[n], 0.22, 0.45, n == 1 ? -0.45 : n == 2 ? 0.1 : 0.5);
    AddNoiseHit(out, rate, t, 0.18, 0.022, 8000.0, 1.5, rnd);
    AddNoiseHit(out, rate, t + beat / 2, 0.12, 0.022, 8000.0, 1.5, rnd);
    // A soft pad an octave up holds the harmony between the hits.
    if (inBar == 0)
      for (int n = 1; n < 4; ++n)
        AddPad(out, rate, t, 4 * beat, chord[n] + 12, 0.08, n == 1 ? 0.6 : n == 2 ? -0.6 : 0.0);
  }
  // Fade in over the first 5 ms so that the first sound is a note, not a click.
  for (size_t k = 0; k < frames; ++k) {
    const double t = static_cast<double>(k) / rate;
    if (t < leadingSilence) {
      out[2 * k] = out[2 * k + 1] = 0.0;
    } else if (t < leadingSilence + 0.005) {
      const double g = (t - leadingSilence) / 0.005;
      out[2 * k] *= g;
      out[2 * k + 1] *= g;
    }
  }
  return out;
}

namespace {

// Section levels of the input relative to its first section, with 200 ms ramps in dB.
double SectionDb(double t) {
  struct Step {
    double at, db;
  };
  const Step steps[] = {{8.0, 8.0}, {14.0, -6.0}};
  double db = 0.0, from = 0.0;
  for (const Step& s : steps) {
    if (t >= s.at + 0.2)
      db = s.db;
    else if (t >= s.at)
      db = from + (s.db - from) * (t - s.at) / 0.2;
    else
      break;
    from = s.db;
  }
  return db;
}

} // namespace

double IntegratedLoudness(const double* interleaved, size_t frames, int rate) {
  ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_I);
  if (!st) return -HUGE_VAL;
  ebur128_add_frames_double(st, interleaved, frames);
  double v = -HUGE_VAL;
  ebur128_loudness_global(st, &v);
  ebur128_destroy(&st);
  return v;
}

ExampleSignals SynthesizeExample() {
  ExampleSignals ex;
  ex.rate = 48000;
  ex.channels = 2;
  ex.leadingSilenceSeconds = kSilence;

  ex.reference = SynthesizeSpeechLike(ex.rate, kSeconds, 0x5eed5eedull, 0.12, 0.28);
  const size_t frames = ex.reference.size() / 2;
  Scale(ex.reference, DbToGain(-16.0 - IntegratedLoudness(ex.reference.data(), frames, ex.rate)));

  ex.input = SynthesizeMusicLike(ex.rate, kSeconds, 0xc0ffee11ull, kSilence);
  // The first section (until 8 s) at -30 LUFS, then +8 dB and -6 dB from there.
  const size_t a0 = static_cast<size_t>(kSilence * ex.rate), a1 = static_cast<size_t>(8 * ex.rate);
  Scale(ex.input, DbToGain(-30.0 - IntegratedLoudness(ex.input.data() + 2 * a0, a1 - a0, ex.rate)));
  for (size_t k = 0; k < frames; ++k) {
    const double g = DbToGain(SectionDb(static_cast<double>(k) / ex.rate));
    ex.input[2 * k] *= g;
    ex.input[2 * k + 1] *= g;
  }
  return ex;
}
