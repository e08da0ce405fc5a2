// zt-sender: publishes a reference loudness into the shared segment for receivers to follow.
#include <atomic>
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

} // namespace

int main(int argc, char** argv) {
  const char* levelText = nullptr;
  const char* levelsPath = nullptr;
  double seconds = -1.0, intervalMs = 0.0;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--level")
      levelText = value();
    else if (a == "--levels")
      levelsPath = value();
    else if (a == "--seconds") {
      const char* v = value();
      if (!ParseNumber(v, &seconds) || seconds < 0) {
        fprintf(stderr, "zt-sender: --seconds needs a number of seconds >= 0\n");
        return 2;
      }
    } else if (a == "--interval-ms") {
      const char* v = value();
      if (!ParseNumber(v, &intervalMs) || intervalMs < 0 || intervalMs > 60000) {
        fprintf(stderr, "zt-sender: --interval-ms needs a number from 0 to 60000\n");
        return 2;
      }
    } else if (a == "--keep")
      keep = true;
    else if (a == "-h" || a == "--help") {
      Usage(stdout);
      return 0;
    } else {
      fprintf(stderr, "zt-sender: unknown argument '%s'\n", argv[i]);
      Usage(stderr);
      return 2;
    }
  }
  if (!!levelText == !!levelsPath) {
    Usage(stderr);
    return 2;
  }
  double level = 0.0;
  if (levelText && !ParseNumber(levelText, &level)) {
    fprintf(stderr, "zt-sender: --level needs a loudness in LUFS, got '%s'\n", levelText);
    return 2;
  }
  FILE* levels = nullptr;
  if (levelsPath) {
    levels = strcmp(levelsPath, "-") == 0 ? stdin : fopen(levelsPath, "r");
    if (!levels) {
      fprintf(stderr, "zt-sender: cannot read '%s': %s\n", levelsPath, strerror(errno));
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
  if (keep) sender.Keep();

  int status = 0;
  if (levelText) {
    sender.PublishLufs(level);
    if (seconds >= 0)
      SleepFor(seconds);
    else
      while (!gStop)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } else {
    char line[256];
    int lineNo = 0;
    while (!gStop && fgets(line, sizeof line, levels)) {
      ++lineNo;
      if (line[0] == '\n' || line[0] == '#') continue;
      if (!ParseNumber(line, &level)) {
        fprintf(stderr, "zt-sender: %s:%d: not a loudness: %s", levelsPath, lineNo, line);
        status = 2;
        break;
      }
      sender.PublishLufs(level);
      if (intervalMs > 0) SleepFor(intervalMs / 1000.0);
    }
    if (levels != stdin) fclose(levels);
  }
  return status;
}
