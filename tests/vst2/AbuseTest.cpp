// A hostile host, in the spirit of pluginval and clap-validator, through the loaded module. From
// a seed it prints (ZT_ABUSE_SEED picks another; ZT_ABUSE_ROUNDS the length) it:
// - announces random block sizes from 0 to 8192 and hands blocks of 0 up to four times that;
// - sets sample rates from 8 kHz to 768 kHz, and rates no host should send;
// - feeds noise at any level, silence, denormals, huge finite samples, NaN and infinity;
// - processes in place and into separate buffers, with guard zones after every buffer;
// - changes parameters and saves and restores states from a second thread while a third
//   processes;
// - opens and closes 32 instances in random order;
// - restores garbage, truncated and 3 MB chunks, and checks that save, restore and save give the
//   same bytes;
// while a second process scribbles on the shared segment. It checks that nothing crashes or
// hangs, that every output of a finite input is finite, that nothing is written past what was
// given (or into separate inputs), and, where the allocation probe exists, that the audio path
// allocates nothing and locks nothing but the instance mutex.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ModuleSuite.h"
#include "tests/support/TestSession.h"
#if defined(ZT_ALLOC_PROBE)
#include "tests/support/AllocProbe.h"
#endif

#ifndef ZT_ABUSE_ROUNDS
#define ZT_ABUSE_ROUNDS 40000
#endif

namespace {

constexpr int kMaxBlock = 8192;
constexpr int kMaxFrames = 4 * kMaxBlock;
using Rng = std::mt19937_64;

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

int Pick(Rng& rng, int lo, int hi) { // lo..hi inclusive
  return lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo + 1));
}

// A host buffer: frames of T with a guard zone of a fixed byte pattern on either side, which no
// call may touch.
template <typename T> class Guarded {
public:
  explicit Guarded(int frames) : cells_(static_cast<size_t>(frames) + 2 * kGuard) {
    memset(cells_.data(), kPattern, sizeof(T) * cells_.size());
  }
  T* Data() { return cells_.data() + kGuard; }
  // Lays the guard right behind the first `frames` (a block after a longer one used more).
  void Arm(int frames) { memset(Data() + frames, kPattern, sizeof(T) * kGuard); }
  bool Intact(int frames) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(cells_.data());
    const size_t after = (kGuard + static_cast<size_t>(frames)) * sizeof(T);
    for (size_t i = 0; i < kGuard * sizeof(T); ++i)
      if (bytes[i] != kPattern || bytes[after + i] != kPattern) return false;
    return true;
  }

private:
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kPattern = 0xA5;
  std::vector<T> cells_;
};

enum class Content { Noise, Silence, Denormal, Hot, NotFinite };

// One audio thread's buffers and what it found.
struct AudioSide {
  AudioSide() {
    for (int c = 0; c < 2; ++c) {
      inF.emplace_back(kMaxFrames), outF.emplace_back(kMaxFrames);
      inD.emplace_back(kMaxFrames), outD.emplace_back(kMaxFrames);
    }
  }
  std::vector<Guarded<float>> inF, outF;
  std::vector<Guarded<double>> inD, outD;
  std::vector<uint8_t> given[2]; // the inputs' bytes as handed over
  long blocks = 0, allocations = 0, foreignLocks = 0;
  std::string failure; // the first thing that went wrong, with what led to it
};

bool Finite(double v) {
  return std::isfinite(v);
}

// Fills the inputs; false when they hold samples that are not finite.
template <typename T>
bool Fill(std::vector<Guarded<T>>& in, int frames, Content content, Rng& rng) {
  const double level = content == Content::Hot        ? std::min(FLT_MAX * 0.5, 1e30)
                       : content == Content::Denormal ? 1e-310
                       : content == Content::Silence  ? 0.0
                                                      : std::ldexp(1.0, -Pick(rng, 0, 40));
  bool finite = true;
  for (auto& ch : in)
    for (int k = 0; k < frames; ++k) {
      double v = level * (static_cast<double>(rng() % 2001) / 1000.0 - 1.0);
      if (content == Content::NotFinite && rng() % 64 == 0) {
        v = rng() % 2 ? NAN : -INFINITY;
        finite = false;
      }
      ch.Data()[k] = static_cast<T>(v);
    }
  return finite;
}

// One host block through one of the three callbacks, in place or into separate buffers.
template <typename T>
void OneBlock(VstPlugin& plug, AudioSide& a, std::vector<Guarded<T>>& in,
              std::vector<Guarded<T>>& out, int frames, bool inPlace, int mode, Rng& rng,
              const void* instanceMutex) {
  const Content content = static_cast<Content>(Pick(rng, 0, 4));
  const bool finite = Fill(in, frames, content, rng);
  for (int c = 0; c < 2; ++c) {
    in[c].Arm(frames);
    out[c].Arm(frames);
    const auto* bytes = reinterpret_cast<const uint8_t*>(in[c].Data());
    a.given[c].assign(bytes, bytes + sizeof(T) * static_cast<size_t>(frames));
    for (int k = 0; k < frames; ++k)
      out[c].Data()[k] = static_cast<T>(0.125); // what an accumulating host already holds
  }
  T* ins[] = {in[0].Data(), in[1].Data()};
  T* outs[] = {out[0].Data(), out[1].Data()};
  T** dest = inPlace ? ins : outs;
  auto call = [&] {
    if constexpr (std::is_same_v<T, double>)
      plug.ProcessDouble(ins, dest, frames);
    else if (mode == 0)
      plug.ProcessReplacing(ins, dest, frames);
    else
      plug.ProcessAccumulating(ins, dest, frames);
  };
#if defined(ZT_ALLOC_PROBE)
  const ProbeCounts counts = AllocProbe::Measure(call, instanceMutex, true);
  a.allocations += counts.allocations;
  a.foreignLocks += counts.foreignLocks;
#else
  (void)instanceMutex;
  call();
#endif
  ++a.blocks;
  std::vector<Guarded<T>>& result = inPlace ? in : out;
  for (int c = 0; c < 2 && a.failure.empty(); ++c) {
    if (!in[c].Intact(frames) || !out[c].Intact(frames))
      a.failure = "wrote past the buffer of channel " + std::to_string(c);
    else if (!inPlace && memcmp(a.given[c].data(), in[c].Data(), a.given[c].size()) != 0)
      a.failure = "wrote into the separate input of channel " + std::to_string(c);
    else if (finite && !std::all_of(result[c].Data(), result[c].Data() + frames, Finite)) {
      a.failure = "output not finite on channel " + std::to_string(c);
      if (getenv("ZT_ABUSE_DEBUG")) {
        const T* r = result[c].Data();
        const int k = static_cast<int>(std::find_if_not(r, r + frames, Finite) - r);
        fprintf(stderr, "DEBUG sample %d = %g; in %g; params:", k, double(r[k]),
                double(reinterpret_cast<const T*>(a.given[c].data())[k]));
        for (int p = 0; p < 5; ++p)
          fprintf(stderr, " [%s %s]", plug.ParamName(p).c_str(), plug.ParamDisplay(p).c_str());
        fprintf(stderr, "\n");
      }
    }
    if (!a.failure.empty())
      a.failure += " (" + std::to_string(frames) + " frames, content " +
                   std::to_string(static_cast<int>(content)) + ", " +
                   (inPlace ? "in place" : "separate") + ", callback " +
                   (std::is_same_v<T, double> ? "double"
                    : mode                    ? "accumulating"
                                              : "replacing") +
                   ")";
  }
}

// A random block on the audio side: frames from 0 to four times the announced block size.
void RandomBlock(VstPlugin& plug, AudioSide& a, int announced, Rng& rng, const void* mutex) {
  const int frames = Pick(rng, 0, std::clamp(4 * announced, 1, kMaxFrames));
  const bool inPlace = rng() % 2;
  const int callback = Pick(rng, 0, 2);
  if (callback == 2)
    OneBlock(plug, a, a.inD, a.outD, frames, inPlace, 0, rng, mutex);
  else
    OneBlock(plug, a, a.inF, a.outF, frames, inPlace, callback, rng, mutex);
}

// What the host's set-up thread does at any moment: block size, sample rate, processing
// switched off and on, channel arrangements, all of them also with values no host should send.
void RandomSetUp(VstPlugin& plug, std::atomic<int>& announced, Rng& rng) {
  static const float kRates[] = {0.0f,   -1.0f, NAN,     INFINITY, -INFINITY, 0.5f,
                                 1e-30f, 1e30f, FLT_MIN, 8000.0f,  768000.0f};
  static const intptr_t kSizes[] = {0, -1, INT_MAX, INTPTR_MAX, INTPTR_MIN, 1, kMaxBlock};
  switch (Pick(rng, 0, 5)) {
  case 0: {
    const intptr_t size = rng() % 4 ? Pick(rng, 0, kMaxBlock) : kSizes[rng() % std::size(kSizes)];
    plug.Dispatch(kEffSetBlockSize, 0, size);
    if (size >= 1 && size <= kMaxFrames) announced = static_cast<int>(size);
    break;
  }
  case 1: {
    const float rate =
        rng() % 4 ? static_cast<float>(Pick(rng, 8000, 768000)) : kRates[rng() % std::size(kRates)];
    plug.Dispatch(kEffSetSampleRate, 0, 0, nullptr, rate);
    break;
  }
  case 2:
    plug.Dispatch(kEffMainsChanged, 0, static_cast<intptr_t>(rng() % 2));
    break;
  case 3: {
    VstSpeakerArrangement in{}, out{};
    in.numChannels = Pick(rng, -1, 3);
    out.numChannels = Pick(rng, -1, 3);
    plug.Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out);
    break;
  }
  default:
    plug.Dispatch(kEffMainsChanged, 0, 1);
    break;
  }
}

// A chunk a hostile or damaged project holds: garbage, a valid one cut short, or 3 MB.
std::vector<uint8_t> HostileChunk(VstPlugin& plug, Rng& rng) {
  std::vector<uint8_t> bytes;
  switch (Pick(rng, 0, 9)) {
  case 0:
    bytes.resize(3 << 20);
    break;
  case 1:
  case 2: {
    bytes = plug.GetChunk(rng() % 2);
    bytes.resize(rng() % (bytes.size() + 1));
    break;
  }
  default:
    bytes.resize(rng() % 4096);
    break;
  }
  for (uint8_t& b : bytes)
    b = static_cast<uint8_t>(rng());
  return bytes;
}

// Save, restore and save again: the same bytes (with analysis off, which a restore switches off).
bool RoundTripHolds(VstPlugin& plug, bool program) {
  plug.SetParameter(3, 0.0f);
  const std::vector<uint8_t> saved = plug.GetChunk(program);
  return !saved.empty() && plug.SetChunk(saved, program) == 1 && plug.GetChunk(program) == saved;
}

// What the host's user-interface thread does at any moment: parameters by value and by text,
// their texts, states saved, restored and mangled.
void RandomUserAction(VstPlugin& plug, Rng& rng, std::string& failure) {
  static const float kValues[] = {0.0f, 1.0f, 0.5f, -1.0f, 2.0f, NAN, INFINITY, 1e-40f};
  static const char* kTexts[] = {"on", "off", "-12", "nan", "1e308", "-inf", "", "x\x01\xff"};
  const int index = rng() % 8 ? Pick(rng, 0, 4) : (rng() % 2 ? -1 : INT_MAX);
  switch (Pick(rng, 0, 6)) {
  case 0:
    plug.SetParameter(index, rng() % 3 ? static_cast<float>(rng() % 1001) / 1000.0f
                                       : kValues[rng() % std::size(kValues)]);
    break;
  case 1:
    plug.SetParameterText(index, kTexts[rng() % std::size(kTexts)]);
    break;
  case 2:
    plug.ParamDisplay(index), plug.ParamLabel(index), plug.ParamName(index);
    plug.GetParameter(index);
    break;
  case 3:
    plug.SetChunk(HostileChunk(plug, rng), rng() % 2);
    break;
  case 4:
    if (!RoundTripHolds(plug, rng() % 2) && failure.empty())
      failure = "save, restore and save gave other bytes";
    break;
  default:
    plug.Dispatch(kEffSetProgram, 0, Pick(rng, -2, 2));
    break;
  }
}

// The second process: scribbles on the segment until the test ends.
class Scribbler {
public:
  Scribbler(const std::string& session, uint64_t seed)
      : stop_(testing::TempDir() + "abuse-stop-" + session) {
    std::remove(stop_.c_str());
    const std::string command =
        std::string(ZT_SCRIBBLER) + " " + session + " " + stop_ + " " + std::to_string(seed);
    pipe_ = popen(command.c_str(), "r");
  }
  // Stops it; the number of writes it made, or -1 when it failed.
  long long Stop() {
    if (!pipe_) return -1;
    fclose(fopen(stop_.c_str(), "w"));
    long long writes = -1;
    if (fscanf(pipe_, "%lld", &writes) != 1) writes = -1;
    const int status = pclose(pipe_);
    pipe_ = nullptr;
    std::remove(stop_.c_str());
    return status == 0 ? writes : -1;
  }
  ~Scribbler() {
    if (pipe_) Stop();
  }

private:
  std::string stop_;
  FILE* pipe_ = nullptr;
};

class HostAbuse : public ModuleSuite {
protected:
  // An instance set up as a host does it, and the instance mutex its audio path may take.
  std::unique_ptr<VstPlugin> Started(Rng& rng, const void** mutex) {
    auto plug = NewInstance();
    if (!plug) return plug;
    plug->recordCalls = false;
    plug->Open();
    plug->SetSampleRate(Pick(rng, 8000, 192000));
    plug->SetBlockSize(512);
    plug->Resume();
    plug->transport.playing = true;
    *mutex = nullptr;
#if defined(ZT_ALLOC_PROBE)
    *mutex = AllocProbe::Measure([&] { plug->Dispatch(kEffGetTailSize); }).firstMutex;
#endif
    return plug;
  }

  TestSession session{"abuse"};
};

TEST_F(HostAbuse, AHostileHostNeverHurtsTheMix) {
  const uint64_t seed = EnvNumber("ZT_ABUSE_SEED", 0x2A5B0D1E);
  const long rounds = static_cast<long>(EnvNumber("ZT_ABUSE_ROUNDS", ZT_ABUSE_ROUNDS));
  printf("host abuse: seed 0x%llx, %ld rounds (set ZT_ABUSE_SEED, ZT_ABUSE_ROUNDS to change)\n",
         static_cast<unsigned long long>(seed), rounds);
  Rng rng(seed);
  auto first = NewInstance(); // creates the segment for the scribbler to find
  Scribbler scribbler(session.Key(), seed);

  // One instance, three threads: audio, user interface, set-up.
  const void* mutex = nullptr;
  auto plug = Started(rng, &mutex);
  ASSERT_NE(plug, nullptr);
  std::atomic<int> announced{512};
  std::atomic<bool> audioDone{false};
  AudioSide audio;
  std::string uiFailure;
  std::thread ui([&, uiSeed = rng()] {
    Rng r(uiSeed);
    while (!audioDone.load(std::memory_order_acquire))
      RandomUserAction(*plug, r, uiFailure);
  });
  std::thread audioThread([&, audioSeed = rng()] {
    Rng r(audioSeed);
    for (long i = 0; i < rounds && audio.failure.empty(); ++i) {
      if (r() % 64 == 0) plug->transport.playing = !plug->transport.playing;
      RandomBlock(*plug, audio, announced.load(), r, mutex);
    }
    audioDone.store(true, std::memory_order_release);
  });
  while (!audioDone.load(std::memory_order_acquire)) {
    RandomSetUp(*plug, announced, rng);
    std::this_thread::sleep_for(std::chrono::microseconds(Pick(rng, 0, 2000)));
  }
  audioThread.join();
  ui.join();
  EXPECT_EQ(audio.failure, "") << "after " << audio.blocks << " blocks";
  EXPECT_EQ(uiFailure, "");

  // 32 instances opened, played and closed in random order.
  std::vector<std::unique_ptr<VstPlugin>> many;
  for (int i = 0; i < 32; ++i)
    many.push_back(Started(rng, &mutex));
  while (!many.empty() && audio.failure.empty()) {
    const size_t k = rng() % many.size();
    if (rng() % 3 == 0) {
      many.erase(many.begin() + static_cast<ptrdiff_t>(k)); // closes it
      continue;
    }
    const void* instanceMutex = nullptr;
#if defined(ZT_ALLOC_PROBE)
    instanceMutex = AllocProbe::Measure([&] { many[k]->Dispatch(kEffGetTailSize); }).firstMutex;
#endif
    RandomBlock(*many[k], audio, 512, rng, instanceMutex);
  }
  EXPECT_EQ(audio.failure, "");
  EXPECT_EQ(audio.allocations, 0) << "allocations on the audio path";
  EXPECT_EQ(audio.foreignLocks, 0) << "locks other than the instance mutex on the audio path";
  const long long writes = scribbler.Stop();
  EXPECT_GT(writes, 0) << "the second process did not scribble";
  printf("host abuse: %ld blocks processed beside %lld writes of the second process\n",
         audio.blocks, writes);
}

} // namespace
