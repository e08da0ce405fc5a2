// The receiver's module as a host drives it: one block through each audio callback, and for the
// 64-bit one the difference between in-place buffers and separate ones, whose inputs are copied
// so that the plug-in never writes into the host's input.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tests/support/TestSession.h"
#include "tools/sender/ReferenceSender.h"
#include "tools/vsthost/VstHost.h"

namespace {

struct Rig {
  explicit Rig(int frames) : session("modbench") {
    std::string error;
    module = VstModule::Load(ZT_VST2_MODULE, &error);
    if (!module) return;
    plug = VstPlugin::Create(*module, &error);
    plug->recordCalls = false;
    plug->Open();
    plug->SetSampleRate(48000.0);
    plug->SetBlockSize(frames);
    plug->Resume();
    plug->transport.playing = true;
    sender.Open();
    sender.PublishLufs(-18.0);
    uint32_t s = 1;
    for (int c = 0; c < 2; ++c) {
      in[c].resize(frames);
      out[c].resize(frames);
      for (double& x : in[c]) {
        s = s * 1664525u + 1013904223u;
        x = 0.1 * ((s >> 8) / 8388608.0 - 1.0);
      }
      source[c] = in[c];
      inF[c].assign(in[c].begin(), in[c].end());
      outF[c].resize(frames);
    }
  }
  TestSession session;
  ReferenceSender sender;
  std::unique_ptr<VstModule> module;
  std::unique_ptr<VstPlugin> plug;
  std::vector<double> source[2], in[2], out[2];
  std::vector<float> inF[2], outF[2];
};

void BM_Module64(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const bool inPlace = state.range(1) != 0;
  Rig rig(frames);
  if (!rig.plug) {
    state.SkipWithError("no module");
    return;
  }
  double* ins[] = {rig.in[0].data(), rig.in[1].data()};
  double* outs[] = {rig.out[0].data(), rig.out[1].data()};
  // Both variants start every block from the same input, as a host's fresh block would.
  for (auto _ : state) {
    for (int c = 0; c < 2; ++c)
      std::copy(rig.source[c].begin(), rig.source[c].end(), rig.in[c].begin());
    rig.plug->ProcessDouble(ins, inPlace ? ins : outs, frames);
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

void BM_Module32(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  Rig rig(frames);
  if (!rig.plug) {
    state.SkipWithError("no module");
    return;
  }
  float* ins[] = {rig.inF[0].data(), rig.inF[1].data()};
  float* outs[] = {rig.outF[0].data(), rig.outF[1].data()};
  for (auto _ : state)
    rig.plug->ProcessReplacing(ins, outs, frames);
  state.SetItemsProcessed(state.iterations() * frames);
}

BENCHMARK(BM_Module64)->ArgsProduct({{64, 512, 4096}, {1, 0}})->ArgNames({"frames", "inPlace"});
BENCHMARK(BM_Module32)->Arg(64)->Arg(512)->Arg(4096)->ArgName("frames");

} // namespace

BENCHMARK_MAIN();
