#pragma once
// Counts what a stretch of code asks of the C library's heap and mutexes: every test program that
// links this probe has malloc, calloc, realloc, free, aligned_alloc, posix_memalign,
// pthread_mutex_lock and pthread_mutex_trylock interposed, so that calls made by a plug-in
// module loaded into it are counted too (the program must export its symbols for that). Only
// natively and without a sanitizer runtime, which interposes the same functions itself.

#include <cstdint>
#include <utility>

struct ProbeCounts {
  long allocations = 0;             // heap calls of any kind, frees of non-null pointers included
  long locks = 0;                   // mutex locks and try-locks
  long foreignLocks = 0;            // those of a mutex other than the allowed one
  const void* firstMutex = nullptr; // the first mutex locked while counting
};

class AllocProbe {
public:
  // Counts from zero until Stop. Locks of allowedMutex (may be null) are not foreign. With
  // thisThreadOnly only the calls of the calling thread count (others may be busy at the time).
  static void Start(const void* allowedMutex = nullptr, bool thisThreadOnly = false);
  static ProbeCounts Stop();

  // Counts what body does.
  template <typename F>
  static ProbeCounts Measure(F&& body, const void* allowedMutex = nullptr,
                             bool thisThreadOnly = false) {
    Start(allowedMutex, thisThreadOnly);
    std::forward<F>(body)();
    return Stop();
  }
};
