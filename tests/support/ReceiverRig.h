#pragma once
// A receiver on the host-less adapter with stereo buffers, driven block by block.

#include <functional>
#include <memory>
#include <vector>

#include "tests/support/TestSession.h"
#include "plugin/ZolvarTesk_Receive.h"

struct ReceiverRig {
  explicit ReceiverRig(const char* tag, double rate = 48000.0, int block = 512)
      : session(tag), rate(rate) {
    plug = std::make_unique<ZolvarTesk_Receive>(IPlugInstanceInfo{});
    plug->StoreSampleRate(rate);
    plug->ChangeBlockSize(block);
    plug->Reset();
  }

  // Fills the inputs with fill(k, channel) for k in [0, frames) and runs one block.
  void Run(int frames, const std::function<double(int, int)>& fill) {
    Resize(frames);
    for (int k = 0; k < frames; ++k) {
      in0[k] = fill(k, 0);
      in1[k] = fill(k, 1);
    }
    Process(frames);
  }
  void Process(int frames) {
    Resize(frames);
    orig0 = in0;
    orig1 = in1;
    double* ins[2] = {in0.data(), in1.data()};
    double* outs[2] = {out0.data(), out1.data()};
    plug->ProcessDouble(ins, outs, frames);
  }
  void Resize(int frames) {
    if (static_cast<int>(in0.size()) < frames) {
      in0.resize(frames);
      in1.resize(frames);
      out0.resize(frames);
      out1.resize(frames);
    }
  }
  void SetParam(int idx, double value) {
    plug->GetParam(idx)->SetClamped(value);
    plug->ParameterChanged(idx, kSourceHost);
  }

  TestSession session;
  double rate;
  std::unique_ptr<ZolvarTesk_Receive> plug;
  std::vector<double> in0, in1, out0, out1, orig0, orig1;
};
