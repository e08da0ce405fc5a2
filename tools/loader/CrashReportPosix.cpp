#include "tools/loader/CrashReport.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace zt::loader {

namespace {

const char* gProgram = "host";
std::atomic<const char*> gStep{"starting"};

void Say(const char* text) {
  // Only async-signal-safe calls from here on.
  ssize_t unused = write(STDERR_FILENO, text, strlen(text));
  (void)unused;
}

void OnFatalSignal(int signal) {
  Say(gProgram);
  Say(": the plug-in crashed (");
  Say(signal == SIGSEGV  ? "segmentation fault"
      : signal == SIGBUS ? "bus error"
      : signal == SIGFPE ? "arithmetic exception"
      : signal == SIGILL ? "illegal instruction"
                         : "abort");
  Say(") while ");
  Say(gStep.load(std::memory_order_relaxed));
  Say("\n");
  _exit(kCrashExitStatus);
}

} // namespace

void InstallCrashReport(const char* program) {
  gProgram = program;
  struct sigaction action {};
  action.sa_handler = OnFatalSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
    sigaction(s, &action, nullptr);
}

void SetCrashStep(const char* step) {
  gStep.store(step, std::memory_order_relaxed);
}

} // namespace zt::loader
