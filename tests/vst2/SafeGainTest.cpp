// The receiver's gain on material that pauses and surges, through its loaded module: a voice's
// pauses do not raise the gain, a phrase after a pause, a step up, a hit and the first blocks
// after the start do not burst, the boost stops at +40 dB, and a quiet passage that plays is
// still matched.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ModuleSuite.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"
#include "tools/sender/ReferenceSender.h"

namespace {

constexpr int kRate = 48000;
// dB the output's 20 ms loudness may exceed the reference: the receiver's allowance of 7 dB, and 2
// more while a surge's first 20 ms are judged by its 5 ms window; 1 dB for the windows' edges.
constexpr double kSurgeAllowance = 7.0 + 2.0 + 1.0;

double Db(double ratio) {
  return 20.0 * std::log10(ratio);
}

// A stereo input built from segments, each a generator of (frame within the segment, channel).
struct Track {
  std::vector<double> l, r;
  Track& Add(double seconds, const std::function<double(int, int)>& gen) {
    const int n = static_cast<int>(seconds * kRate);
    for (int k = 0; k < n; ++k) {
      l.push_back(gen(k, 0));
      r.push_back(gen(k, 1));
    }
    return *this;
  }
  int Frames() const { return static_cast<int>(l.size()); }
};

// Integrated loudness of `seconds` of a generator, for calibration.
double LoudnessOf(const std::function<double(int, int)>& gen, double seconds) {
  Track t;
  t.Add(seconds, gen);
  LoudnessProbe probe(kRate, EBUR128_MODE_I);
  probe.Add(t.l.data(), t.r.data(), t.Frames());
  return probe.Integrated();
}

// Independent white noise in both channels at a steady loudness.
std::function<double(int, int)> Steady(double lufs, uint32_t seed = 1) {
  static const double unit = [] {
    auto noise = std::make_shared<Noise>(77);
    return LoudnessOf([noise](int, int) { return noise->Next(); }, 2.0);
  }();
  auto noise = std::make_shared<Noise>(seed);
  const double amp = DbToRatio(lufs - unit);
  return [noise, amp](int, int) { return amp * noise->Next(); };
}

// Speech-like phrases: syllables of 180 ms with 60 ms dips between them, at `lufs`.
std::function<double(int, int)> Phrases(double lufs, uint32_t seed = 2) {
  auto shape = [](int k) {
    const double t = std::fmod(static_cast<double>(k) / kRate, 0.24);
    return t < 0.18 ? 0.05 + std::sin(3.14159265358979 * t / 0.18) : 0.05;
  };
  static const double unit = [shape] {
    auto noise = std::make_shared<Noise>(78);
    return LoudnessOf([noise, shape](int k, int) { return shape(k) * noise->Next(); }, 2.4);
  }();
  auto noise = std::make_shared<Noise>(seed);
  const double amp = DbToRatio(lufs - unit);
  return [noise, amp, shape](int k, int) { return amp * shape(k) * noise->Next(); };
}

// Pink room tone at an RMS of rmsDb dBFS in each channel (three-pole approximation).
std::function<double(int, int)> RoomTone(double rmsDb, uint32_t seed = 3) {
  struct Pink {
    Noise noise;
    double b[2][3] = {};
    double Next(int ch) {
      const double w = noise.Next();
      b[ch][0] = 0.99765 * b[ch][0] + w * 0.0990460;
      b[ch][1] = 0.96300 * b[ch][1] + w * 0.2965164;
      b[ch][2] = 0.57000 * b[ch][2] + w * 1.0526913;
      return b[ch][0] + b[ch][1] + b[ch][2] + w * 0.1848;
    }
  };
  static const double unitRms = [] {
    Pink p{Noise(79)};
    double sum = 0.0;
    for (int k = 0; k < 2 * kRate; ++k) {
      const double v = p.Next(0);
      sum += v * v;
    }
    return std::sqrt(sum / (2 * kRate));
  }();
  auto pink = std::make_shared<Pink>(Pink{Noise(seed)});
  const double amp = DbToRatio(rmsDb) / unitRms;
  return [pink, amp](int, int ch) { return amp * pink->Next(ch); };
}

// A drum track: a kick every 0.5 s (a falling sine), a snare between (noise), a pad 18 dB
// under them; its hits stand 8 to 12 dB above its own momentary loudness.
std::function<double(int, int)> Drums(double lufs) {
  struct Kit {
    Noise noise{11};
    double phase = 0.0;
    double Next(int k, int ch) {
      const double t = static_cast<double>(k) / kRate;
      const double beat = std::fmod(t, 0.5), off = std::fmod(t + 0.25, 0.5);
      if (ch == 0) phase += (45.0 + 80.0 * std::exp(-beat / 0.03)) / kRate;
      return std::exp(-beat / 0.12) * std::sin(2.0 * 3.14159265358979 * phase) +
             0.6 * std::exp(-off / 0.08) * noise.Next() +
             0.125 * std::sin(2.0 * 3.14159265358979 * 220.0 * t);
    }
  };
  static const double unit = [] {
    auto kit = std::make_shared<Kit>();
    return LoudnessOf([kit](int k, int ch) { return kit->Next(k, ch); }, 3.0);
  }();
  auto kit = std::make_shared<Kit>();
  const double amp = DbToRatio(lufs - unit);
  return [kit, amp](int k, int ch) { return amp * kit->Next(k, ch); };
}

// Noise bursts every 0.5 s that die away in 30 ms, over nothing.
std::function<double(int, int)> SparseHits(double lufs) {
  auto shape = [](int k) {
    return std::exp(-std::fmod(static_cast<double>(k) / kRate, 0.5) / 0.03);
  };
  static const double unit = [shape] {
    auto noise = std::make_shared<Noise>(80);
    return LoudnessOf([noise, shape](int k, int) { return shape(k) * noise->Next(); }, 3.0);
  }();
  auto noise = std::make_shared<Noise>(12);
  const double amp = DbToRatio(lufs - unit);
  return [noise, amp, shape](int k, int) { return amp * shape(k) * noise->Next(); };
}

// Triangular dither peaking at -100 dBFS.
std::function<double(int, int)> Dither() {
  auto noise = std::make_shared<Noise>(4);
  return [noise](int, int) { return 0.5e-5 * (noise->Next() + noise->Next()); };
}

std::function<double(int, int)> Silence() {
  return [](int, int) { return 0.0; };
}

// What the receiver made of a track, block by block.
struct Rendered {
  int block = 0;
  std::vector<double> gain;      // output / input at the block's largest input; NaN when silent
  std::vector<double> momentary; // the output's momentary loudness at the block's end
  Track out;
  // The loudest 20 ms of the output that end within [from, to) seconds, every 5 ms.
  double LoudestFast(double from, double to) const {
    LoudnessProbe probe(kRate);
    const int hop = kRate / 200;
    double loudest = -std::numeric_limits<double>::infinity();
    for (int at = std::max(0, static_cast<int>((from - 0.4) * kRate));
         at + hop <= out.Frames() && at < to * kRate; at += hop) {
      probe.Add(out.l.data() + at, out.r.data() + at, hop);
      if (at + hop > from * kRate) loudest = std::max(loudest, probe.Window(20));
    }
    return loudest;
  }
  // Integrated loudness of the output over [from, to) seconds.
  double Integrated(double from, double to) const {
    LoudnessProbe probe(kRate, EBUR128_MODE_I);
    const int a = static_cast<int>(from * kRate);
    const int b = std::min(out.Frames(), static_cast<int>(to * kRate));
    probe.Add(out.l.data() + a, out.r.data() + a, b - a);
    return probe.Integrated();
  }
  int BlockAt(double seconds) const { return static_cast<int>(seconds * kRate / block); }
  // The largest per-block value of `v` over [from, to) seconds (observable blocks only).
  double Max(const std::vector<double>& v, double from, double to) const {
    double m = -std::numeric_limits<double>::infinity();
    for (int b = BlockAt(from); b < BlockAt(to) && b < static_cast<int>(v.size()); ++b)
      if (!std::isnan(v[b])) m = std::max(m, v[b]);
    return m;
  }
  double Min(const std::vector<double>& v, double from, double to) const {
    double m = std::numeric_limits<double>::infinity();
    for (int b = BlockAt(from); b < BlockAt(to) && b < static_cast<int>(v.size()); ++b)
      if (!std::isnan(v[b])) m = std::min(m, v[b]);
    return m;
  }
};

class SafeGain : public ModuleSuite {
protected:
  // A fresh instance set up as a host starts playback, with a sender at referenceLufs, fed the
  // whole track in blocks of `block` frames through the 64-bit callback.
  // With resetAt, the host suspends and resumes the plug-in (a reset) at the block that starts
  // there.
  Rendered Render(const Track& track, int block, double referenceLufs, double resetAt = -1.0) {
    ReferenceSender sender;
    EXPECT_TRUE(sender.Open());
    sender.PublishLufs(referenceLufs);
    auto plug = NewInstance();
    Rendered r;
    r.block = block;
    if (!plug) return r;
    plug->transport.playing = true;
    plug->Open();
    plug->SetSampleRate(kRate);
    plug->SetBlockSize(block);
    plug->Resume();
    LoudnessProbe probe(kRate);
    std::vector<double> in[2], out[2];
    for (int start = 0; start + block <= track.Frames(); start += block) {
      if (resetAt >= 0.0 && start <= resetAt * kRate && start + block > resetAt * kRate) {
        plug->Suspend();
        plug->Resume();
      }
      in[0].assign(track.l.begin() + start, track.l.begin() + start + block);
      in[1].assign(track.r.begin() + start, track.r.begin() + start + block);
      out[0].assign(block, 0.0);
      out[1].assign(block, 0.0);
      int loudest = 0;
      for (int k = 0; k < block; ++k)
        if (std::fabs(in[0][k]) > std::fabs(in[0][loudest])) loudest = k;
      const double x = in[0][loudest];
      double* ins[2] = {in[0].data(), in[1].data()};
      double* outs[2] = {out[0].data(), out[1].data()};
      plug->ProcessDouble(ins, outs, block);
      plug->transport.Advance(block);
      r.gain.push_back(x != 0.0 ? out[0][loudest] / x : std::nan(""));
      probe.Add(out[0].data(), out[1].data(), block);
      r.momentary.push_back(probe.Momentary());
      r.out.l.insert(r.out.l.end(), out[0].begin(), out[0].end());
      r.out.r.insert(r.out.r.end(), out[1].begin(), out[1].end());
    }
    plug->Close();
    return r;
  }

  TestSession session{"safegain"};
};

struct PauseMaterial {
  const char* what;
  std::function<double(int, int)> (*make)();
  bool isPause; // false: a quiet passage that plays and must be matched
};

const PauseMaterial kMaterials[] = {
    {"digital silence", [] { return Silence(); }, true},
    {"dither at -100 dBFS", [] { return Dither(); }, true},
    {"room tone at -60 dBFS", [] { return RoomTone(-60.0); }, true},
    {"a quiet passage at -45 LUFS", [] { return Phrases(-45.0, 9); }, false},
};

constexpr double kRef = -20.0;

// After 3 s of phrases at -30 LUFS (the gain near +10 dB), 4 s of each material, then the phrases
// again: in a pause the gain never rises above what it was before it, nor in the first blocks of
// the phrase after it; the quiet passage is matched to the reference.
TEST_F(SafeGain, PausesHoldTheGainWhileAQuietPassageIsMatched) {
  for (int block : {512, 64}) {
    for (const PauseMaterial& m : kMaterials) {
      SCOPED_TRACE(std::string(m.what) + ", " + std::to_string(block) + " frames");
      Track t;
      t.Add(3.0, Phrases(-30.0)).Add(4.0, m.make()).Add(1.0, Phrases(-30.0, 5));
      const Rendered r = Render(t, block, kRef);
      const double before = r.Max(r.gain, 2.0, 3.0);
      EXPECT_NEAR(Db(before), 10.0, 3.0) << "the phrases were matched";
      if (m.isPause) {
        EXPECT_LE(r.Max(r.gain, 3.0, 7.0), before * (1.0 + 1e-9)) << "during the pause";
        EXPECT_LE(r.Max(r.gain, 7.0, 7.5), before * (1.0 + 1e-9)) << "the phrase after it";
        // ... which starts at the gain the phrases had, also after digital silence.
        EXPECT_GE(r.Min(r.gain, 7.0, 7.1), r.Min(r.gain, 2.5, 3.0) * DbToRatio(-0.5));
      } else {
        EXPECT_NEAR(r.momentary[r.BlockAt(7.0) - 1], kRef, 1.5) << "matched";
        EXPECT_GT(Db(r.Max(r.gain, 6.0, 7.0)), 20.0);
      }
    }
  }
}

// Room tone above the floor (about -45 LUFS) but 27 LU under the phrases around it is a pause
// too, judged against the phrases' level.
TEST_F(SafeGain, APauseFarBelowThePhrasesHoldsAboveTheFloor) {
  for (int block : {512, 64}) {
    SCOPED_TRACE(std::to_string(block) + " frames");
    Track t;
    t.Add(3.0, Phrases(-18.0)).Add(3.0, RoomTone(-47.0)).Add(1.0, Phrases(-18.0, 5));
    const Rendered r = Render(t, block, kRef);
    // (The first blocks of the pause still hold phrase in their 20 ms: a hair of a rise.)
    const double before = r.Max(r.gain, 2.0, 3.0) * DbToRatio(0.3);
    EXPECT_LE(r.Max(r.gain, 3.0, 6.0), before) << "the pause";
    EXPECT_LE(r.Max(r.gain, 6.0, 6.25), before) << "the phrase after it";
  }
}

// The same materials from the start of playback, before anything has played: pauses never pass
// above unity (no boost of noise), the phrases after them are matched within a second; the
// quiet passage is matched.
TEST_F(SafeGain, PausesBeforeAnythingPlayedStayAtUnity) {
  for (int block : {512, 64}) {
    for (const PauseMaterial& m : kMaterials) {
      SCOPED_TRACE(std::string(m.what) + ", " + std::to_string(block) + " frames");
      Track t;
      t.Add(4.0, m.make()).Add(2.0, Phrases(-30.0));
      const Rendered r = Render(t, block, kRef);
      if (m.isPause) {
        EXPECT_LE(r.Max(r.gain, 0.0, 4.25), 1.0 + 1e-12);
        EXPECT_NEAR(r.momentary[r.BlockAt(5.0)], kRef, 1.5) << "the phrases are matched";
      } else {
        EXPECT_NEAR(r.momentary[r.BlockAt(4.0) - 1], kRef, 1.5) << "matched";
      }
    }
  }
}

// A phrase after 1.2 s of room tone comes out no louder than the phrases before the pause; one
// 10 dB louder than those comes out at most the surge allowance above the reference.
TEST_F(SafeGain, APhraseAfterAPauseDoesNotBurst) {
  for (int block : {512, 64}) {
    for (double louder : {0.0, 10.0}) {
      SCOPED_TRACE(std::to_string(block) + " frames, " + std::to_string(louder) + " dB louder");
      Track t;
      t.Add(3.0, Phrases(-30.0)).Add(1.2, RoomTone(-60.0)).Add(1.5, Phrases(-30.0 + louder, 6));
      const Rendered r = Render(t, block, kRef);
      const double before = r.LoudestFast(2.0, 3.0);
      const double after = r.LoudestFast(4.2, 4.7);
      if (louder == 0.0)
        EXPECT_LE(after, before + 1.0);
      else
        EXPECT_LE(after, kRef + kSurgeAllowance);
      EXPECT_NEAR(r.momentary[r.BlockAt(5.7) - 1], kRef, 1.5) << "the phrase is matched";
    }
  }
}

// Steady noise at -44 LUFS, matched with +24 dB, then a step up of 24 dB or a 60 ms hit of the
// same height at the start of a block: the gain comes down in the block where it happens, so the
// output's fast loudness never passes the surge allowance above the reference, at any block
// size (blocks of a frame ask the meter at once, blocks of 170 ms judge their loudest 20 ms);
// after the step the output settles within 1 LU of the reference within a second, after the hit
// it returns to it.
TEST_F(SafeGain, ASurgeTakesTheGainDownWithinTheBlock) {
  for (int block : {1, 16, 64, 512, 2048, 8192}) {
    for (bool hit : {false, true}) {
      SCOPED_TRACE(std::string(hit ? "hit" : "step") + ", " + std::to_string(block) + " frames");
      const double at = static_cast<double>(3 * kRate / block * block) / kRate;
      Track t;
      t.Add(at, Steady(-44.0));
      if (hit)
        t.Add(0.06, Steady(-20.0, 7)).Add(1.94, Steady(-44.0, 8));
      else
        t.Add(2.0, Steady(-20.0, 7));
      const Rendered r = Render(t, block, kRef);
      EXPECT_NEAR(Db(r.gain[r.BlockAt(at) - 1]), 24.0, 1.0) << "matched before";
      EXPECT_LE(r.LoudestFast(at, at + 2.0), kRef + kSurgeAllowance);
      EXPECT_LE(r.Max(r.momentary, at + 1.0, at + 2.0), kRef + 1.0) << "settled";
      EXPECT_GE(r.Min(r.momentary, at + 1.0, at + 2.0), kRef - 1.0) << "settled";
    }
  }
}

// Playback starts with the input 20 dB above the reference: from the first block on the output
// stays within the surge allowance. With the input 15 dB below it, the gain waits at unity while
// the meter fills instead of boosting on a window of mostly nothing, and matches within a second.
TEST_F(SafeGain, TheFirstBlocksAfterTheStartDoNotBurst) {
  for (int block : {512, 64}) {
    SCOPED_TRACE(std::to_string(block) + " frames");
    Track loud;
    loud.Add(2.0, Phrases(kRef + 20.0));
    const Rendered a = Render(loud, block, kRef);
    EXPECT_LE(a.LoudestFast(0.0, 2.0), kRef + kSurgeAllowance);

    Track quiet;
    quiet.Add(2.0, Steady(kRef - 15.0));
    const Rendered b = Render(quiet, block, kRef);
    EXPECT_LE(b.Max(b.gain, 0.0, 0.25), 1.0);
    EXPECT_NEAR(b.Max(b.momentary, 1.0, 2.0), kRef, 1.0);
    EXPECT_NEAR(b.Min(b.momentary, 1.0, 2.0), kRef, 1.0);
  }
}

// The boost stops at +40 dB: an input at -46 LUFS against a reference at -4 LUFS would need +42;
// one at -40 LUFS against -12 LUFS gets its full +28 dB.
TEST_F(SafeGain, TheBoostStopsAtFortyDecibels) {
  struct Case {
    double input, reference, gainDb;
  } cases[] = {{-46.0, -4.0, 40.0}, {-40.0, -12.0, 28.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.input) + " LUFS against " + std::to_string(c.reference));
    Track t;
    t.Add(3.0, Steady(c.input));
    const Rendered r = Render(t, 512, c.reference);
    EXPECT_NEAR(Db(r.gain.back()), c.gainDb, c.gainDb == 40.0 ? 1e-6 : 0.3);
    EXPECT_LE(Db(r.Max(r.gain, 0.0, 3.0)), 40.0 + 1e-9);
  }
}

// The input steps down by 18 dB, too little for a pause: while the meter still holds the louder
// audio (the first 400 ms) the gain does not rise on its falling reading, and the quieter level
// is matched within a second.
TEST_F(SafeGain, AFallingMeterDoesNotRaiseTheGain) {
  for (int block : {512, 64}) {
    SCOPED_TRACE(std::to_string(block) + " frames");
    Track t;
    t.Add(3.0, Steady(-26.0)).Add(2.0, Steady(-44.0, 5));
    const Rendered r = Render(t, block, kRef);
    const double before = r.Max(r.gain, 2.5, 3.0);
    EXPECT_LE(r.Max(r.gain, 3.0, 3.38), before * DbToRatio(0.5));
    EXPECT_NEAR(r.Max(r.momentary, 4.0, 5.0), kRef, 1.0) << "matched";
    EXPECT_NEAR(r.Min(r.momentary, 4.0, 5.0), kRef, 1.0) << "matched";
  }
}

// A host that resets the plug-in in the middle of a session (some do at every start of
// playback): the meter still holds the loud passage before the reset, which must not become the
// level that the quiet passage after it is judged against.
TEST_F(SafeGain, AResetStartsTheProgrammeLevelAfresh) {
  for (int block : {512, 64}) {
    SCOPED_TRACE(std::to_string(block) + " frames");
    Track t;
    t.Add(3.0, Phrases(-16.0)).Add(3.0, Phrases(-44.0, 13));
    const Rendered r = Render(t, block, kRef, 3.0);
    EXPECT_NEAR(r.Max(r.momentary, 4.5, 6.0), kRef, 1.5) << "the quiet passage is matched";
    EXPECT_NEAR(r.Min(r.momentary, 4.5, 6.0), kRef, 1.5) << "the quiet passage is matched";
  }
}

// Hits every half second that die away in 30 ms, with nothing between them: the meter never
// settles on such material, yet it is matched within seconds and its hits keep their shape
// (the old law boosted it by 14 LU with peaks 19 dB above one static gain's).
TEST_F(SafeGain, SparseHitsAreMatchedWithoutBursts) {
  for (int block : {512, 64}) {
    SCOPED_TRACE(std::to_string(block) + " frames");
    Track t;
    t.Add(10.0, SparseHits(-32.0));
    const Rendered r = Render(t, block, kRef);
    EXPECT_NEAR(r.Integrated(5.0, 10.0), kRef, 1.0);
    // Their crest (20 ms over 400 ms) is about 13 dB; the 5 ms window adds 2.
    EXPECT_LE(r.LoudestFast(0.0, 10.0), kRef + 13.0 + 2.0 + 1.0);
  }
}

// A steady drum track whose hits stand 8 to 12 dB above its momentary loudness: hits the
// programme makes all the time are no surge, so the gain neither ducks them nor pumps.
TEST_F(SafeGain, SteadyDrumsKeepTheirHits) {
  for (int block : {512, 64}) {
    SCOPED_TRACE(std::to_string(block) + " frames");
    Track t;
    t.Add(8.0, Drums(-24.0));
    const Rendered r = Render(t, block, -16.0);
    EXPECT_NEAR(r.Integrated(2.0, 8.0), -16.0, 1.0);
    EXPECT_LT(Db(r.Max(r.gain, 2.0, 8.0)) - Db(r.Min(r.gain, 2.0, 8.0)), 4.0);
  }
}

} // namespace
