// The receiver's module against hostile senders, instance churn and hostile hosts: each test
// names the fault it guards against in its first comment line.
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/support/HostBlock.h"
#include "tests/support/ModuleSuite.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"
#include "tools/sender/ReferenceSender.h"

namespace {

class Hardening : public ModuleSuite {
protected:
  // An instance set up as a host does before processing, transport playing.
  std::unique_ptr<VstPlugin> Started(double rate = 48000.0, int block = 512) {
    auto plug = NewInstance();
    if (!plug) return plug;
    plug->Open();
    plug->SetSampleRate(rate);
    plug->SetBlockSize(block);
    plug->Resume();
    plug->transport.playing = true;
    return plug;
  }

  TestSession session{"harden"};
};

template <typename Sample> bool AllFinite(const HostBlock<Sample>& b) {
  for (const auto& ch : b.out)
    for (Sample s : ch)
      if (!std::isfinite(s)) return false;
  return true;
}

// Regression: a sender level that was finite but absurd (1e40; -3.1e231 from a fuzzer) passed
// the non-finite check, and the gain overflowed: infinity on the float path, non-finite output on
// the double path with hot input.
TEST_F(Hardening, EveryOutputIsFiniteWhateverTheSenderWritesAndTheHostFeeds) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  const double levels[] = {1e40, -3.1e231, 1e300, DBL_MAX, 31.6, 1e-300, 0.0};
  const double amplitudes[] = {1e-7, 0.5, 3.0e38, 1e300, DBL_MAX};
  for (double level : levels) {
    auto plug = Started();
    ASSERT_NE(plug, nullptr);
    sender.PublishRatio(level);
    Noise noise(11);
    for (double amplitude : amplitudes) {
      SCOPED_TRACE(testing::Message() << "level " << level << ", amplitude " << amplitude);
      for (int b = 0; b < 12; ++b) {
        // Quiet blocks first, so that a large matching gain meets the hot block.
        const double a = b < 8 ? 1e-6 : amplitude;
        DoubleBlock d(512);
        d.FillNoise(noise, a);
        plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 512);
        ASSERT_TRUE(AllFinite(d)) << "double, block " << b;
        FloatBlock f(512);
        f.FillNoise(noise, std::min(a, 3.0e38));
        plug->ProcessReplacing(f.inPtr.data(), f.outPtr.data(), 512);
        ASSERT_TRUE(AllFinite(f)) << "replacing, block " << b;
        plug->ProcessAccumulating(f.inPtr.data(), f.outPtr.data(), 512);
        ASSERT_TRUE(AllFinite(f)) << "accumulating, block " << b;
      }
    }
  }
}

// Regression: the 64-bit callback scaled the host's input buffers in place when they were not
// the output buffers, corrupting audio the host may feed to another path.
TEST_F(Hardening, SeparateInputBuffersAreLeftAsTheHostGaveThem) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-6.0); // far above the input: the gain is well away from 1
  auto separate = Started(), inPlace = Started();
  Noise noise(5);
  double in = 0.0, out = 0.0;
  for (int b = 0; b < 20; ++b) {
    DoubleBlock d(700); // longer than the block size: two slices
    d.FillNoise(noise, 0.05);
    const std::vector<std::vector<double>> given = d.in;
    separate->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 700);
    ASSERT_EQ(d.in, given) << "block " << b;
    // The same block processed in place by a twin gives the same output.
    DoubleBlock e(700);
    e.CopyIn(d);
    inPlace->ProcessDouble(e.inPtr.data(), e.inPtr.data(), 700);
    ASSERT_EQ(e.in, d.out) << "block " << b;
    in = std::fabs(d.in[0][699]);
    out = std::fabs(d.out[0][699]);
  }
  EXPECT_GT(out, 4.0 * in) << "the gain is far from 1, so a write would have shown";
}

// Regression (found by the host-abuse test): an input the host disconnected through a speaker
// arrangement kept in its scratch buffer the audio of the time it was connected, NaN included,
// and the plug-in read that as the silent channel.
TEST_F(Hardening, ADisconnectedInputReadsSilenceNotItsLastAudio) {
  auto plug = Started();
  ASSERT_EQ(plug->SetParameterText(0, "on"), 1); // bypass: the outputs are the inputs
  FloatBlock f(512);
  for (float& s : f.in[1])
    s = NAN;
  f.in[0].assign(512, 0.5f);
  plug->ProcessReplacing(f.inPtr.data(), f.outPtr.data(), 512); // into the scratch buffers
  VstSpeakerArrangement mono{}, stereo{};
  mono.numChannels = 1;
  stereo.numChannels = 2;
  plug->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&mono), &stereo);
  for (bool useDouble : {false, true}) {
    if (useDouble) {
      DoubleBlock d(512);
      d.in[0].assign(512, 0.25);
      plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 512);
      EXPECT_EQ(d.out[1], std::vector<double>(512, 0.0));
    } else {
      plug->ProcessReplacing(f.inPtr.data(), f.outPtr.data(), 512);
      EXPECT_EQ(f.out[1], std::vector<float>(512, 0.0f));
    }
  }
}

// Regression: a host that reported a vendor version near INTPTR_MAX made the version arithmetic
// overflow (undefined behaviour; the sanitizer build aborted).
TEST_F(Hardening, AnyVendorVersionOfTheHostIsTakenWithoutOverflow) {
  for (intptr_t version : {INTPTR_MAX, INTPTR_MIN, intptr_t{-1}, intptr_t{99999999999}}) {
    auto plug = NewInstance();
    ASSERT_NE(plug, nullptr);
    plug->hostVersion = version;
    plug->Open(); // identifies the host
    EXPECT_EQ(plug->CountCalls(kHostGetVendorVersion), 1) << version;
  }
}

// Regression: a sample rate between 0 and 1 Hz was accepted and held the gain near 0 for ever.
TEST_F(Hardening, RatesBelowOneHertzAreRefused) {
  auto plug = Started();
  for (float rate : {0.5f, 1e-30f, 0.999f})
    plug->Dispatch(kEffSetSampleRate, 0, 0, nullptr, rate);
  // Without a sender the gain goes to 1 within a few blocks at the rate set before.
  Noise noise(3);
  FloatBlock f(512);
  for (int b = 0; b < 10; ++b) {
    f.FillNoise(noise, 0.3);
    plug->ProcessReplacing(f.inPtr.data(), f.outPtr.data(), 512);
  }
  EXPECT_NEAR(f.out[0][511] / f.in[0][511], 1.0, 1e-3);
}

// Regression: slots were never given back, so hosts that open and close instances (scans,
// reloads, undo) used all 128 up, and the next receiver then wiped every slot, a live sender's
// too: its flag stayed up with the level -1.0, and receivers applied a 0 dB reference.
TEST_F(Hardening, ReceiversComingAndGoingNeverDisturbALiveSender) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-20.0);
  uint8_t* data = sender.Data();
  const int slot = sender.Slot();
  const double level = LoadSlot(data, slot, 1);
  auto freeSlots = [data] {
    int n = 0;
    for (int i = 0; i < kSlotCount; ++i)
      n += LoadSlot(data, i, 0) == kSlotFree ? 1 : 0;
    return n;
  };
  const int freeBefore = freeSlots();
  for (int i = 0; i < 1000; ++i) {
    auto plug = NewInstance();
    ASSERT_NE(plug, nullptr);
    ASSERT_EQ(LoadSlot(data, slot, 1), level) << "instance " << i;
    ASSERT_EQ(LoadFlag(data, slot), 1) << "instance " << i;
    plug->Close();
    ASSERT_EQ(freeSlots(), freeBefore) << "instance " << i << " kept its slot";
  }
  // And a receiver made after all that follows the sender.
  auto plug = Started();
  Noise noise(8);
  DoubleBlock d(4800);
  LoudnessProbe probe(48000);
  for (int b = 0; b < 20; ++b) {
    d.FillNoise(noise, 0.01);
    plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 4800);
    probe.Add(d.out[0].data(), d.out[1].data(), 4800);
  }
  EXPECT_NEAR(probe.Momentary(), -20.0, 1.0);
}

// Regression: at 16 and 17 Hz the loudness meters wrote past their buffers, and below about
// 3.4 kHz they measured nothing but NaN (the receiver muted itself for good). A rate below 8 kHz
// now has no meters: no measurement, no matching, the audio passes at unity, with analysis
// measuring nothing; back at a normal rate the receiver matches again.
TEST_F(Hardening, RatesTooLowToMeasurePassTheAudioAtUnity) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-6.0);
  for (double rate : {1.0, 16.0, 17.0, 1000.0, 3300.0, 7999.0}) {
    SCOPED_TRACE(rate);
    auto plug = Started(rate, 64);
    plug->SetParameter(3, 1.0f); // analysis on
    Noise noise(7);
    DoubleBlock d(64);
    for (int b = 0; b < 200; ++b) {
      d.FillNoise(noise, 0.05);
      plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 64);
      ASSERT_TRUE(AllFinite(d));
    }
    for (int k = 0; k < 64; ++k)
      ASSERT_NEAR(d.out[0][k], d.in[0][k], 1e-9 * std::fabs(d.in[0][k]));
    EXPECT_EQ(plug->ParamDisplay(4), "0") << "nothing measured";
    plug->Suspend();
    plug->SetSampleRate(48000.0);
    plug->Resume();
    for (int b = 0; b < 600; ++b) {
      d.FillNoise(noise, 0.05);
      plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 64);
    }
    EXPECT_GT(std::fabs(d.out[0][63]), 2.0 * std::fabs(d.in[0][63])) << "matching again";
  }
}

#if defined(__GLIBC__) && !defined(ZT_SANITIZED)
// Regression: every instance added bitmap records that were never released, so memory grew with
// each instance a host opened and closed.
TEST_F(Hardening, OpeningAndClosingInstancesLeavesMemoryFlat) {
  auto churn = [this](int count) {
    for (int i = 0; i < count; ++i) {
      auto plug = Started();
      FloatBlock f(512);
      plug->ProcessReplacing(f.inPtr.data(), f.outPtr.data(), 512);
    }
  };
  churn(50); // the process-wide caches fill once
  const size_t before = mallinfo2().uordblks;
  churn(1000);
  const size_t after = mallinfo2().uordblks;
  EXPECT_LT(after, before + 64 * 1024) << "heap in use grew from " << before << " to " << after;
}
#endif

#if !defined(_WIN32)
// Regression: another process shrinking the segment killed the host with SIGBUS at the next
// block; now a shrunk segment reads as no reference.
TEST_F(Hardening, ASegmentShrunkByAnotherProcessIsNoReference) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-6.0);
  auto plug = Started();
  Noise noise(4);
  DoubleBlock d(512);
  for (int b = 0; b < 50; ++b) { // the gain waits for the meter to fill after the start
    d.FillNoise(noise, 0.05);
    plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 512);
  }
  ASSERT_GT(std::fabs(d.out[0][511]), 2.0 * std::fabs(d.in[0][511]));
  const std::string file = "/dev/shm" + session.Name();
  ASSERT_EQ(std::system(("truncate -s 0 " + file).c_str()), 0);
  for (int b = 0; b < 30; ++b) {
    d.FillNoise(noise, 0.05);
    plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 512);
  }
  EXPECT_NEAR(d.out[0][511] / d.in[0][511], 1.0, 1e-6) << "no reference: unity gain";
  plug->Close(); // gives its slot back only into a segment that still has room
}

// Regression: a receiver died with SIGBUS when another process shrank the segment between the
// shrink check and the read of the slots. Here a thread shrinks the object to nothing and grows it
// back as fast as it can while a child process (which the parent watches) reads the segment with
// every 1 ms block; the reads must never fault, and the output stays finite.
TEST_F(Hardening, AReceiverSurvivesTheSegmentShrinkingDuringItsReads) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-6.0);
  auto plug = Started(48000.0, 48);
  const std::string file = "/dev/shm" + session.Name();
  const int fd = open(file.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(fstat(fd, &st), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Noise noise(5);
    DoubleBlock d(48);
    bool finite = true;
    for (int b = 0; b < 50000; ++b) { // the old reader faulted within a few milliseconds
      d.FillNoise(noise, 0.05);
      plug->ProcessDouble(d.inPtr.data(), d.outPtr.data(), 48);
      finite = finite && std::isfinite(d.out[0][47]);
    }
    _exit(finite ? 0 : 3);
  }
  std::atomic<bool> done{false};
  // The regrown object is all zeros: the sender publishes again each time, so that the reads also
  // meet a flagged slot, and one the sender is writing.
  std::thread shrinker([&] {
    for (int n = 0; !done.load(); ++n) {
      if (ftruncate(fd, 0) != 0 || ftruncate(fd, st.st_size) != 0) break;
      sender.PublishLufs(-6.0 - n % 7);
    }
  });
  int status = 0;
  waitpid(child, &status, 0);
  done = true;
  shrinker.join();
  close(fd);
  EXPECT_TRUE(WIFEXITED(status)) << "the reader died of signal " << WTERMSIG(status);
  if (WIFEXITED(status)) {
    // 3: a non-finite output; anything else: a sanitizer's report of a fault, above.
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  plug->Close();
}
#endif

} // namespace
