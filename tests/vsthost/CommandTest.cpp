// The zt-vsthost command as a developer runs it: its report on a real module, and one-line
// errors with a non-zero exit for what it cannot load or create.
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/RunCommand.h"

namespace {

CommandRun Command(const std::string& args) {
  return RunCommand(ZT_VSTHOST_COMMAND, args);
}

TEST(Command, ReportsAThirdPartyEffect) {
  const char* path = "/usr/lib/vst/3BandEQ-vst.so";
  ASSERT_TRUE(std::filesystem::exists(path)) << "install the Debian package dpf-plugins-vst";
  const CommandRun r = Command(std::string(path) + " --blocks 4 --block-size 128 --rate 44100");
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char* line :
       {"module:     /usr/lib/vst/3BandEQ-vst.so (entry main)\n", "effect:     3 Band EQ\n",
        "vendor:     DISTRHO\n", "unique id:  0x44334551 'D3EQ'\n",
        "flags:      0x00000011 editor replacing\n", "channels:   2 in, 2 out\n", "parameters: 6\n",
        "    0  Low                      0.000000 dB  (0.5)\n",
        "processed:  4 blocks of 128 frames at 44100 Hz (replacing)\n",
        // A 3-band EQ at its defaults passes the -12 dBFS sine unchanged.
        "output:     peak 0.25"})
    EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "\n" << r.out;
}

TEST(Command, ReportsOurProbeIn64Bit) {
  const CommandRun r = Command(std::string(ZT_PROBE) + " --double --blocks 2");
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char* line : {"effect:     ZT Probe\n", "latency:    3 samples\n",
                           "flags:      0x00001030 replacing chunks double\n",
                           "processed:  2 blocks of 512 frames at 48000 Hz (64-bit)\n",
                           "host calls: automate x2, version x1, wantMidi x1, getTime x2, "})
    EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "\n" << r.out;
}

TEST(Command, FailuresAreOneLineAndNonZero) {
  struct Case {
    std::string args;
    int status;
    std::string expected;
  };
  const Case cases[] = {
      {"/nonexistent/plugin.so", 1, "zt-vsthost: no such file: /nonexistent/plugin.so\n"},
      {ZT_PROBE_NONE, 1,
       std::string("zt-vsthost: ") + ZT_PROBE_NONE +
           " is no VST2 module: it exports neither VSTPluginMain nor main\n"},
      {ZT_PROBE_NULL, 1,
       std::string("zt-vsthost: VSTPluginMain of ") + ZT_PROBE_NULL +
           " created no effect (null record)\n"},
      {ZT_PROBE_MAGIC, 1, "wrong magic 0x12345678"},
      {"", 2, "usage: zt-vsthost PLUGIN"},
      {std::string(ZT_PROBE) + " --blocks many", 2, "zt-vsthost: --blocks needs a count"},
      {std::string(ZT_PROBE) + " --frobnicate", 2, "zt-vsthost: unknown option --frobnicate\n"},
  };
  for (const Case& c : cases) {
    const CommandRun r = Command(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.args << "\n" << r.out;
    if (c.status == 1) {
      EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line: " << r.out;
    }
  }
}

} // namespace
