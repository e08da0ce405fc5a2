// Fuzz target: the reference link reading a shared segment that another process left in any
// state, and a receiver processing blocks against it; every output sample must be finite.
//
// The first byte picks one of two ways in:
// - opening (one input in eight): the rest of the input is the whole named object as a receiver
//   finds it when it is created, its size included; a new receiver opens and validates it. A
//   header whose magic or size field is still zero is what a creator in another process leaves
//   while it sets the segment up, and a receiver waits for it to finish: the fuzzer sees those
//   finished ("SMEM", 2176) instead, and spends its time past the header.
// - reading (the others): a receiver that opened a valid segment once reads it again and again;
//   the input's next two bytes give the size another process shrinks the object to (or leave
//   it), the rest goes into the data area: slots, levels and flags as any sender may write them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

#include "os/SharedMemory.h"
#include "plugin/ZolvarTesk_Receive.h"
#include "tests/support/TestSession.h"

namespace {

constexpr size_t kMaxObject = 8192;
constexpr uint64_t kSegmentBytes = kSegmentHeaderBytes + kSegmentDataBytes;

void Fail(const char* what) {
  fprintf(stderr, "fuzz_segment: %s\n", what);
  abort();
}

std::unique_ptr<ZolvarTesk_Receive> NewReceiver() {
  auto plug = std::make_unique<ZolvarTesk_Receive>(IPlugInstanceInfo{});
  plug->StoreSampleRate(48000.0);
  plug->ChangeBlockSize(512);
  plug->Reset();
  plug->transport.playing = true;
  plug->recordEvents = false;
  return plug;
}

// Quiet blocks, then loud ones: a large matching gain meets a loud block.
void Play(ZolvarTesk_Receive& plug) {
  std::vector<double> in0(512), in1(512), out0(512), out1(512);
  double* ins[] = {in0.data(), in1.data()};
  double* outs[] = {out0.data(), out1.data()};
  uint32_t noise = 1;
  for (int block = 0; block < 6; ++block) {
    const double amplitude = block < 3 ? 1e-5 : 0.9;
    for (int k = 0; k < 512; ++k) {
      noise = noise * 1664525u + 1013904223u;
      in0[k] = in1[k] = amplitude * ((noise >> 8) / 8388608.0 - 1.0);
    }
    plug.ProcessDouble(ins, outs, 512);
    for (int k = 0; k < 512; ++k)
      if (!std::isfinite(out0[k]) || !std::isfinite(out1[k])) Fail("output not finite");
  }
}

// What another process does to the object under the reader's mapping.
void Resize(const zt::os::SharedMapping& mapping, off_t bytes) {
  if (ftruncate(static_cast<int>(mapping.handle), bytes) != 0) Fail("cannot resize the object");
}

void Opening(const std::string& name, const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxObject) return;
  std::vector<uint8_t> image(data, data + size);
  static const uint8_t kZero[8] = {};
  if (size >= 4 && memcmp(image.data(), kZero, 4) == 0) memcpy(image.data(), "SMEM", 4);
  if (size >= 16 && memcmp(image.data() + 8, kZero, 8) == 0) {
    const uint64_t dataSize = kSegmentDataBytes;
    memcpy(image.data() + 8, &dataSize, 8);
  }
  zt::os::RemoveShared(name);
  zt::os::SharedMapping mapping;
  if (zt::os::MapShared(name, size, mapping) != zt::os::MapResult::Created) Fail("no object");
  memcpy(mapping.view, image.data(), size);
  Play(*NewReceiver());
  zt::os::UnmapShared(mapping);
  zt::os::RemoveShared(name); // the reader keeps the object it mapped
}

void Reading(const std::string& name, const uint8_t* data, size_t size) {
  static std::unique_ptr<ZolvarTesk_Receive> reader;
  static zt::os::SharedMapping mapping;
  if (!reader) {
    zt::os::RemoveShared(name);
    reader = NewReceiver(); // creates the segment
    if (zt::os::MapShared(name, kSegmentBytes, mapping) != zt::os::MapResult::Opened)
      Fail("no segment");
  }
  if (size < 2) return;
  const size_t shrinkTo = (data[0] | data[1] << 8) % 4096; // at or beyond 2240: left whole
  const size_t n = std::min<size_t>(size - 2, kSegmentDataBytes);
  auto* area = static_cast<uint8_t*>(mapping.view) + kSegmentHeaderBytes;
  memcpy(area, data + 2, n);
  if (shrinkTo < kSegmentBytes) Resize(mapping, static_cast<off_t>(shrinkTo));
  Play(*reader);
  if (shrinkTo < kSegmentBytes) Resize(mapping, static_cast<off_t>(kSegmentBytes));
  memset(area, 0, kSegmentDataBytes); // the next input starts from nothing flagged
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static TestSession session("fuzzseg"); // removed at exit
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::string name = zt::os::SharedName(kSegmentBaseName);
  if (data[0] % 8 == 0)
    Opening(name, data + 1, size - 1);
  else
    Reading(name, data + 1, size - 1);
  return 0;
}
