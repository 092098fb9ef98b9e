// The provider launch command: its text and its split into argument words.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "collector/launch_command.h"
#include "collector/provider_launch.h"
#include "runtime/process_globals.h"
#include "runtime/provider_con.h"

namespace {

using Words = std::vector<std::string>;

TEST(LaunchCommand, PathOptionsAndOrder) {
  ProviderLaunchData data;
  LaunchCommand c = BuildLaunchCommand("/d/p", "a", 6000, data, false);
  EXPECT_EQ(c.commandLine, "\"/d/p/a\" -p 6000 -c -s");
  EXPECT_EQ(c.application, "/d/p/a");
  EXPECT_EQ(BuildLaunchCommand("/d/p/", "a", 6000, data, false).application, "/d/p/a");

  c = BuildLaunchCommand("", "ticker_provider", 21602, data, true);
  EXPECT_EQ(c.commandLine, "\"ticker_provider\" -p 21602 -c -s -f");
  EXPECT_EQ(c.application, "./ticker_provider");  // never a PATH search

  data.crashRecovery = true;
  EXPECT_EQ(BuildLaunchCommand("", "a", 1, data, true).commandLine, "\"a\" -p 1 -c -s -r");
  data.crashRecovery = false;

  strcpy(data.verbosity, "0x7");
  strcpy(data.logto, "x.log");
  data.stats = data.noidle = true;
  c = BuildLaunchCommand("", "a", 1, data, false);
  EXPECT_EQ(c.commandLine, "\"a\" -p 1 -c -s -V0x7 -lx.log -g -z");
  for (const char* size : {"0", "x", "-3"}) {
    strcpy(data.logsize, size);
    EXPECT_EQ(BuildLaunchCommand("", "a", 1, data, false).commandLine, c.commandLine) << size;
  }
  strcpy(data.logsize, "64");
  EXPECT_EQ(BuildLaunchCommand("", "a", 1, data, true).commandLine, "\"a\" -p 1 -c -s -f -V0x7 -lx.log -g -z -b64");
}

int firstStartCalls = 0;
bool CountingFirstStart(const char*, bool dontRecord) {
  EXPECT_FALSE(dontRecord);
  return ++firstStartCalls > 0;
}

TEST(LaunchCommand, CrashRecoveryNeverConsultsFirstStart) {
  CProviderCon con;
  con.SetName("a");
  EXPECT_FALSE(DecideFirstStart(con));  // no first-start function
  Globals().firstStartFunction = CountingFirstStart;
  con.LaunchData().crashRecovery = true;
  EXPECT_FALSE(DecideFirstStart(con));
  EXPECT_EQ(firstStartCalls, 0);
  con.LaunchData().crashRecovery = false;
  EXPECT_TRUE(DecideFirstStart(con));
  EXPECT_EQ(firstStartCalls, 1);
  Globals().firstStartFunction = nullptr;
}

TEST(SplitCommandLine, WindowsRules) {
  EXPECT_EQ(SplitCommandLine("\"/d/my p/a\" -p 6000 -c -s -f"), (Words{"/d/my p/a", "-p", "6000", "-c", "-s", "-f"}));
  EXPECT_EQ(SplitCommandLine("\"a\" -l\"my log.txt\"  \t-V3"), (Words{"a", "-lmy log.txt", "-V3"}));
  // Program name: backslashes literal, up to the closing quote.
  EXPECT_EQ(SplitCommandLine("\"c:\\dir\\\" x"), (Words{"c:\\dir\\", "x"}));
  EXPECT_EQ(SplitCommandLine("prog a\\\\b"), (Words{"prog", "a\\\\b"}));
  // 2n backslashes and a quote: n backslashes, the quote acts.
  EXPECT_EQ(SplitCommandLine("p \"a\\\\\\\\\" b"), (Words{"p", "a\\\\", "b"}));
  // 2n+1: n backslashes and a literal quote.
  EXPECT_EQ(SplitCommandLine("p a\\\\\\\"b c"), (Words{"p", "a\\\"b", "c"}));
  EXPECT_EQ(SplitCommandLine("p \"say \"\"hi\"\"\" x"), (Words{"p", "say \"hi\"", "x"}));
  EXPECT_EQ(SplitCommandLine("p \"\" x"), (Words{"p", "", "x"}));
  EXPECT_EQ(SplitCommandLine("p \"open to end"), (Words{"p", "open to end"}));
}

}  // namespace
