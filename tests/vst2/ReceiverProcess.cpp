// One receiver in a process of its own, for the tests where several processes meet in the shared
// segment. It loads the module and says "loaded", waits until the file GO exists (so that the
// receivers of all processes open the segment at the same moment), creates the receiver and says
// "ready", then plays quiet noise through it until its output follows the sender's level.
//   zt_receiver_process MODULE SESSION GO LUFS
// Exit 0 when the output's momentary loudness came within 1 LU of LUFS within 3 s, 1 when not,
// 2 on bad arguments.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"
#include "tools/vsthost/VstHost.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  SetEnv("ZOLVARTESK_SESSION", argv[2]);
  const char* go = argv[3];
  const double want = std::atof(argv[4]);
  std::string error;
  auto module = VstModule::Load(argv[1], &error);
  if (!module) {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  printf("loaded\n");
  fflush(stdout);
  while (!std::filesystem::exists(go))
    std::this_thread::yield(); // a sleep would wake up later than the other processes
  auto plug = VstPlugin::Create(*module, &error);
  if (!plug) return 1;
  printf("ready\n");
  fflush(stdout);

  plug->Open();
  plug->SetSampleRate(48000.0);
  plug->SetBlockSize(480);
  plug->Resume();
  Noise noise;
  std::vector<double> in0(480), in1(480), out0(480), out1(480);
  double* ins[] = {in0.data(), in1.data()};
  double* outs[] = {out0.data(), out1.data()};
  LoudnessProbe probe(48000);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (int block = 0; std::chrono::steady_clock::now() < until; ++block) {
    for (int k = 0; k < 480; ++k) {
      in0[k] = 0.01 * noise.Next();
      in1[k] = 0.01 * noise.Next();
    }
    plug->ProcessDouble(ins, outs, 480);
    probe.Add(out0.data(), out1.data(), 480);
    if (block >= 40 && std::fabs(probe.Momentary() - want) < 1.0) return 0;
    // A block every millisecond or so, so that the test's sender comes in before the time is up.
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  fprintf(stderr, "output at %.1f LUFS, the sender at %.1f\n", probe.Momentary(), want);
  return 1;
}
