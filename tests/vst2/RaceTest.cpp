// Receivers in separate processes opening the shared segment at the same moment, through the
// loaded module: whichever process creates the segment, every receiver finds it and follows the
// sender that comes after them.
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestSession.h"
#include "tools/sender/ReferenceSender.h"

namespace {

// Regression: in 9 of 100 trials of 6 processes opening at once, some receiver opened the segment
// before its creator had sized it or written the header, got none, and never looked again.
TEST(SegmentRace, EightReceiversStartedTogetherAllFollowTheSender) {
  constexpr int kProcesses = 8, kTrials = 100;
  int failures = 0;
  for (int trial = 0; trial < kTrials; ++trial) {
    TestSession session("race");
    const std::string go = testing::TempDir() + "race-go-" + session.Key();
    std::remove(go.c_str());
    const std::string command = std::string(ZT_RECEIVER_PROCESS) + " " + ZT_VST2_MODULE + " " +
                                session.Key() + " " + go + " -20";
    std::vector<FILE*> receivers;
    for (int p = 0; p < kProcesses; ++p) {
      FILE* f = popen(command.c_str(), "r");
      ASSERT_NE(f, nullptr);
      receivers.push_back(f);
    }
    // Every process has loaded the module: let them all open the segment at once.
    auto expectLine = [&](const char* want) {
      int seen = 0;
      for (FILE* f : receivers) {
        char line[16] = {};
        seen += fgets(line, sizeof line, f) && std::string(line) == want;
      }
      EXPECT_EQ(seen, kProcesses) << want << " in trial " << trial;
    };
    expectLine("loaded\n");
    fclose(fopen(go.c_str(), "w"));
    expectLine("ready\n");
    std::remove(go.c_str());
    ReferenceSender sender;
    ASSERT_TRUE(sender.Open()) << sender.Error();
    sender.PublishLufs(-20.0);
    for (FILE* f : receivers) {
      const int status = pclose(f);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    if (HasFailure()) break;
  }
  EXPECT_EQ(failures, 0) << "receivers that did not follow, out of " << kProcesses * kTrials;
}

} // namespace
