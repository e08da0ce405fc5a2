// Fuzz target: state restore through the receiver module's chunk opcode, as a host that loads a
// damaged or hostile project would. The first byte picks the program or the bank chunk and
// whether the bytes start with the chunk header; the rest is the chunk. After the restore the
// instance must save a state that restores to the same bytes, and process audio to finite output.
// Two instances live through the whole run, each set back to the default state before an input.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSession.h"
#include "tools/vsthost/VstHost.h"

namespace {

struct Rig {
  std::unique_ptr<VstModule> module;
  std::unique_ptr<VstPlugin> plug, twin;
  std::vector<uint8_t> defaultBank;
};
Rig* gRig = nullptr;

void Check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "fuzz_state_chunk: %s\n", what);
  abort();
}

std::unique_ptr<VstPlugin> Started(VstModule& module) {
  std::string error;
  auto plug = VstPlugin::Create(module, &error);
  Check(plug != nullptr, error.c_str());
  plug->recordCalls = false;
  plug->Open();
  plug->SetSampleRate(48000.0);
  plug->SetBlockSize(256);
  plug->Resume();
  return plug;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static TestSession session("fuzzchunk"); // a segment of its own, removed at exit
  gRig = new Rig;
  std::string error;
  gRig->module = VstModule::Load(ZT_VST2_MODULE, &error);
  Check(gRig->module != nullptr, error.c_str());
  gRig->plug = Started(*gRig->module);
  gRig->twin = Started(*gRig->module);
  gRig->defaultBank = gRig->plug->GetChunk(false);
  Check(!gRig->defaultBank.empty(), "no default state");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  VstPlugin& plug = *gRig->plug;
  VstPlugin& twin = *gRig->twin;
  Check(plug.SetChunk(gRig->defaultBank, false) == 1, "the default state was refused");

  const bool program = data[0] & 1;
  std::vector<uint8_t> chunk;
  if (data[0] & 2) { // with the header the adapter writes
    const uint8_t header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
    chunk.assign(header, header + 8);
  }
  chunk.insert(chunk.end(), data + 1, data + size);
  // Whatever was restored is a state the plug-in saves, and restores to the same bytes.
  if (plug.SetChunk(chunk, program) == 1) {
    const std::vector<uint8_t> saved = plug.GetChunk(program);
    Check(!saved.empty(), "no state after a restore");
    Check(twin.SetChunk(saved, program) == 1, "a saved state was refused");
    Check(twin.GetChunk(program) == saved, "save, restore and save differ");
  }

  std::vector<float> in0(256, 0.25f), in1(256, -0.25f), out0(256), out1(256);
  float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {out0.data(), out1.data()};
  for (int block = 0; block < 4; ++block) {
    plug.ProcessReplacing(ins, outs, 256);
    for (int k = 0; k < 256; ++k)
      Check(std::isfinite(out0[k]) && std::isfinite(out1[k]), "output not finite");
  }
  return 0;
}
