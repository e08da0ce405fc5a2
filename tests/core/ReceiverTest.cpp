#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ReceiverRig.h"
#include "tools/sender/ReferenceSender.h"
#include "tests/support/Signals.h"

namespace {

// Stereo noise at a fixed amplitude.
struct NoiseSource {
  explicit NoiseSource(double amplitude, uint32_t seed = 1) : amp(amplitude), noise(seed) {}
  double operator()(int, int) { return amp * noise.Next(); }
  double amp;
  Noise noise;
};

TEST(Receiver, GainRisesTowardOneAfterReset) {
  ReceiverRig rig("rx");
  NoiseSource src(0.5);
  const double expected[] = {0.6838, 0.9000, 0.9684, 0.9900};
  double previous = 0.0;
  for (double e : expected) {
    rig.Run(512, std::ref(src));
    EXPECT_NEAR(rig.out0[7] / rig.orig0[7], e, 5e-5);
    EXPECT_NEAR(rig.out1[300] / rig.orig1[300], e, 5e-5);
    EXPECT_GT(rig.plug->SmoothedGain(), previous);
    previous = rig.plug->SmoothedGain();
  }
  for (int i = 0; i < 20; ++i)
    rig.Run(512, std::ref(src));
  EXPECT_LE(rig.plug->SmoothedGain(), 1.0);
  EXPECT_NEAR(rig.plug->SmoothedGain(), 1.0, 1e-9);
}

TEST(Receiver, CoefficientDependsOnSampleRateNotBlockSize) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    ReceiverRig rig("rx", rate);
    NoiseSource src(0.5);
    rig.Run(512, std::ref(src));
    rig.Run(256, std::ref(src)); // a size change recomputes the same value
    EXPECT_NEAR(rig.plug->SmoothedGain(), 1.0 - 0.1, 1e-12) << rate;
  }
}

TEST(Receiver, TargetGainIsExactlyOneWithoutUsableReference) {
  ReceiverRig rig("rx");
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  NoiseSource loud(0.5);
  struct {
    const char* what;
    double ratio;
    bool publish;
  } cases[] = {
      {"no sender", 0.0, false},
      {"level 0 (-inf dB)", 0.0, true},
      {"level below -120 dB", 1e-7, true},
      // Regression: these became an infinite or NaN gain on the audio.
      {"NaN level", NAN, true},
      {"infinite level", INFINITY, true},
      {"-infinite level", -INFINITY, true},
  };
  for (const auto& c : cases) {
    if (c.publish)
      sender.PublishRatio(c.ratio);
    else
      sender.Withdraw();
    rig.plug->Reset();
    for (int i = 0; i < 40; ++i)
      rig.Run(512, std::ref(loud));
    EXPECT_NEAR(rig.plug->SmoothedGain(), 1.0, 1e-12) << c.what;
    EXPECT_TRUE(std::isfinite(rig.out0[10])) << c.what;
  }
}

TEST(Receiver, SilentInputKeepsGainOneAndShowsMinusInf) {
  ReceiverRig rig("rx");
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-10.0);
  for (int i = 0; i < 30; ++i)
    rig.Run(512, [](int, int) { return 0.0; });
  EXPECT_NEAR(rig.plug->SmoothedGain(), 1.0, 1e-12);
  EXPECT_STREQ(rig.plug->ReadoutInText(), "-inf");
  EXPECT_STREQ(rig.plug->ReadoutOutText(), "-inf");
}

TEST(Receiver, SettlesSixDbAboveAQuieterInput) {
  ReceiverRig rig("rx");
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  // A constant-level sine: its momentary loudness is the same in every block.
  const double amp = 0.05;
  int phase = 0;
  auto sine = [&](int, int ch) {
    const double v = amp * std::sin(2 * std::numbers::pi * 997.0 * (phase) / 48000.0);
    if (ch == 1) ++phase;
    return v;
  };
  LoudnessProbe probe(48000);
  for (int i = 0; i < 50; ++i) {
    rig.Run(512, sine);
    probe.Add(rig.orig0.data(), rig.orig1.data(), 512);
  }
  const double own = probe.Momentary();
  sender.PublishLufs(own + 6.0);
  for (int i = 0; i < 200; ++i)
    rig.Run(512, sine);
  EXPECT_NEAR(rig.plug->SmoothedGain(), 1.9953, 2e-3);
  EXPECT_NEAR(std::stod(rig.plug->ReadoutOutText()), own + 6.0, 0.05);
}

// Blocks of a millisecond or more are measured, matched and smoothed exactly as the block rules
// state, every block asking the meter afresh: once the meter has filled, the output equals, bit
// for bit, a model of those rules that feeds and asks a meter of its own every block. The level
// moves by a few dB every 0.5 s, as a playing input does, so that no pause or surge rule steps
// in (they are the safe-gain tests' subject).
TEST(Receiver, BlocksOfAMillisecondOrMoreFollowTheBlockRulesBitForBit) {
  for (int frames : {48, 512, 4096}) {
    SCOPED_TRACE(std::to_string(frames) + " frames");
    ReceiverRig rig("rx", 48000.0, frames);
    ReferenceSender sender;
    ASSERT_TRUE(sender.Open());
    const double ratio = 0.125; // -18.06 LUFS
    sender.PublishRatio(ratio);
    const double referenceDb = std::log(ratio) * 8.685889638065037;

    ebur128_state* meter = ebur128_init(2, 48000, EBUR128_MODE_M);
    const double c = std::pow(0.01, 1.0 / (4000.0 / 48000.0 * 48000 * 0.001));
    double smoothed = 0.0;
    NoiseSource source(0.05);
    std::vector<double> interleaved(2 * static_cast<size_t>(frames));
    const int settled = 48000 / frames; // one second
    for (int block = 0; block < 4 * 48000 / frames; ++block) {
      const double levels[] = {0.05, 0.065, 0.045, 0.06}; // within 3 dB
      source.amp = levels[(block * frames / 24000) % 4];  // a new level every 0.5 s
      rig.Run(frames, std::ref(source));
      for (int k = 0; k < frames; ++k) {
        interleaved[2 * k] = rig.orig0[k];
        interleaved[2 * k + 1] = rig.orig1[k];
      }
      ebur128_add_frames_double(meter, interleaved.data(), static_cast<size_t>(frames));
      double own = 0.0;
      ebur128_loudness_momentary(meter, &own);
      if (block < settled) { // the model starts from the receiver's gain once the meter is full
        smoothed = rig.plug->SmoothedGain();
        continue;
      }
      ASSERT_FALSE(rig.plug->Matcher().Paused()) << "block " << block;
      ASSERT_FALSE(rig.plug->Matcher().Surged()) << "block " << block;
      double target = 1.0;
      if (own > -120.0)
        target = std::exp(referenceDb * 0.1151292546497) / std::exp(own * 0.1151292546497);
      smoothed = (1.0 - c) * target + c * smoothed;
      for (int k = 0; k < frames; ++k) {
        ASSERT_EQ(rig.out0[k], rig.orig0[k] * smoothed) << "block " << block << ", frame " << k;
        ASSERT_EQ(rig.out1[k], rig.orig1[k] * smoothed) << "block " << block << ", frame " << k;
      }
    }
    ebur128_destroy(&meter);
  }
}

// Blocks shorter than a millisecond keep the last reading of the segment: a new level arrives
// with the block that completes a millisecond of audio since the last reading, and at once
// after the host's reset.
TEST(Receiver, ShortBlocksReadTheSegmentOncePerMillisecond) {
  ReceiverRig rig("rx1ms", 48000.0, 16);
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  NoiseSource source(0.05);
  auto block = [&] {
    rig.Run(16, std::ref(source));
    return rig.plug->LastReferenceDb();
  };
  sender.PublishRatio(0.5);
  const double a = std::log(0.5) * 8.685889638065037, b = std::log(0.25) * 8.685889638065037;
  EXPECT_DOUBLE_EQ(block(), a) << "the first block reads";
  sender.PublishRatio(0.25);
  EXPECT_DOUBLE_EQ(block(), a) << "16 frames since the reading";
  EXPECT_DOUBLE_EQ(block(), a) << "32 frames";
  EXPECT_DOUBLE_EQ(block(), b) << "48 frames: a millisecond";
  sender.PublishRatio(0.5);
  rig.plug->Reset();
  EXPECT_DOUBLE_EQ(block(), a) << "the first block after a reset reads";
}

TEST(Receiver, LeadingSilenceDelaysTheReferenceByWholeBlocks) {
  ReceiverRig rig("rx");
  rig.plug->transport.playing = true;
  long sample = 0;
  auto signal = [&](int, int ch) {
    const double v = sample < 3000 ? 1e-6 : 0.5;
    if (ch == 1) ++sample;
    return v;
  };
  const int expected[] = {1, 2, 3, 4, 5, 5, 5, 5};
  for (int d : expected) {
    rig.Run(512, signal);
    EXPECT_EQ(rig.plug->LastDelayBlocks(), d) << "after " << sample << " samples";
  }
  EXPECT_EQ(rig.plug->SilentSamples(), 3000);

  // One sample at the threshold ends the count for good, even with silence after it.
  ReceiverRig once("rx");
  once.plug->transport.playing = true;
  once.Run(512, [](int k, int) { return k == 100 ? 3.2e-5 : 0.0; });
  once.Run(512, [](int, int) { return 0.0; });
  EXPECT_EQ(once.plug->SilentSamples(), 100);

  // Stopping the transport starts the count again, with history entry 0.
  rig.plug->transport.playing = false;
  rig.Run(512, signal);
  EXPECT_EQ(rig.plug->LastDelayBlocks(), 0);
  EXPECT_EQ(rig.plug->HistoryWrite(), 1);
  rig.Run(512, signal);
  EXPECT_EQ(rig.plug->HistoryWrite(), 1);
}

// The reference of the block D blocks back is what the receiver matches against.
TEST(Receiver, DelayedReferenceComesFromTheHistory) {
  ReceiverRig rig("rx");
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  rig.plug->transport.playing = true;
  // Two silent blocks give D = 2 from the second block on.
  for (int block = 0; block < 8; ++block) {
    sender.PublishLufs(-30.0 - block);
    rig.Run(512, [&](int, int) { return block < 2 ? 0.0 : 0.3; });
    if (block >= 2) {
      EXPECT_NEAR(rig.plug->LastReferenceDb(), -30.0 - (block - 2), 1e-9) << block;
    }
  }
}

// Regression: leading silence of 32768 blocks or more indexed outside the history.
TEST(Receiver, VeryLongLeadingSilenceIsLimitedToTheHistory) {
  ReceiverRig rig("rx", 48000.0, 1);
  rig.plug->transport.playing = true;
  for (int i = 0; i < 33000; ++i)
    rig.Run(1, [](int, int) { return 0.0; });
  EXPECT_EQ(rig.plug->LastDelayBlocks(), ZolvarTesk_Receive::kHistoryLength - 1);
  EXPECT_EQ(rig.plug->LastReferenceDb(), -1000.0);
}

TEST(Receiver, NoFramesTouchesNothing) {
  ReceiverRig rig("rx");
  std::vector<double> in(4, 0.5), out(4, 7.0);
  double* ins[] = {in.data(), in.data()};
  double* outs[] = {out.data(), out.data()};
  rig.plug->ProcessDouble(ins, outs, 0);
  rig.plug->ProcessDouble(ins, outs, -5);
  EXPECT_EQ(out, std::vector<double>(4, 7.0));
  EXPECT_STREQ(rig.plug->ReadoutInText(), "");
}

TEST(Receiver, MonoConfigurationMeasuresLeftBesideSilence) {
  ReceiverRig mono("rx");
  mono.plug->ConnectInputs(1, 1, false);
  mono.plug->ConnectOutputs(1, 1, false);
  ReceiverRig stereo("rx");
  NoiseSource a(0.3, 5), b(0.3, 5);
  std::vector<double> in(512), out(512, 9.0);
  for (int block = 0; block < 10; ++block) {
    for (double& s : in)
      s = a(0, 0);
    double* ins[] = {in.data()};
    double* outs[] = {out.data()};
    mono.plug->ProcessDouble(ins, outs, 512);
    stereo.Run(512, [&](int, int ch) { return ch == 0 ? b(0, 0) : 0.0; });
  }
  EXPECT_STREQ(mono.plug->ReadoutInText(), stereo.plug->ReadoutInText());
  EXPECT_EQ(out[17], stereo.out0[17]);
}

TEST(Receiver, BypassPassesInputButReportsTheGain) {
  ReceiverRig rig("rx");
  rig.SetParam(ParamBypass, 1.0);
  NoiseSource src(0.4);
  for (int i = 0; i < 3; ++i)
    rig.Run(512, std::ref(src));
  EXPECT_EQ(rig.out0, rig.orig0);
  EXPECT_EQ(rig.out1, rig.orig1);
  const double own = std::stod(rig.plug->ReadoutInText());
  const double expectedOut = own + 20.0 * std::log10(rig.plug->SmoothedGain());
  EXPECT_NEAR(std::stod(rig.plug->ReadoutOutText()), expectedOut, 0.051);
  EXPECT_LT(std::stod(rig.plug->ReadoutOutText()), own);
}

TEST(Receiver, AnalysisAndOutputNormalizationExcludeEachOther) {
  ReceiverRig rig("rx");
  rig.SetParam(ParamOutputNormalization, 1.0);
  rig.SetParam(ParamAnalysis, 1.0);
  EXPECT_EQ(rig.plug->GetParam(ParamOutputNormalization)->Value(), 0.0);
  rig.SetParam(ParamOutputNormalization, 0.0); // either way switches analysis off
  EXPECT_EQ(rig.plug->GetParam(ParamAnalysis)->Value(), 0.0);
  rig.SetParam(ParamAnalysis, 1.0);
  rig.SetParam(ParamAnalysis, 0.0); // switching off changes nothing else
  EXPECT_EQ(rig.plug->GetParam(ParamOutputNormalization)->Value(), 0.0);
}

TEST(Receiver, AnalysisOverSilenceThenNormalizationAddsTargetPlus100) {
  ReceiverRig rig("rx");
  rig.SetParam(ParamAnalysis, 1.0);
  rig.Run(512, [](int, int) { return 0.0; });
  EXPECT_EQ(rig.plug->IntegratedLoudness(), -HUGE_VAL);
  EXPECT_EQ(rig.plug->GetParam(ParamIntegratedLevel)->Value(), -100.0);
  rig.SetParam(ParamOutputNormalization, 1.0);
  rig.SetParam(ParamTarget, -60.0);
  rig.Run(512, [](int, int) { return 1e-6; });
  const double gain = rig.plug->SmoothedGain() * DbToRatio(-60.0 + 100.0);
  EXPECT_NEAR(rig.out0[5] / 1e-6, gain, 1e-6 * gain);
}

TEST(Receiver, NormalizationSwitchIsDimmedUntilAnAnalysisResultExists) {
  ReceiverRig rig("rx");
  NoiseSource src(0.3);
  rig.Run(512, std::ref(src));
  EXPECT_TRUE(rig.plug->NormalizationDimmed());
  rig.SetParam(ParamAnalysis, 1.0);
  rig.Run(512, std::ref(src)); // under 400 ms: no gated block, result -inf, which is not 0.0
  rig.Run(512, std::ref(src));
  EXPECT_FALSE(rig.plug->NormalizationDimmed());
  rig.SetParam(ParamAnalysis, 1.0); // restarting the analysis clears the result again
  rig.Run(512, std::ref(src));
  EXPECT_TRUE(rig.plug->NormalizationDimmed());
}

// The histogram mode stays within a few hundredths of a LU of the exact block list.
TEST(Receiver, IntegratedHistogramAgreesWithPlainMode) {
  ReceiverRig rig("rx");
  rig.SetParam(ParamBypass, 1.0); // analyse the input as it is
  rig.SetParam(ParamAnalysis, 1.0);
  LoudnessProbe exact(48000, EBUR128_MODE_I);
  Noise noise(99);
  int n = 0;
  // 40 s of noise whose level steps through 24 dB every 2 s.
  for (int block = 0; block < 40 * 48000 / 480; ++block) {
    rig.Run(480, [&](int, int ch) {
      const double level = DbToRatio(-6.0 * ((n / 96000) % 5));
      if (ch == 1) ++n;
      return 0.5 * level * noise.Next();
    });
    exact.Add(rig.out0.data(), rig.out1.data(), 480);
  }
  EXPECT_NEAR(rig.plug->GetParam(ParamIntegratedLevel)->Value(), exact.Integrated(), 0.05);
}

// Regression: blocks over 8192 frames were written past the interleaving buffer.
TEST(Receiver, BlocksLargerThanTheFrameBufferAreMeasuredWhole) {
  ReceiverRig big("rx");
  ReceiverRig small("rx");
  NoiseSource a(0.3, 3), b(0.3, 3);
  big.Run(20000, std::ref(a));
  for (int i = 0; i < 5; ++i)
    small.Run(4000, std::ref(b));
  EXPECT_STREQ(big.plug->ReadoutInText(), small.plug->ReadoutInText());
  EXPECT_NE(std::string(big.plug->ReadoutInText()), "-inf");
}

// Regression: one NaN sample poisoned the momentary meter for every block after it.
TEST(Receiver, NonFiniteSamplesDoNotPoisonTheMeters) {
  ReceiverRig rig("rx");
  rig.SetParam(ParamAnalysis, 1.0);
  NoiseSource src(0.3);
  rig.Run(512, [&](int k, int ch) { return k == 10 ? (ch ? INFINITY : NAN) : src(k, ch); });
  EXPECT_TRUE(std::isnan(rig.out0[10])); // the audio itself passes through
  for (int i = 0; i < 50; ++i)
    rig.Run(512, std::ref(src));
  const std::string in = rig.plug->ReadoutInText();
  EXPECT_NE(in, "nan");
  EXPECT_NE(in, "-nan");
  EXPECT_TRUE(std::isfinite(std::stod(in))) << in;
  EXPECT_TRUE(std::isfinite(rig.plug->IntegratedLoudness()));
  EXPECT_TRUE(std::isfinite(rig.plug->SmoothedGain()));
}

// Regression: the momentary meter kept measuring at the first sample rate after a change.
TEST(Receiver, SampleRateChangeRetunesTheMeter) {
  ReceiverRig a("rx", 44100.0);
  ReceiverRig b("rx", 96000.0);
  a.plug->StoreSampleRate(96000.0);
  a.plug->Reset();
  int pa = 0, pb = 0;
  auto sineA = [&](int, int ch) {
    return ch ? 0.0 : 0.2 * std::sin(2 * std::numbers::pi * 5000.0 * pa++ / 96000.0);
  };
  auto sineB = [&](int, int ch) {
    return ch ? 0.0 : 0.2 * std::sin(2 * std::numbers::pi * 5000.0 * pb++ / 96000.0);
  };
  for (int i = 0; i < 100; ++i) {
    a.Run(960, sineA);
    b.Run(960, sineB);
  }
  EXPECT_STREQ(a.plug->ReadoutInText(), b.plug->ReadoutInText());
}

// A host that processes before ever setting a sample rate gets audio through unmatched.
TEST(Receiver, ProcessingBeforeResetPassesAudioThrough) {
  TestSession session("rx");
  ZolvarTesk_Receive plug(IPlugInstanceInfo{});
  std::vector<double> in(256, 0.5), out(256, 0.0);
  double* ins[] = {in.data(), in.data()};
  double* outs[] = {out.data(), out.data()};
  plug.ProcessDouble(ins, outs, 256);
  EXPECT_STREQ(plug.ReadoutInText(), "-inf");
  EXPECT_TRUE(std::isfinite(out[0]));
}

} // namespace
