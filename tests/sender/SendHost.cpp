// zt_send_host: a host process of its own for the sender's VST2 module, driven line by line
// from standard input, so that tests meet a sender in another process as a DAW's would be:
//   play AMPLITUDE BLOCKS   process BLOCKS blocks of 512 frames of a 997 Hz sine (48 kHz)
//   suspend | resume        opcode 12 off / on
//   send 0|1                the Send parameter
//   close                   close the instance (opcode 1)
//   kill                    end the process at once, as a crash does: nothing is cleaned up
//   exit                    close and end
// Answers nothing: the tests watch the segment.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

#include "tests/sender/Sine.h"
#include "tools/vsthost/VstHost.h"

namespace {

void KillSelf() {
#if defined(_WIN32)
  TerminateProcess(GetCurrentProcess(), 9);
#else
  kill(getpid(), SIGKILL);
#endif
  std::abort();
}

void Play(VstPlugin& plug, double amplitude, int blocks, long& frame) {
  std::vector<float> in(512), out0(512), out1(512);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out0.data(), out1.data()};
  for (int b = 0; b < blocks; ++b) {
    FillSine(in.data(), 512, amplitude, frame);
    plug.ProcessReplacing(ins, outs, 512);
  }
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: zt_send_host MODULE < commands\n");
    return 2;
  }
  std::string error;
  std::unique_ptr<VstModule> module = VstModule::Load(argv[1], &error);
  std::unique_ptr<VstPlugin> plug = module ? VstPlugin::Create(*module, &error) : nullptr;
  if (!plug) {
    fprintf(stderr, "zt_send_host: %s\n", error.c_str());
    return 1;
  }
  StartInsert(*plug);

  long frame = 0;
  char line[256];
  while (fgets(line, sizeof line, stdin)) {
    char command[32] = {};
    double a = 0.0;
    int n = 0;
    const int fields = sscanf(line, "%31s %lf %d", command, &a, &n);
    if (fields < 1) continue;
    if (!strcmp(command, "play") && fields == 3) {
      Play(*plug, a, n, frame);
    } else if (!strcmp(command, "suspend")) {
      plug->Suspend();
    } else if (!strcmp(command, "resume")) {
      plug->Resume();
    } else if (!strcmp(command, "send") && fields >= 2) {
      plug->SetParameter(0, a != 0.0 ? 1.0f : 0.0f);
    } else if (!strcmp(command, "close")) {
      plug->Close();
    } else if (!strcmp(command, "kill")) {
      KillSelf();
    } else if (!strcmp(command, "exit")) {
      break;
    } else {
      fprintf(stderr, "zt_send_host: unknown command %s", line);
      return 2;
    }
  }
  plug.reset();
  return 0;
}
