// The receiver's measuring and gain logic on its own: no plug-in, no editor, no shared segment.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/LoudnessMatcher.h"
#include "tests/support/Signals.h"

namespace {

constexpr double kRate = 48000.0;

// One block through the matcher in the receiver's order; returns the gain to apply.
struct Block {
  explicit Block(int frames) : left(frames), right(frames) {}
  void Fill(double amplitude, Noise& noise) {
    for (size_t k = 0; k < left.size(); ++k) {
      left[k] = amplitude * noise.Next();
      right[k] = amplitude * noise.Next();
    }
  }
  double Run(LoudnessMatcher& m, bool playing, double referenceDb) {
    const int frames = static_cast<int>(left.size());
    m.BeginBlock(frames, kRate);
    m.CountLeadingSilence(playing, left.data(), right.data(), frames);
    m.MeasureInput(left.data(), right.data(), frames);
    return m.MatchGain(referenceDb);
  }
  std::vector<double> left, right;
};

TEST(Matcher, GainApproachesTheTargetBlockByBlockAfterPrepare) {
  // From gain 0, each block moves (1 - 0.01^(1/4)) of the way to the target: with no reference
  // the target is exactly 1.0. A changed block size changes nothing (the coefficient is per
  // block, not per sample).
  const double expected[] = {0.6838, 0.9000, 0.9684, 0.9900, 0.99684};
  for (int frames : {512, 256, 8192}) {
    SCOPED_TRACE(frames);
    LoudnessMatcher m;
    m.Prepare(kRate);
    Noise noise;
    Block b(frames);
    for (double want : expected) {
      b.Fill(0.5, noise);
      EXPECT_NEAR(b.Run(m, true, LoudnessMatcher::kNoReference), want, 5e-5);
    }
    EXPECT_DOUBLE_EQ(m.RisingCoefficient(), 0.31622776601683794);
    EXPECT_DOUBLE_EQ(m.FallingCoefficient(), m.RisingCoefficient());
  }
}

TEST(Matcher, GainSettlesAtTheReferenceOverTheInput) {
  LoudnessMatcher m;
  m.Prepare(kRate);
  Noise noise;
  Block b(512);
  double gain = 0.0;
  for (int i = 0; i < 400; ++i) { // 4.3 s: the momentary window is long full
    b.Fill(0.1, noise);
    gain = b.Run(m, true, m.OwnLoudness() > -120.0 ? m.OwnLoudness() + 6.0 : -1000.0);
  }
  EXPECT_NEAR(gain, 1.9953, 0.01);
  EXPECT_NEAR(m.OutputLoudness(1.0), m.OwnLoudness() + 6.0, 0.05);
  // The normalisation gain brings a level to the target: -30 to -23 LUFS is +7 dB.
  EXPECT_NEAR(LoudnessMatcher::NormalizationGain(-23.0, -30.0), std::pow(10.0, 7.0 / 20.0), 1e-12);
  EXPECT_NEAR(m.OutputLoudness(2.0), m.OwnLoudness() + 6.0 + 6.0206, 0.05);
}

TEST(Matcher, LeadingSilenceSetsTheDelayInWholeBlocks) {
  // Transport playing, the first 3000 samples below -90 dBFS, 512-frame blocks: the count grows
  // by a block per block and stops at 3000, where the delay stays 3000 / 512 = 5.
  struct Step {
    bool playing;
    int silentUpTo; // samples of this block below the threshold (the rest is loud)
    int delay, silent, historyWrite;
  } steps[] = {
      {true, 512, 1, 512, 1},  {true, 512, 2, 1024, 2}, {true, 512, 3, 1536, 3},
      {true, 512, 4, 2048, 4}, {true, 512, 5, 2560, 5}, {true, 440, 5, 3000, 6},
      {true, 512, 5, 3000, 7}, {true, 0, 5, 3000, 8}, // silence after sound counts no more
      {false, 512, 0, 0, 1},   {false, 512, 0, 0, 1}, // stopped: entry 0 written and read
      {true, 512, 1, 512, 2},  {true, 1, 1, 513, 3},  // a new start counts again
  };
  LoudnessMatcher m;
  m.Prepare(kRate);
  Block b(512);
  int i = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(i++);
    for (int k = 0; k < 512; ++k)
      b.left[k] = b.right[k] = k < s.silentUpTo ? 1e-6 : 0.25;
    b.Run(m, s.playing, -20.0 - i);
    EXPECT_EQ(m.LastDelayBlocks(), s.delay);
    EXPECT_EQ(m.SilentSamples(), s.silent);
    EXPECT_EQ(m.HistoryWrite(), s.historyWrite);
  }
}

TEST(Matcher, TheReferenceIsReadFromAsManyBlocksBackAsTheDelay) {
  LoudnessMatcher m;
  m.Prepare(kRate);
  Block b(512);
  // Three silent blocks (delay 1, 2, 3), then sound: from then on block n reads block n - 3.
  for (int n = 0; n < 8; ++n) {
    for (int k = 0; k < 512; ++k)
      b.left[k] = b.right[k] = n < 3 ? 0.0 : 0.25;
    b.Run(m, true, -10.0 - n);
    const int delay = std::min(n + 1, 3);
    const double want = n - delay < 0 ? LoudnessMatcher::kNoReference : -10.0 - (n - delay);
    EXPECT_EQ(m.LastReferenceDb(), want) << "block " << n;
  }
}

TEST(Matcher, NoUsableReferenceOrSilentInputLeavesTheTargetAtOne) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    double reference;
    double amplitude;
  } cases[] = {
      {"no sender", LoudnessMatcher::kNoReference, 0.25},
      {"reference at the floor", -120.0, 0.25},
      {"silent input", -10.0, 0.0},
      {"input at -130 LUFS", -10.0, 3e-7},
      {"reference not a number", nan, 0.25},
      {"infinite reference", inf, 0.25},
      {"reference of minus infinity (level 0.0)", -inf, 0.25},
      {"reference too loud for a double", 1e300, 0.25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LoudnessMatcher m;
    m.Prepare(kRate);
    Noise noise;
    Block b(4800);
    double gain = 0.0;
    for (int i = 0; i < 20; ++i) {
      b.Fill(c.amplitude, noise);
      gain = b.Run(m, true, c.reference);
      ASSERT_TRUE(std::isfinite(gain));
    }
    EXPECT_NEAR(gain, 1.0, 1e-9); // 0.01^(20/4) away from 1 at most
  }
}

TEST(Matcher, SamplesThatAreNotFiniteAreMeasuredAsSilence) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  LoudnessMatcher poisoned, clean;
  poisoned.Prepare(kRate);
  clean.Prepare(kRate);
  Noise noise;
  Block a(1000), b(1000);
  for (int n = 0; n < 30; ++n) {
    for (int k = 0; k < 1000; ++k) {
      a.left[k] = b.left[k] = 0.3 * noise.Next();
      a.right[k] = b.right[k] = 0.3 * noise.Next();
    }
    a.left[n * 7] = nan;
    a.right[n * 11] = n % 2 ? inf : -inf;
    b.left[n * 7] = 0.0;
    b.right[n * 11] = 0.0;
    EXPECT_EQ(poisoned.MeasureInput(a.left.data(), a.right.data(), 1000),
              clean.MeasureInput(b.left.data(), b.right.data(), 1000));
  }
  EXPECT_TRUE(std::isfinite(poisoned.OwnLoudness()));
}

TEST(Matcher, BlocksLongerThanTheFrameBufferAreMeasuredWhole) {
  LoudnessMatcher whole, pieces;
  whole.Prepare(kRate);
  pieces.Prepare(kRate);
  Noise noise;
  Block big(20000);
  big.Fill(0.3, noise);
  const double w = whole.MeasureInput(big.left.data(), big.right.data(), 20000);
  double p = 0.0;
  for (int start = 0; start < 20000; start += 5000)
    p = pieces.MeasureInput(big.left.data() + start, big.right.data() + start, 5000);
  EXPECT_DOUBLE_EQ(w, p);
}

// Analysis restarts take a meter that was made beforehand; the one they replace is destroyed off
// the audio path. The integrated loudness always counts only what came after the restart.
TEST(Matcher, AnalysisRestartsWithAFreshMeterMadeBeforehand) {
  LoudnessMatcher m;
  m.Prepare(kRate);
  Noise noise;
  Block loud(4800), quiet(4800);
  auto feed = [&](Block& b, double amplitude, int blocks) {
    for (int i = 0; i < blocks; ++i) {
      b.Fill(amplitude, noise);
      EXPECT_TRUE(m.Analyze(b.left.data(), b.right.data(), 4800));
    }
  };
  // Integrated loudness of amplitude a after `blocks` blocks, measured by a new meter alone.
  auto reference = [&](double amplitude, int blocks) {
    LoudnessProbe probe(48000, EBUR128_MODE_I);
    Noise n2;
    Block b(4800);
    for (int i = 0; i < blocks; ++i) {
      for (int k = 0; k < 4800; ++k) {
        b.left[k] = amplitude * n2.Next();
        b.right[k] = amplitude * n2.Next();
      }
      probe.Add(b.left.data(), b.right.data(), 4800);
    }
    return probe.Integrated();
  };

  EXPECT_FALSE(m.Analyze(loud.left.data(), loud.right.data(), 4800)) << "analysis never started";
  m.RestartAnalysis();
  EXPECT_FALSE(m.HasAnalysisResult());
  feed(loud, 0.5, 30);
  const double loudLevel = m.IntegratedLoudness();
  EXPECT_NEAR(loudLevel, reference(0.5, 30), 0.05);

  // A second restart takes the spare the first Prepare made.
  ASSERT_TRUE(m.HasSpareMeter());
  m.RestartAnalysis();
  EXPECT_FALSE(m.HasAnalysisResult());
  EXPECT_FALSE(m.HasSpareMeter());
  noise = Noise();
  feed(quiet, 0.05, 30);
  EXPECT_NEAR(m.IntegratedLoudness(), reference(0.05, 30), 0.05) << "the loud blocks still count";

  // A third one has no spare to take: analysis waits, and measures nothing until one is made.
  m.RestartAnalysis();
  EXPECT_TRUE(m.AnalysisWaitsForMeter());
  EXPECT_FALSE(m.Analyze(loud.left.data(), loud.right.data(), 4800));
  EXPECT_EQ(m.IntegratedLoudness(), 0.0);
  m.PrepareSpare();
  EXPECT_FALSE(m.AnalysisWaitsForMeter());
  EXPECT_TRUE(m.HasSpareMeter());
  noise = Noise();
  feed(loud, 0.5, 30);
  EXPECT_NEAR(m.IntegratedLoudness(), reference(0.5, 30), 0.05);

  // Restarting a meter that has measured nothing keeps it and the spare.
  m.RestartAnalysis(); // takes the spare
  m.PrepareSpare();
  m.RestartAnalysis();
  EXPECT_TRUE(m.HasSpareMeter());
  EXPECT_FALSE(m.AnalysisWaitsForMeter());
}

// The meter is asked once at least 1 ms of audio came since it was last asked: every block of
// 48 frames or more at 48 kHz (bit for bit what a meter asked every block answers), every
// second 24-frame block, and at 1-frame blocks every 48th, each answer then standing until the
// next.
// Short blocks wait for the meter's next call; the answers are those of a meter fed every block,
// bit for bit. At 1.536 MHz a millisecond (1536 frames) is more than the frames that can wait, so
// they also reach the meter between questions.
TEST(Matcher, MomentaryLoudnessIsAskedOncePerMillisecond) {
  struct Case {
    int frames, blocks, askedEvery;
    double rate;
  } cases[] = {{512, 40, 1, kRate},     {48, 200, 1, kRate},  {47, 200, 2, kRate},
               {24, 200, 2, kRate},     {1, 2000, 48, kRate}, {100, 400, 16, 1536000},
               {1, 5000, 1536, 1536000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.frames) + " frames at " + std::to_string(c.rate) + " Hz");
    LoudnessMatcher m;
    m.Prepare(c.rate);
    ebur128_state* reference = ebur128_init(2, static_cast<unsigned long>(c.rate), EBUR128_MODE_M);
    ebur128_set_channel(reference, 0, EBUR128_LEFT);
    ebur128_set_channel(reference, 1, EBUR128_RIGHT);
    Noise noise;
    Block b(c.frames);
    std::vector<double> interleaved(2 * c.frames);
    double lastAsked = -HUGE_VAL;
    for (int i = 0; i < c.blocks; ++i) {
      b.Fill(0.1 + 0.4 * ((i / 7) % 2), noise); // the level keeps changing
      for (int k = 0; k < c.frames; ++k) {
        interleaved[2 * k] = b.left[k];
        interleaved[2 * k + 1] = b.right[k];
      }
      ebur128_add_frames_double(reference, interleaved.data(), static_cast<size_t>(c.frames));
      const double own = m.MeasureInput(b.left.data(), b.right.data(), c.frames);
      const bool asked = (i + 1) % c.askedEvery == 0;
      ASSERT_EQ(m.MeasuredAfresh(), asked) << "block " << i;
      if (asked) ebur128_loudness_momentary(reference, &lastAsked);
      ASSERT_EQ(std::memcmp(&own, &lastAsked, sizeof own), 0) << "block " << i;
    }
    ebur128_destroy(&reference);
  }
}

// Frames still waiting when the host changes the rate were measured at the old one.
TEST(Matcher, FramesWaitingAtARateChangeAreMeasuredAtTheOldRate) {
  LoudnessMatcher m;
  m.Prepare(kRate);
  ebur128_state* reference = ebur128_init(2, 48000, EBUR128_MODE_M);
  ebur128_set_channel(reference, 0, EBUR128_LEFT);
  ebur128_set_channel(reference, 1, EBUR128_RIGHT);
  Noise noise;
  Block b(16);
  std::vector<double> interleaved(2 * 16);
  auto feed = [&](int blocks) {
    for (int i = 0; i < blocks; ++i) {
      b.Fill(0.3, noise);
      for (int k = 0; k < 16; ++k) {
        interleaved[2 * k] = b.left[k];
        interleaved[2 * k + 1] = b.right[k];
      }
      ebur128_add_frames_double(reference, interleaved.data(), 16);
      m.MeasureInput(b.left.data(), b.right.data(), 16);
    }
  };
  feed(1998); // the meter was just asked
  feed(2);    // 32 frames wait: less than a millisecond
  ASSERT_FALSE(m.MeasuredAfresh());
  m.Prepare(96000);
  ebur128_change_parameters(reference, 2, 96000);
  feed(4); // with the 32 from before, a millisecond at 96 kHz: the meter is asked
  ASSERT_TRUE(m.MeasuredAfresh());
  double expected = 0;
  ebur128_loudness_momentary(reference, &expected);
  EXPECT_EQ(m.OwnLoudness(), expected);
  ebur128_destroy(&reference);
}

// The pause rules judge the input; the reference decides whether there is anything to match. In
// a pause the gain holds what the programme had while a sender publishes, and goes to unity
// once none does, as it always has without a reference.
TEST(Matcher, InAPauseTheGainHoldsWithAReferenceAndGoesToUnityWithout) {
  LoudnessMatcher m;
  m.Prepare(kRate);
  Noise noise;
  Block b(512);
  double gain = 0.0;
  for (int i = 0; i < 300; ++i) { // 3.2 s at -30 LUFS or so against -20: about +10 dB
    b.Fill(0.03, noise);
    gain = b.Run(m, true, -20.0);
  }
  ASSERT_GT(gain, 2.5);
  ASSERT_FALSE(m.Paused());
  // The first block of the pause still plays in the 20 ms window: the law may move the gain by
  // a hair there, and not at all from then on.
  const double limit = gain * DbToRatio(0.2);
  for (int i = 0; i < 200; ++i) {
    b.Fill(1e-4, noise); // room tone at -80 dBFS
    EXPECT_LE(b.Run(m, true, -20.0), limit);
  }
  EXPECT_TRUE(m.Paused());
  EXPECT_NEAR(m.SmoothedGain(), gain, 0.05 * gain) << "held";
  for (int i = 0; i < 20; ++i) {
    b.Fill(1e-4, noise);
    b.Run(m, true, LoudnessMatcher::kNoReference);
  }
  EXPECT_NEAR(m.SmoothedGain(), 1.0, 1e-9);
}

} // namespace
