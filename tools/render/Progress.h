#pragma once
// A one-line progress bar on standard error, drawn only when standard error is a terminal and
// the work is long enough to be worth watching; at most ten redraws a second.

#include <chrono>
#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define ZT_ISATTY(fd) _isatty(fd)
#define ZT_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define ZT_ISATTY(fd) isatty(fd)
#define ZT_FILENO(f) fileno(f)
#endif

class Progress {
public:
  // total and done in frames; shown when `seconds` of audio exceed minSeconds.
  Progress(int64_t total, int rate, double minSeconds = 5.0)
      : total_(total), rate_(rate),
        enabled_(total > 0 && rate > 0 && static_cast<double>(total) / rate > minSeconds &&
                 ZT_ISATTY(ZT_FILENO(stderr))) {}
  ~Progress() { Finish(); }

  void Update(int64_t done) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    const double f = total_ > 0 ? static_cast<double>(done) / static_cast<double>(total_) : 1.0;
    constexpr int kCells = 30;
    char bar[kCells + 1];
    const int full = static_cast<int>(f * kCells + 0.5);
    for (int i = 0; i < kCells; ++i)
      bar[i] = i < full ? '#' : '-';
    bar[kCells] = '\0';
    fprintf(stderr, "\r  [%s] %3d%%  %.1f / %.1f s", bar, static_cast<int>(f * 100.0 + 0.5),
            static_cast<double>(done) / rate_, static_cast<double>(total_) / rate_);
    fflush(stderr);
  }

  // Clears the line, so that what follows starts on a clean one.
  void Finish() {
    if (!enabled_ || !drawn_) return;
    fprintf(stderr, "\r%70s\r", "");
    fflush(stderr);
    drawn_ = false;
  }

private:
  int64_t total_;
  int rate_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};
