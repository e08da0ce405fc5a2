#pragma once
// The buffers a host hands a plug-in for one block: per channel an input and an output of
// `Sample` (float for the single-precision callbacks, double for the 64-bit one), and the arrays
// of pointers to them.

#include <algorithm>
#include <vector>

#include "tests/support/Signals.h"

template <typename Sample> struct HostBlock {
  explicit HostBlock(int frames, int channels = 2)
      : in(channels, std::vector<Sample>(frames)), out(channels, std::vector<Sample>(frames)) {
    for (int c = 0; c < channels; ++c) {
      inPtr.push_back(in[c].data());
      outPtr.push_back(out[c].data());
    }
  }
  HostBlock(const HostBlock&) = delete;
  HostBlock& operator=(const HostBlock&) = delete;

  void FillNoise(Noise& noise, double amplitude) {
    for (auto& ch : in)
      for (Sample& s : ch)
        s = static_cast<Sample>(amplitude * noise.Next());
  }
  // Copies the input samples of another block (of either precision), keeping this block's own
  // buffers.
  template <typename Other> void CopyIn(const HostBlock<Other>& other) {
    for (size_t c = 0; c < in.size() && c < other.in.size(); ++c)
      std::transform(other.in[c].begin(), other.in[c].end(), in[c].begin(),
                     [](Other s) { return static_cast<Sample>(s); });
  }

  std::vector<std::vector<Sample>> in, out;
  std::vector<Sample*> inPtr, outPtr;
};

using FloatBlock = HostBlock<float>;
using DoubleBlock = HostBlock<double>;
