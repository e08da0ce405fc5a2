// match_quality: how well the receiver makes its track follow a reference, on material that
// behaves like real tracks. Each case renders an input against a reference through the sender
// and receiver plug-ins exactly as zt-render does (the sender's module on the reference, the
// receiver's on the input, block by block in lock-step), then compares the loudness of the
// output with the reference's and with what one static gain would have given.
//
// Run by hand or through scripts/match-quality.sh, which makes real speech with espeak-ng first.
// It is a benchmark, not a test: it prints figures and fails only when it cannot render.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <ebur128.h>

#include "tools/render/AudioFile.h"
#include "tools/render/Example.h"
#include "tools/render/Render.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 48000;
constexpr double kNegInf = -std::numeric_limits<double>::infinity();

double DbToGain(double db) {
  return std::pow(10.0, db / 20.0);
}

// Stereo pink noise (independent channels) at an RMS of rmsDb dBFS in each channel.
std::vector<double> PinkNoise(double seconds, double rmsDb, uint64_t seed) {
  const size_t frames = static_cast<size_t>(seconds * kRate);
  std::vector<double> out(2 * frames);
  Random rnd(seed);
  for (int c = 0; c < 2; ++c) {
    double b0 = 0, b1 = 0, b2 = 0; // a three-pole approximation of a -3 dB/octave slope
    for (size_t k = 0; k < frames; ++k) {
      const double w = rnd.Noise();
      b0 = 0.99765 * b0 + w * 0.0990460;
      b1 = 0.96300 * b1 + w * 0.2965164;
      b2 = 0.57000 * b2 + w * 1.0526913;
      out[2 * k + c] = b0 + b1 + b2 + w * 0.1848;
    }
  }
  double sum = 0.0;
  for (double x : out)
    sum += x * x;
  const double rms = std::sqrt(sum / static_cast<double>(out.size()));
  for (double& x : out)
    x *= DbToGain(rmsDb) / rms;
  return out;
}

double Integrated(const std::vector<double>& x) {
  return IntegratedLoudness(x.data(), x.size() / 2, kRate);
}

void ScaleTo(std::vector<double>& x, double lufs) {
  const double g = DbToGain(lufs - Integrated(x));
  for (double& v : x)
    v *= g;
}

void Mix(std::vector<double>& into, const std::vector<double>& add) {
  for (size_t k = 0; k < into.size() && k < add.size(); ++k)
    into[k] += add[k];
}

// Speech from recorded sentences (files of 48 kHz audio, one sentence each, as
// scripts/match-quality.sh makes them with espeak-ng), laid out as a voice-over is: sentences in
// turn with pauses of 0.35 to 2 s between them, over a room tone (roomDb dBFS) that never stops.
// The voice alone is brought to `lufs`.
bool SpeechFromSentences(const std::vector<std::string>& files, double seconds, double lufs,
                         double roomDb, std::vector<double>* out, std::string* error) {
  std::vector<std::vector<double>> sentences;
  for (const std::string& path : files) {
    AudioReader r;
    if (!r.Open(path, error)) return false;
    if (r.Info().rate != kRate || r.Info().channels < 1 || r.Info().channels > 2) {
      *error = path + ": needs 48000 Hz, mono or stereo";
      return false;
    }
    const int ch = r.Info().channels;
    std::vector<double> raw(static_cast<size_t>(r.Info().frames) * ch);
    raw.resize(static_cast<size_t>(r.Read(raw.data(), r.Info().frames)) * ch);
    std::vector<double> mono(raw.size() / ch);
    for (size_t k = 0; k < mono.size(); ++k)
      mono[k] = ch == 1 ? raw[k] : 0.5 * (raw[2 * k] + raw[2 * k + 1]);
    // The synthesiser's own silence before and after the sentence goes; our pauses replace it.
    size_t a = 0, b = mono.size();
    while (a < b && std::fabs(mono[a]) < 1e-3)
      ++a;
    while (b > a && std::fabs(mono[b - 1]) < 1e-3)
      --b;
    if (b > a) sentences.emplace_back(mono.begin() + a, mono.begin() + b);
  }
  if (sentences.empty()) {
    *error = "no speech in the sentence files";
    return false;
  }
  const size_t frames = static_cast<size_t>(seconds * kRate);
  std::vector<double> voice(2 * frames, 0.0);
  const double pauses[] = {0.45, 1.2, 0.7, 2.0, 0.35, 1.5, 0.9, 0.55};
  size_t at = static_cast<size_t>(0.6 * kRate), n = 0;
  while (at < frames) {
    const std::vector<double>& s = sentences[n % sentences.size()];
    for (size_t k = 0; k < s.size() && at + k < frames; ++k)
      voice[2 * (at + k)] = voice[2 * (at + k) + 1] = s[k];
    at += s.size() + static_cast<size_t>(pauses[n % std::size(pauses)] * kRate);
    ++n;
  }
  ScaleTo(voice, lufs);
  Mix(voice, PinkNoise(seconds, roomDb, 0x7007));
  *out = std::move(voice);
  return true;
}

// The project's synthetic speech-like signal with pauses of 0.3 to 1.5 s (its own room tone).
std::vector<double> SpeechLike(double seconds, double lufs, uint64_t seed) {
  std::vector<double> v = SynthesizeSpeechLike(kRate, seconds, seed, 0.3, 1.5);
  ScaleTo(v, lufs);
  return v;
}

std::vector<double> Music(double seconds, double lufs, uint64_t seed) {
  std::vector<double> v = SynthesizeMusicLike(kRate, seconds, seed, 0.0);
  ScaleTo(v, lufs);
  return v;
}

// `seconds` of music from `skip` seconds into the song on.
std::vector<double> MusicFrom(double seconds, double skip, double lufs, uint64_t seed) {
  std::vector<double> v = SynthesizeMusicLike(kRate, seconds + skip, seed, 0.0);
  v.erase(v.begin(), v.begin() + 2 * static_cast<ptrdiff_t>(skip * kRate));
  ScaleTo(v, lufs);
  return v;
}

// A kick every 0.5 s (a falling sine, 120 ms), a snare between (noise, 80 ms), and a pad 18 dB
// under the kick's level, brought to `lufs`.
std::vector<double> Drums(double seconds, double lufs, uint64_t seed) {
  const size_t frames = static_cast<size_t>(seconds * kRate);
  std::vector<double> v(2 * frames);
  Random rnd(seed);
  double phase = 0.0;
  for (size_t k = 0; k < frames; ++k) {
    const double t = static_cast<double>(k) / kRate;
    const double beat = std::fmod(t, 0.5), off = std::fmod(t + 0.25, 0.5);
    phase += (45.0 + 80.0 * std::exp(-beat / 0.03)) / kRate;
    const double kick = std::exp(-beat / 0.12) * std::sin(2.0 * 3.141592653589793 * phase);
    const double pad = 0.125 * (std::sin(2.0 * 3.141592653589793 * 220.0 * t) +
                                0.5 * std::sin(2.0 * 3.141592653589793 * 330.0 * t));
    for (int c = 0; c < 2; ++c)
      v[2 * k + c] = kick + 0.6 * std::exp(-off / 0.08) * rnd.Noise() + pad;
  }
  ScaleTo(v, lufs);
  return v;
}

// Noise bursts every 0.5 s that die away with a 30 ms time constant over a floor 70 dB down.
std::vector<double> SparseHits(double seconds, double lufs, uint64_t seed) {
  const size_t frames = static_cast<size_t>(seconds * kRate);
  std::vector<double> v(2 * frames);
  Random rnd(seed);
  for (size_t k = 0; k < frames; ++k) {
    const double t = std::fmod(static_cast<double>(k) / kRate, 0.5);
    const double env = std::exp(-t / 0.03) + 0.0003;
    v[2 * k] = env * rnd.Noise();
    v[2 * k + 1] = env * rnd.Noise();
  }
  ScaleTo(v, lufs);
  return v;
}

// Multiplies the signal from each step's time on by its gain in dB (sudden steps).
void ApplySteps(std::vector<double>& x, const std::vector<std::pair<double, double>>& steps) {
  for (size_t k = 0; k < x.size() / 2; ++k) {
    const double t = static_cast<double>(k) / kRate;
    double db = 0.0;
    for (const auto& [at, level] : steps)
      if (t >= at) db = level;
    x[2 * k] *= DbToGain(db);
    x[2 * k + 1] *= DbToGain(db);
  }
}

struct Case {
  std::string name;
  std::string what;
  std::vector<double> input, reference; // interleaved stereo
  std::vector<double> events;           // seconds at which the input or the reference steps
};

// Loudness curves on the plug-in's block grid: momentary (400 ms) and short-term (3 s) after
// every block, integrated and sample peak of the whole.
struct Curves {
  std::vector<double> momentary, shortTerm;
  double integrated = kNegInf;
  double peakDb = kNegInf;
};

Curves Measure(const std::vector<double>& x, int block) {
  Curves c;
  ebur128_state* st = ebur128_init(2, kRate, EBUR128_MODE_S | EBUR128_MODE_I);
  const size_t frames = x.size() / 2;
  double peak = 0.0;
  for (double v : x)
    peak = std::max(peak, std::fabs(v));
  c.peakDb = 20.0 * std::log10(peak);
  for (size_t at = 0; at < frames; at += block) {
    const size_t n = std::min<size_t>(block, frames - at);
    ebur128_add_frames_double(st, x.data() + 2 * at, n);
    double m = kNegInf, s = kNegInf;
    ebur128_loudness_momentary(st, &m);
    ebur128_loudness_shortterm(st, &s);
    c.momentary.push_back(m);
    c.shortTerm.push_back(s);
  }
  ebur128_loudness_global(st, &c.integrated);
  ebur128_destroy(&st);
  return c;
}

struct Spread {
  double mean = NAN, p95 = NAN;
  int count = 0;
};

Spread Summarise(std::vector<double> d) {
  Spread s;
  s.count = static_cast<int>(d.size());
  if (d.empty()) return s;
  double sum = 0.0;
  for (double v : d)
    sum += v;
  s.mean = sum / static_cast<double>(d.size());
  std::sort(d.begin(), d.end());
  s.p95 = d[std::min(d.size() - 1, static_cast<size_t>(0.95 * static_cast<double>(d.size())))];
  return s;
}

struct Figures {
  Spread shortTerm, momentary, staticShortTerm;
  double integratedDiff = NAN;
  double peakDb = NAN, staticPeakDb = NAN;
  double settle = NAN; // the longest settling over the case's events; inf when one never settled
  double largestStep = NAN; // the largest change of the gain from one block to the next, dB
};

// The gain of each block (output over input at the block's largest input sample) changes by at
// most this much from block to block, where the input is above -60 dBFS in both: a large step in
// the middle of a sound is a click.
double LargestGainStep(const std::vector<double>& input, const std::vector<double>& output,
                       int block) {
  double largest = 0.0, last = NAN;
  for (size_t at = 0; at + block <= input.size() / 2; at += block) {
    size_t loudest = at;
    for (size_t k = at; k < at + block; ++k)
      if (std::fabs(input[2 * k]) > std::fabs(input[2 * loudest])) loudest = k;
    const double x = input[2 * loudest];
    if (std::fabs(x) < 1e-3) {
      last = NAN;
      continue;
    }
    const double gainDb = 20.0 * std::log10(std::fabs(output[2 * loudest] / x));
    if (!std::isnan(last)) largest = std::max(largest, std::fabs(gainDb - last));
    last = gainDb;
  }
  return largest;
}

// One line per block: the time at its end, the momentary and short-term loudness of input,
// reference (as the receiver follows it) and output, and the output's sample peak in the block.
bool WriteCurves(const std::string& path, const Curves& in, const Curves& ref, const Curves& out,
                 const std::vector<double>& output, int block, int lag) {
  FILE* f = fopen(path.c_str(), "w");
  if (!f) return false;
  fprintf(f, "seconds,m_in,m_ref,m_out,s_in,s_ref,s_out,peak_out\n");
  for (size_t k = 0; k < out.momentary.size(); ++k) {
    const int r = static_cast<int>(k) - lag;
    double peak = 0.0;
    for (size_t i = 2 * k * block; i < std::min(output.size(), 2 * (k + 1) * block); ++i)
      peak = std::max(peak, std::fabs(output[i]));
    fprintf(f, "%.4f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f\n",
            static_cast<double>((k + 1) * block) / kRate, in.momentary[k],
            r >= 0 ? ref.momentary[r] : kNegInf, out.momentary[k], in.shortTerm[k],
            r >= 0 ? ref.shortTerm[r] : kNegInf, out.shortTerm[k], 20.0 * std::log10(peak));
  }
  return fclose(f) == 0;
}

// Output block k follows reference block k - lag (the receiver's delay after leading silence).
Figures Evaluate(const Case& c, const std::vector<double>& output, int block, int lag,
                 const std::string& curvesPath) {
  const Curves in = Measure(c.input, block), ref = Measure(c.reference, block),
               out = Measure(output, block);
  if (!curvesPath.empty()) WriteCurves(curvesPath, in, ref, out, output, block, lag);
  const double staticDb = ref.integrated - in.integrated;
  const double blockSeconds = static_cast<double>(block) / kRate;
  const int first = static_cast<int>(std::ceil(3.0 / blockSeconds));
  std::vector<double> st, stStatic, mom;
  for (int k = std::max(first, lag); k < static_cast<int>(out.momentary.size()); ++k) {
    const int r = k - lag;
    if (out.shortTerm[k] > -70.0 && ref.shortTerm[r] > -70.0) {
      st.push_back(std::fabs(out.shortTerm[k] - ref.shortTerm[r]));
      stStatic.push_back(std::fabs(in.shortTerm[k] + staticDb - ref.shortTerm[r]));
    }
    // Momentary loudness is compared where both tracks play: within 20 LU of their own
    // integrated loudness, as the relative gate of the integrated measurement counts them.
    if (in.momentary[k] > in.integrated - 20.0 && ref.momentary[r] > ref.integrated - 20.0)
      mom.push_back(std::fabs(out.momentary[k] - ref.momentary[r]));
  }
  Figures f;
  f.shortTerm = Summarise(st);
  f.staticShortTerm = Summarise(stStatic);
  f.momentary = Summarise(mom);
  f.integratedDiff = out.integrated - ref.integrated;
  f.peakDb = out.peakDb;
  f.largestStep = LargestGainStep(c.input, output, block);
  f.staticPeakDb = in.peakDb + staticDb;

  // Settling: from each event to the first block from which the output's momentary loudness,
  // averaged over the next 0.5 s (drums make it swing by a few LU either way within a beat),
  // stays within 1 LU of the reference's for the next 1 s (or until the next event).
  if (!c.events.empty()) {
    f.settle = 0.0;
    const int n = static_cast<int>(out.momentary.size());
    const int span = std::max(1, static_cast<int>(0.5 / blockSeconds));
    const int watch = static_cast<int>(1.0 / blockSeconds);
    auto meanDiff = [&](int k) {
      double sum = 0.0;
      int count = 0;
      for (int i = k; i < k + span && i < n; ++i) {
        const int r = i - lag;
        if (r < 0 || !(out.momentary[i] > -70.0) || !(ref.momentary[r] > -70.0)) continue;
        sum += out.momentary[i] - ref.momentary[r];
        ++count;
      }
      return count ? sum / count : 0.0;
    };
    for (size_t e = 0; e < c.events.size(); ++e) {
      const int from = static_cast<int>(c.events[e] / blockSeconds);
      const int until =
          (e + 1 < c.events.size() ? static_cast<int>(c.events[e + 1] / blockSeconds) : n) - span;
      double settled = HUGE_VAL;
      for (int b = from; b < until; ++b) {
        bool stays = true;
        for (int k = b; k < std::min(until, b + watch) && stays; ++k)
          stays = std::fabs(meanDiff(k)) <= 1.0;
        if (stays) {
          settled = (b - from) * blockSeconds;
          break;
        }
      }
      f.settle = std::max(f.settle, settled);
    }
  }
  return f;
}

bool WriteWav(const std::string& path, const std::vector<double>& x, std::string* error) {
  AudioWriter w;
  AudioInfo info;
  info.rate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  return w.Open(path, info, error) &&
         w.Write(x.data(), static_cast<int64_t>(x.size() / 2), error) && w.Commit(error);
}

bool ReadWav(const std::string& path, std::vector<double>* x, std::string* error) {
  AudioReader r;
  if (!r.Open(path, error)) return false;
  x->assign(static_cast<size_t>(r.Info().frames) * 2, 0.0);
  x->resize(static_cast<size_t>(r.Read(x->data(), r.Info().frames)) * 2);
  return true;
}

struct Options {
  std::string plugin = ZT_VST2_MODULE, sender = ZT_SEND_MODULE;
  bool aax = false;
  std::vector<int> blocks = {512, 64};
  std::string outDir = "match-quality";
  std::string speechDir; // sentence files; empty: the synthetic speech-like signal stands in
  std::string only;      // one case by name
  bool curves = false;   // write each render's loudness curves as CSV beside it
};

std::vector<Case> MakeCases(const Options& o, std::string* error) {
  std::vector<std::string> sentences;
  if (!o.speechDir.empty()) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(o.speechDir, ec))
      if (entry.path().extension() == ".wav") sentences.push_back(entry.path().string());
    std::sort(sentences.begin(), sentences.end());
    if (sentences.empty()) {
      *error = "no .wav sentences in " + o.speechDir;
      return {};
    }
  }
  auto speech = [&](double seconds, double lufs, uint64_t seed, std::vector<double>* out,
                    double roomDb = -60.0) {
    if (sentences.empty()) {
      *out = SpeechLike(seconds, lufs, seed);
      return true;
    }
    return SpeechFromSentences(sentences, seconds, lufs, roomDb, out, error);
  };
  const std::string voice = sentences.empty() ? "synthetic speech-like" : "espeak-ng speech";

  std::vector<Case> cases;
  {
    Case c{"speech-in",
           voice + " with pauses at -27 LUFS against music-like at -14 LUFS",
           {},
           Music(40.0, -14.0, 0xbeef01),
           {}};
    if (!speech(40.0, -27.0, 0x5eed01, &c.input)) return {};
    cases.push_back(std::move(c));
  }
  if (!sentences.empty()) {
    // A noisy room: its tone only about 20 LU below the voice.
    Case c{"noisyroom-in",
           voice + " over a -45 dBFS room tone, against music-like at -14 LUFS",
           {},
           Music(40.0, -14.0, 0xbeef07),
           {}};
    if (!speech(40.0, -27.0, 0x5eed07, &c.input, -45.0)) return {};
    cases.push_back(std::move(c));
    // The synthetic voice as well, so that a change is seen on two voices.
    cases.push_back({"speechlike-in",
                     "synthetic speech-like with pauses at -27 LUFS against music-like at -14 LUFS",
                     SpeechLike(40.0, -27.0, 0x5eed02),
                     Music(40.0, -14.0, 0xbeef02),
                     {}});
  }
  {
    Case c{"music-in",
           "music-like at -26 LUFS against " + voice + " at -16 LUFS",
           Music(40.0, -26.0, 0xbeef03),
           {},
           {}};
    if (!speech(40.0, -16.0, 0x5eed03, &c.reference)) return {};
    cases.push_back(std::move(c));
  }
  {
    Case c{"steps",
           "music-like stepping +12, -18, +12 dB at 10, 20, 30 s against steady pink noise",
           Music(40.0, -26.0, 0xbeef04),
           PinkNoise(40.0, -24.0, 0x9194),
           {10.0, 20.0, 30.0}};
    ScaleTo(c.reference, -18.0);
    ApplySteps(c.input, {{10.0, 12.0}, {20.0, -6.0}, {30.0, 6.0}});
    cases.push_back(std::move(c));
  }
  {
    // The transport starts in the middle of a song, on a sustained chord, against a steady
    // reference (so that settling can be seen).
    Case c{"start",
           "music-like at -28 LUFS from mid-song against steady pink noise at -16 LUFS",
           MusicFrom(20.0, 2.1, -28.0, 0xbeef05),
           PinkNoise(20.0, -24.0, 0x9195),
           {0.0}};
    ScaleTo(c.reference, -16.0);
    cases.push_back(std::move(c));
  }
  {
    // A sparse drum track: a kick on every beat at 120 bpm, a snare on the off-beats, a pad 18 dB
    // under them; its hits stand 8 to 12 dB above its own momentary loudness all the time.
    Case c{"drums",
           "kick, snare and a quiet pad at -24 LUFS against steady pink noise at -16 LUFS",
           Drums(30.0, -24.0, 0x0d),
           PinkNoise(30.0, -24.0, 0x9196),
           {}};
    ScaleTo(c.reference, -16.0);
    cases.push_back(std::move(c));
  }
  {
    // Isolated hits every 0.5 s that die away in 30 ms, nothing between them.
    Case c{"sparse",
           "hits every 0.5 s dying away in 30 ms at -32 LUFS against pink noise at -20",
           SparseHits(20.0, -32.0, 0x5a),
           PinkNoise(20.0, -24.0, 0x9197),
           {}};
    ScaleTo(c.reference, -20.0);
    cases.push_back(std::move(c));
  }
  if (!o.only.empty()) std::erase_if(cases, [&](const Case& c) { return c.name != o.only; });
  return cases;
}

std::string Fixed(double v, int decimals = 2) {
  if (std::isinf(v)) return v > 0 ? "never" : "-inf";
  if (std::isnan(v)) return "-";
  char buf[32];
  snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

int Usage(FILE* f, int code) {
  fputs("usage: match_quality [--plugin PATH --sender PATH] [--aax] [--blocks 512,64]\n"
        "                     [--speech-dir DIR] [--out DIR] [--case NAME] [--curves]\n"
        "Renders each case through the sender and receiver plug-ins as zt-render does and\n"
        "prints how closely the output's loudness followed the reference's:\n"
        "  ST mean/p95  |short-term(out) - short-term(ref)| after the first 3 s, LU\n"
        "  M mean/p95   |momentary(out) - momentary(ref)| after 3 s, where both tracks play\n"
        "  I diff       integrated(out) - integrated(ref), LU\n"
        "  peak         the output's sample peak, dBFS; static: the input's at the one gain that\n"
        "               matches the integrated loudness; over: the difference\n"
        "  settle       seconds after each step (the longest) until the momentary difference,\n"
        "               averaged over 0.5 s, stays within 1 LU for 1 s\n"
        "  step         the largest change of the gain from one block to the next where the\n"
        "               input plays (above -60 dBFS), dB: a large one is a click\n"
        "  static ST    the short-term mean of that one static gain, for comparison\n"
        "--speech-dir takes sentence recordings at 48 kHz (scripts/match-quality.sh makes them\n"
        "with espeak-ng); without it the synthetic speech-like signal is the voice.\n"
        "--curves writes each render's loudness per block as CSV into the --out folder.\n",
        f);
  return code;
}

} // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        fprintf(stderr, "match_quality: %s needs a value\n", a.c_str());
        exit(2);
      }
      return argv[++i];
    };
    if (a == "--plugin") {
      o.plugin = value();
    } else if (a == "--sender") {
      o.sender = value();
    } else if (a == "--aax") {
      o.aax = true;
      o.plugin = ZT_AAX_MODULE;
      o.sender = ZT_SEND_AAX_MODULE;
    } else if (a == "--blocks") {
      o.blocks.clear();
      const std::string list = value();
      for (size_t at = 0; at < list.size();) {
        const size_t comma = list.find(',', at);
        const int n = atoi(list.substr(at, comma - at).c_str());
        if (n < 16 || n > 16384) return Usage(stderr, 2);
        o.blocks.push_back(n);
        at = comma == std::string::npos ? list.size() : comma + 1;
      }
    } else if (a == "--speech-dir") {
      o.speechDir = value();
    } else if (a == "--out") {
      o.outDir = value();
    } else if (a == "--curves") {
      o.curves = true;
    } else if (a == "--case") {
      o.only = value();
    } else if (a == "-h" || a == "--help") {
      return Usage(stdout, 0);
    } else {
      return Usage(stderr, 2);
    }
  }

  std::string error;
  const std::vector<Case> cases = MakeCases(o, &error);
  if (cases.empty()) {
    fprintf(stderr, "match_quality: %s\n", error.empty() ? "no such case" : error.c_str());
    return 1;
  }
  std::error_code ec;
  fs::create_directories(o.outDir, ec);

  printf("receiver %s\nsender   %s\n\n", o.plugin.c_str(), o.sender.c_str());
  for (const Case& c : cases)
    printf("%-14s %s\n", c.name.c_str(), c.what.c_str());
  printf("\n%-14s %5s %7s %7s %7s %7s %7s %7s %7s %6s %7s %6s %9s\n", "case", "block", "ST mean",
         "ST p95", "M mean", "M p95", "I diff", "peak", "static", "over", "settle", "step",
         "static ST");
  for (const Case& c : cases) {
    const std::string in = (fs::path(o.outDir) / (c.name + "-input.wav")).string();
    const std::string ref = (fs::path(o.outDir) / (c.name + "-reference.wav")).string();
    if (!WriteWav(in, c.input, &error) || !WriteWav(ref, c.reference, &error)) {
      fprintf(stderr, "match_quality: %s\n", error.c_str());
      return 1;
    }
    for (int block : o.blocks) {
      const std::string outPath =
          (fs::path(o.outDir) / (c.name + "-output-" + std::to_string(block) + ".wav")).string();
      RenderOptions ro;
      ro.plugin = o.plugin;
      ro.sender = o.sender;
      ro.aax = o.aax;
      ro.blockSize = block;
      ro.progress = false;
      AudioReader input, reference;
      AudioWriter output;
      RenderResult result;
      if (!input.Open(in, &error) || !reference.Open(ref, &error) ||
          !output.Open(outPath, input.Info(), &error) ||
          !Render(ro, input, reference, output, &result, &error) || !output.Commit(&error)) {
        fprintf(stderr, "match_quality: %s at %d frames: %s\n", c.name.c_str(), block,
                error.c_str());
        return 1;
      }
      std::vector<double> out;
      if (!ReadWav(outPath, &out, &error)) {
        fprintf(stderr, "match_quality: %s\n", error.c_str());
        return 1;
      }
      const std::string curves =
          o.curves ? (fs::path(o.outDir) / (c.name + "-curves-" + std::to_string(block) + ".csv"))
                         .string()
                   : std::string();
      const Figures f = Evaluate(c, out, block, result.lagBlocks, curves);
      printf("%-14s %5d %7s %7s %7s %7s %7s %7s %7s %6s %7s %6s %9s\n", c.name.c_str(), block,
             Fixed(f.shortTerm.mean).c_str(), Fixed(f.shortTerm.p95).c_str(),
             Fixed(f.momentary.mean).c_str(), Fixed(f.momentary.p95).c_str(),
             Fixed(f.integratedDiff).c_str(), Fixed(f.peakDb, 1).c_str(),
             Fixed(f.staticPeakDb, 1).c_str(), Fixed(f.peakDb - f.staticPeakDb, 1).c_str(),
             Fixed(f.settle).c_str(), Fixed(f.largestStep, 1).c_str(),
             Fixed(f.staticShortTerm.mean).c_str());
      fflush(stdout);
    }
  }
  return 0;
}
