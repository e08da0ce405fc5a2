#pragma once
// Gives each test its own shared segment: a private session key, and the segment removed again
// when the test ends, so that tests running at the same time never meet. The key before it (the
// program's own, see ProcessSession.cpp) is put back, so that a later test in the same program
// never makes a segment under a key whose owner is gone.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "os/SharedMemory.h"

#if defined(_WIN32)
#include <process.h>
inline int TestPid() {
  return _getpid();
}
inline void SetEnv(const char* k, const char* v) {
  _putenv_s(k, v ? v : "");
}
#else
#include <unistd.h>
inline int TestPid() {
  return getpid();
}
// A null value removes the variable.
inline void SetEnv(const char* k, const char* v) {
  if (v)
    setenv(k, v, 1);
  else
    unsetenv(k);
}
#endif

// What every test key starts with: the test run's tag where the test command set one
// (scripts/shm-guard.sh, which checks what the run leaves by it), "t" otherwise.
inline std::string TestKeyPrefix() {
  const char* run = getenv("ZT_TEST_RUN");
  return run && *run ? std::string(run) + "-" : std::string("t");
}

class TestSession {
public:
  explicit TestSession(const char* tag) {
    static std::atomic<int> counter{0};
    if (const char* before = getenv("ZOLVARTESK_SESSION")) before_ = before, hadBefore_ = true;
    key_ =
        TestKeyPrefix() + tag + "-" + std::to_string(TestPid()) + "-" + std::to_string(counter++);
    SetEnv("ZOLVARTESK_SESSION", key_.c_str());
    zt::os::RemoveShared(Name());
  }
  ~TestSession() {
    zt::os::RemoveShared(Name());
    SetEnv("ZOLVARTESK_SESSION", hadBefore_ ? before_.c_str() : nullptr);
  }
  TestSession(const TestSession&) = delete;
  TestSession& operator=(const TestSession&) = delete;
  std::string Name() const { return zt::os::SharedName("ZolvarTesk"); }
  const std::string& Key() const { return key_; }

private:
  std::string key_, before_;
  bool hadBefore_ = false;
};
