// The zt-aaxhost command as a developer runs it: its report on the receiver's AAX module, and
// what it says about modules that crash, miss exports, fail to register or keep objects alive.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/RunCommand.h"

namespace {

CommandRun Command(const std::string& args) {
  return RunCommand(ZT_AAXHOST_COMMAND, args);
}

TEST(AaxHostCommand, ReportsTheReceiversModule) {
  const CommandRun r = Command(std::string("'") + ZT_AAX_MODULE + "' --blocks 8");
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char* line : {
           "module:     ACFStartup 0, ACFRegisterPlugin 0, definition returned, SDK version "
           "0x00000201007756BF\n",
           "package:    ZolvarTesk_Receive, version 0x00010002\n",
           "effect:     com.Zolvar.aax.ZolvarTesk_Receive\n",
           "  property 13 (native type) = 0x45464E31 EFN1\n",
           "  property 52 (output stem) = 0x10002\n",
           "--- component 0: 1 in, 1 out\n",
           "  \"2\" Normalization target     -23.00 LUFS",
           "bypass:     output equals the input\n",
           "chunk:      \"Tkre\", 44 data bytes, set 0, compare 0 (equal)\n",
           "editor:     opened headless, view 256 x 300\n",
           "unload:     0 module objects alive, 0 host objects kept\n",
       })
    EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "\n" << r.out;
}

TEST(AaxHostCommand, MisbehavingModulesAreReported) {
  // One of them leaks on purpose; a leak checker in the command would have the last word.
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  struct Case {
    std::string args;
    int status;
    std::string expected;
  };
  const Case cases[] = {
      {ZT_AAX_CRASH, 3,
       "zt-aaxhost: the plug-in crashed (segmentation fault) while loading and registering the "
       "module\n"},
      {ZT_AAX_PARTIAL, 1, std::string(ZT_AAX_PARTIAL) + " does not export ACFRegisterPlugin\n"},
      {ZT_AAX_LEAKY, 1, "unload:     1 module objects alive, 1 host objects kept\n"},
      {ZT_AAX_REFUSING, 1, "zt-aaxhost: the module did not register one effect\n"},
      {"/nonexistent/module.aaxplugin", 1, "zt-aaxhost: cannot load /nonexistent/module.aaxplugin"},
      {"", 2, "usage: zt-aaxhost MODULE"},
      {std::string(ZT_AAX_MODULE) + " --blocks many", 2, "usage: zt-aaxhost MODULE"},
  };
  for (const Case& c : cases) {
    const CommandRun r = Command(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.args << "\n" << r.out;
  }
}

} // namespace
