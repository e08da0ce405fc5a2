// Every test program runs in a shared-memory session of its own from before main until exit, so
// that a test which makes a plug-in without a TestSession of its own, and every host tool or
// plug-in process it starts, never opens the user's session, which a running DAW may be using.
// The segment is removed at exit; TestSession gives a test a session of its own within it.
#include <string>

#include "os/SharedMemory.h"
#include "tests/support/TestSession.h"

namespace {

struct ProcessSession {
  ProcessSession() {
    SetEnv("ZOLVARTESK_SESSION", (TestKeyPrefix() + "p" + std::to_string(TestPid())).c_str());
    name = zt::os::SharedName("ZolvarTesk");
    zt::os::RemoveShared(name); // a leftover of a crashed program with the same process id
  }
  ~ProcessSession() { zt::os::RemoveShared(name); }
  std::string name;
};

const ProcessSession gSession;

} // namespace
