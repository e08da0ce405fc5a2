// The receiver's modules as hosts drive them: one block through each VST2 audio callback, and for
// the 64-bit one the difference between in-place buffers and separate ones, whose inputs are
// copied so that the plug-in never writes into the host's input; one receiver's share of a core
// through the VST2 32-bit callback and through the AAX render procedure, and the sender's.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tests/support/TestSession.h"
#include "tools/sender/ReferenceSender.h"
#include "tools/aaxhost/AaxHost.h"
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

// Two channels of noise at 0.1, the same every run, and room for the output.
struct NoiseBlock {
  explicit NoiseBlock(int frames) {
    uint32_t s = 1;
    for (int c = 0; c < 2; ++c) {
      in[c].resize(frames);
      out[c].resize(frames);
      for (float& x : in[c]) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<float>(0.1 * ((s >> 8) / 8388608.0 - 1.0));
      }
      ins[c] = in[c].data();
      outs[c] = out[c].data();
    }
  }
  std::vector<float> in[2], out[2];
  float* ins[2];
  float* outs[2];
};

// The time a block takes over the time it lasts, in percent of one core ("core%").
void SetCoreShare(benchmark::State& state, double rate, int frames) {
  state.counters["core%"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * frames / rate / 100.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One receiver's share of a core through the 32-bit callback: the time a block takes over the
// time it lasts, in percent ("core%"), at the host's rate and block size, analysis off or on.
void BM_ModuleCore(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const int frames = static_cast<int>(state.range(1));
  const bool analysis = state.range(2) != 0;
  Rig rig(frames);
  if (!rig.plug) {
    state.SkipWithError("no module");
    return;
  }
  rig.plug->Suspend();
  rig.plug->SetSampleRate(rate);
  rig.plug->Resume();
  if (analysis) rig.plug->SetParameter(3, 1.0f);
  float* ins[] = {rig.inF[0].data(), rig.inF[1].data()};
  float* outs[] = {rig.outF[0].data(), rig.outF[1].data()};
  for (auto _ : state)
    rig.plug->ProcessReplacing(ins, outs, frames);
  SetCoreShare(state, rate, frames);
}

// The sender's module through the VST2 32-bit callback: pass-through, measuring and publishing.
void BM_SendModuleCore(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const int frames = static_cast<int>(state.range(1));
  TestSession session("sendbench");
  std::string error;
  std::unique_ptr<VstModule> module = VstModule::Load(ZT_SEND_MODULE, &error);
  std::unique_ptr<VstPlugin> plug = module ? VstPlugin::Create(*module, &error) : nullptr;
  if (!plug) {
    state.SkipWithError(error.c_str());
    return;
  }
  plug->recordCalls = false;
  plug->Open();
  plug->SetSampleRate(rate);
  plug->SetBlockSize(frames);
  plug->Resume();
  NoiseBlock block(frames);
  for (auto _ : state)
    plug->ProcessReplacing(block.ins, block.outs, frames);
  SetCoreShare(state, rate, frames);
  plug.reset();
}

// The same through the AAX module's render procedure (stereo component) with the mock host.
void BM_AaxModuleCore(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const int frames = static_cast<int>(state.range(1));
  const bool analysis = state.range(2) != 0;
  TestSession session("aaxbench");
  ReferenceSender sender;
  sender.Open();
  sender.PublishLufs(-18.0);
  std::string error;
  using zt::aaxhost::AaxInstance;
  using zt::aaxhost::AaxModule;
  std::unique_ptr<AaxModule> module = AaxModule::Load(ZT_AAX_MODULE, &error);
  std::unique_ptr<AaxInstance> plug =
      module ? AaxInstance::Create(*module, 1, &error, static_cast<float>(rate)) : nullptr;
  if (!plug) {
    state.SkipWithError(error.c_str());
    return;
  }
  plug->transport.playing = true;
  if (analysis) plug->Automate("4", 1.0);
  NoiseBlock block(frames);
  for (auto _ : state)
    plug->Render(block.ins, block.outs, frames);
  SetCoreShare(state, rate, frames);
  plug.reset();
}

BENCHMARK(BM_ModuleCore)
    ->ArgsProduct({{44100, 48000, 96000, 192000}, {1, 16, 64, 512, 4096}, {0, 1}})
    ->ArgNames({"rate", "frames", "analysis"});
BENCHMARK(BM_AaxModuleCore)
    ->ArgsProduct({{44100, 48000, 96000, 192000}, {1, 16, 64, 512, 4096}, {0, 1}})
    ->ArgNames({"rate", "frames", "analysis"});
BENCHMARK(BM_SendModuleCore)
    ->ArgsProduct({{44100, 48000, 96000, 192000}, {1, 16, 64, 512, 4096}})
    ->ArgNames({"rate", "frames"});
BENCHMARK(BM_Module64)->ArgsProduct({{64, 512, 4096}, {1, 0}})->ArgNames({"frames", "inPlace"});
BENCHMARK(BM_Module32)->Arg(64)->Arg(512)->Arg(4096)->ArgName("frames");

} // namespace

BENCHMARK_MAIN();
