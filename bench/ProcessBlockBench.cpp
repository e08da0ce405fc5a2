// The cost of the receiver's block processing against the bare libebur128 calls it makes, in our
// build (linked) and in Debian's (opened beside it), and the cost of an analysis block after a
// long session.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <ebur128.h>

#include "tools/sender/ReferenceSender.h"
#include "tests/support/DebianEbur128.h"
#include "tests/support/TestSession.h"
#include "plugin/ZolvarTesk_Receive.h"

namespace {

constexpr int kRate = 48000;

std::vector<double> MakeNoise(size_t n, double amp) {
  std::vector<double> v(n);
  uint32_t s = 1;
  for (double& x : v) {
    s = s * 1664525u + 1013904223u;
    x = amp * ((s >> 8) / 8388608.0 - 1.0);
  }
  return v;
}

struct Rig {
  explicit Rig(int frames) : session("bench") {
    plug = std::make_unique<ZolvarTesk_Receive>(IPlugInstanceInfo{});
    plug->recordEvents = false;
    plug->StoreSampleRate(kRate);
    plug->ChangeBlockSize(frames);
    plug->Reset();
    sender.Open();
    sender.PublishLufs(-18.0);
    src0 = MakeNoise(frames, 0.1);
    src1 = MakeNoise(frames, 0.12);
    in0.resize(frames);
    in1.resize(frames);
    out0.resize(frames);
    out1.resize(frames);
  }
  void Block(int frames) {
    memcpy(in0.data(), src0.data(), sizeof(double) * frames);
    memcpy(in1.data(), src1.data(), sizeof(double) * frames);
    double* ins[2] = {in0.data(), in1.data()};
    double* outs[2] = {out0.data(), out1.data()};
    plug->ProcessDouble(ins, outs, frames);
  }
  TestSession session;
  ReferenceSender sender;
  std::unique_ptr<ZolvarTesk_Receive> plug;
  std::vector<double> src0, src1, in0, in1, out0, out1;
};

void BM_ProcessBlock(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const bool analysis = state.range(1) != 0;
  Rig rig(frames);
  if (analysis) {
    rig.plug->GetParam(ParamAnalysis)->SetValue(1.0);
    rig.plug->ParameterChanged(ParamAnalysis, kSourceHost);
  }
  for (int i = 0; i < 20; ++i)
    rig.Block(frames);
  for (auto _ : state)
    rig.Block(frames);
  state.SetItemsProcessed(state.iterations() * frames);
}

// What libebur128 alone costs for the same audio: the calls the receiver makes per block, in a
// build of libebur128 given as its functions.
struct Ebur128Calls {
  ebur128_state* (*init)(unsigned int, unsigned long, int);
  void (*destroy)(ebur128_state**);
  int (*add_frames_double)(ebur128_state*, const double*, size_t);
  int (*loudness_momentary)(ebur128_state*, double*);
  int (*loudness_global)(ebur128_state*, double*);
};

void Ebur128Bare(benchmark::State& state, const Ebur128Calls& lib) {
  const int frames = static_cast<int>(state.range(0));
  const bool analysis = state.range(1) != 0;
  ebur128_state* m = lib.init(2, kRate, EBUR128_MODE_M);
  ebur128_state* i =
      analysis ? lib.init(2, kRate, EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM) : nullptr;
  const std::vector<double> src = MakeNoise(2 * static_cast<size_t>(frames), 0.1);
  std::vector<double> buf(src.size());
  for (auto _ : state) {
    memcpy(buf.data(), src.data(), sizeof(double) * buf.size());
    lib.add_frames_double(m, buf.data(), frames);
    double v;
    lib.loudness_momentary(m, &v);
    benchmark::DoNotOptimize(v);
    if (i) {
      lib.add_frames_double(i, buf.data(), frames);
      lib.loudness_global(i, &v);
      benchmark::DoNotOptimize(v);
    }
  }
  state.SetItemsProcessed(state.iterations() * frames);
  lib.destroy(&m);
  if (i) lib.destroy(&i);
}

// Ours: Debian's source built so that the 400 ms sum vectorises (scripts/deps.sh).
void BM_Ebur128Bare(benchmark::State& state) {
  Ebur128Bare(state, {ebur128_init, ebur128_destroy, ebur128_add_frames_double,
                      ebur128_loudness_momentary, ebur128_loudness_global});
}

// Debian's build of the same source, libebur128.so.1.
void BM_Ebur128DebianBare(benchmark::State& state) {
  static const DebianEbur128 debian;
  if (!debian.Error().empty()) {
    state.SkipWithError(debian.Error().c_str());
    return;
  }
  Ebur128Bare(state, {debian.init, debian.destroy, debian.add_frames_double,
                      debian.loudness_momentary, debian.loudness_global});
}

// One 512-frame analysis block after the analysis has already run for `minutes`.
void BM_AnalysisBlockAfterMinutes(benchmark::State& state) {
  const int minutes = static_cast<int>(state.range(0));
  Rig rig(4096);
  rig.plug->GetParam(ParamAnalysis)->SetValue(1.0);
  rig.plug->ParameterChanged(ParamAnalysis, kSourceHost);
  const long blocks = static_cast<long>(minutes) * 60 * kRate / 4096;
  for (long b = 0; b < blocks; ++b)
    rig.Block(4096);
  for (auto _ : state)
    rig.Block(512);
  state.counters["minutes"] = minutes;
}

// For contrast: the plain integrated mode, whose global loudness rescans every 100 ms block.
void BM_PlainIntegratedAfterMinutes(benchmark::State& state) {
  const int minutes = static_cast<int>(state.range(0));
  ebur128_state* st = ebur128_init(2, kRate, EBUR128_MODE_I);
  const std::vector<double> src = MakeNoise(2 * 4096, 0.1);
  const long blocks = static_cast<long>(minutes) * 60 * kRate / 4096;
  for (long b = 0; b < blocks; ++b)
    ebur128_add_frames_double(st, src.data(), 4096);
  for (auto _ : state) {
    ebur128_add_frames_double(st, src.data(), 512);
    double v;
    ebur128_loudness_global(st, &v);
    benchmark::DoNotOptimize(v);
  }
  state.counters["minutes"] = minutes;
  ebur128_destroy(&st);
}

// The reference read of one block: the data area copied through the descriptor (one pread on
// Linux, so that another process shrinking the segment cannot fault the host), and the flagged
// slot read again to see that it was not torn by the sender's write (a second pread).
void BM_ReadReference(benchmark::State& state) {
  Rig rig(512);
  ReferenceLink& link = rig.plug->Link();
  std::lock_guard<std::recursive_mutex> lock(rig.plug->Mutex());
  for (auto _ : state) {
    link.ReadReference();
    benchmark::DoNotOptimize(link.referenceDb);
  }
}

// The shrink check alone (the sender's, before it writes).
void BM_MappingIntact(benchmark::State& state) {
  Rig rig(512);
  const SharedSegment* segment = rig.plug->Link().Segment();
  for (auto _ : state)
    benchmark::DoNotOptimize(zt::os::MappingIntact(segment->mapping));
}

BENCHMARK(BM_ReadReference);
BENCHMARK(BM_MappingIntact);
BENCHMARK(BM_ProcessBlock)
    ->ArgsProduct({{64, 512, 4096}, {0, 1}})
    ->ArgNames({"frames", "analysis"});
BENCHMARK(BM_Ebur128Bare)->ArgsProduct({{64, 512, 4096}, {0, 1}})->ArgNames({"frames", "analysis"});
BENCHMARK(BM_Ebur128DebianBare)
    ->ArgsProduct({{64, 512, 4096}, {0, 1}})
    ->ArgNames({"frames", "analysis"});
BENCHMARK(BM_AnalysisBlockAfterMinutes)->Arg(1)->Arg(60)->ArgName("minutes")->Iterations(20000);
BENCHMARK(BM_PlainIntegratedAfterMinutes)->Arg(1)->Arg(60)->ArgName("minutes")->Iterations(2000);

// Prints the cost of our own work relative to libebur128's after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) perRun_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    printf("\nProcessBlock against the bare libebur128 calls (CPU time per block), in Debian's\n"
           "build (target ratio <= 0.6 at 64 and 512 frames) and in ours\n");
    printf("%8s %9s %14s %14s %8s %14s %8s\n", "frames", "analysis", "ProcessBlock", "Debian's",
           "ratio", "ours", "ratio");
    for (int frames : {64, 512, 4096}) {
      for (int analysis : {0, 1}) {
        const std::string suffix =
            "/frames:" + std::to_string(frames) + "/analysis:" + std::to_string(analysis);
        auto block = perRun_.find("BM_ProcessBlock" + suffix);
        auto debian = perRun_.find("BM_Ebur128DebianBare" + suffix);
        auto ours = perRun_.find("BM_Ebur128Bare" + suffix);
        if (block == perRun_.end() || debian == perRun_.end() || ours == perRun_.end()) continue;
        printf("%8d %9s %11.2f us %11.2f us %8.3f %11.2f us %8.3f\n", frames,
               analysis ? "on" : "off", block->second / 1000.0, debian->second / 1000.0,
               block->second / debian->second, ours->second / 1000.0, block->second / ours->second);
      }
    }
  }

private:
  std::map<std::string, double> perRun_;
};

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
