// zt-sender: publishes a reference loudness into the shared segment for receivers to follow.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tools/sender/ReferenceSender.h"

namespace {

std::atomic<bool> gStop{false};
void OnSignal(int) {
  gStop = true;
}

void Usage(FILE* f) {
  fputs("usage: zt-sender --level LUFS [--seconds S]\n"
        "       zt-sender --levels FILE|- [--interval-ms MS] [--keep]\n"
        "Publishes a reference loudness into the shared segment that receivers follow.\n"
        "  --level LUFS     publish one level and hold it for S seconds (default: until\n"
        "                   interrupted)\n"
        "  --levels FILE    publish one level per line (LUFS; -inf for silence), MS\n"
        "                   milliseconds apart (default 0: as lines arrive); '-' reads stdin\n"
        "  --keep           leave the flag raised on exit\n"
        "ZOLVARTESK_SESSION selects a private segment (letters, digits, . _ -).\n",
        f);
}

bool ParseNumber(const char* text, double* out) {
  if (!text) return false;
  char* end = nullptr;
  *out = strtod(text, &end);
  if (end == text) return false;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
    ++end;
  return *end == '\0';
}

void SleepFor(double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!gStop && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

struct Args {
  const char* levelText = nullptr;
  const char* levelsPath = nullptr;
  double level = 0.0;
  double seconds = -1.0, intervalMs = 0.0;
  bool keep = false;
};

// Reads the command line into args; false, with the exit status in *status, when the program is
// to end here (help, or a usage error already reported).
bool ParseArgs(int argc, char** argv, Args* args, int* status) {
  *status = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--level") {
      args->levelText = value();
    } else if (a == "--levels") {
      args->levelsPath = value();
    } else if (a == "--seconds") {
      if (!ParseNumber(value(), &args->seconds) || args->seconds < 0) {
        fprintf(stderr, "zt-sender: --seconds needs a number of seconds >= 0\n");
        return false;
      }
    } else if (a == "--interval-ms") {
      if (!ParseNumber(value(), &args->intervalMs) || args->intervalMs < 0 ||
          args->intervalMs > 60000) {
        fprintf(stderr, "zt-sender: --interval-ms needs a number from 0 to 60000\n");
        return false;
      }
    } else if (a == "--keep") {
      args->keep = true;
    } else if (a == "-h" || a == "--help") {
      Usage(stdout);
      *status = 0;
      return false;
    } else {
      fprintf(stderr, "zt-sender: unknown argument '%s'\n", argv[i]);
      Usage(stderr);
      return false;
    }
  }
  if (!!args->levelText == !!args->levelsPath) {
    Usage(stderr);
    return false;
  }
  if (args->levelText && !ParseNumber(args->levelText, &args->level)) {
    fprintf(stderr, "zt-sender: --level needs a loudness in LUFS, got '%s'\n", args->levelText);
    return false;
  }
  return true;
}

// Publishes one level and holds it for the given time, or until interrupted.
void HoldLevel(ReferenceSender& sender, const Args& args) {
  sender.PublishLufs(args.level);
  if (args.seconds >= 0)
    SleepFor(args.seconds);
  else
    while (!gStop)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// Publishes one level per line of levels; 2 for a line that is not a loudness, else 0.
int PlayLevels(ReferenceSender& sender, const Args& args, FILE* levels) {
  char line[256];
  int lineNo = 0;
  while (!gStop && fgets(line, sizeof line, levels)) {
    ++lineNo;
    if (line[0] == '\n' || line[0] == '#') continue;
    double level = 0.0;
    if (!ParseNumber(line, &level)) {
      fprintf(stderr, "zt-sender: %s:%d: not a loudness: %s", args.levelsPath, lineNo, line);
      return 2;
    }
    sender.PublishLufs(level);
    if (args.intervalMs > 0) SleepFor(args.intervalMs / 1000.0);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  Args args;
  int status = 0;
  if (!ParseArgs(argc, argv, &args, &status)) return status;
  FILE* levels = nullptr;
  if (args.levelsPath) {
    levels = strcmp(args.levelsPath, "-") == 0 ? stdin : fopen(args.levelsPath, "r");
    if (!levels) {
      fprintf(stderr, "zt-sender: cannot read '%s': %s\n", args.levelsPath, strerror(errno));
      return 1;
    }
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  ReferenceSender sender;
  if (!sender.Open()) {
    fprintf(stderr, "zt-sender: %s\n", sender.Error().c_str());
    return 1;
  }
  if (args.keep) sender.Keep();
  if (!levels) {
    HoldLevel(sender, args);
    return 0;
  }
  status = PlayLevels(sender, args, levels);
  if (levels != stdin) fclose(levels);
  return status;
}
