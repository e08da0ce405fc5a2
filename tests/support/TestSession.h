#pragma once
// Gives each test its own shared segment: a private session key, and the segment removed again
// when the test ends, so that tests running at the same time never meet.

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
  _putenv_s(k, v);
}
#else
#include <unistd.h>
inline int TestPid() {
  return getpid();
}
inline void SetEnv(const char* k, const char* v) {
  setenv(k, v, 1);
}
#endif

class TestSession {
public:
  explicit TestSession(const char* tag) {
    static std::atomic<int> counter{0};
    key_ =
        std::string("t") + tag + "-" + std::to_string(TestPid()) + "-" + std::to_string(counter++);
    SetEnv("ZOLVARTESK_SESSION", key_.c_str());
    zt::os::RemoveShared(Name());
  }
  ~TestSession() { zt::os::RemoveShared(Name()); }
  std::string Name() const { return zt::os::SharedName("ZolvarTesk"); }
  const std::string& Key() const { return key_; }

private:
  std::string key_;
};
