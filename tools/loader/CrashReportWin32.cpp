#include "tools/loader/CrashReport.h"

#include <atomic>
#include <cstdio>

#include <windows.h>

namespace zt::loader {

namespace {

const char* gProgram = "host";
std::atomic<const char*> gStep{"starting"};

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  const DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
  fprintf(stderr, "%s: the plug-in crashed (exception 0x%08lX) while %s\n", gProgram,
          static_cast<unsigned long>(code), gStep.load(std::memory_order_relaxed));
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), kCrashExitStatus);
  return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void InstallCrashReport(const char* program) {
  gProgram = program;
  // No system dialog: the report is the answer.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(OnUnhandledException);
}

void SetCrashStep(const char* step) {
  gStep.store(step, std::memory_order_relaxed);
}

} // namespace zt::loader
