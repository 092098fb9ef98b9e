// Giving up on a provider that keeps failing to start.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "collector/provider_launch.h"
#include "collector/relaunch_limit.h"
#include "platform/socket.h"
#include "runtime/provider_con.h"

namespace {

TEST(RelaunchLimit, FiveCountedEventsWithinAMinuteGiveUpOnce) {
  RelaunchLimit limit;
  for (uint64_t t : {0, 1000, 2000, 3000}) EXPECT_FALSE(limit.Note("p", true, t));
  EXPECT_FALSE(limit.Note("p", false, 4000));  // a launch that came up
  EXPECT_FALSE(limit.Note("q", true, 4000));
  EXPECT_FALSE(limit.Note("p", true, 60000));  // the first has left the window
  EXPECT_FALSE(limit.GivenUp("p"));
  EXPECT_TRUE(limit.Note("p", true, 60001));
  EXPECT_TRUE(limit.GivenUp("p"));
  EXPECT_FALSE(limit.GivenUp("q"));
  EXPECT_FALSE(limit.Note("p", true, 60002));  // reported once
  limit.Clear("p");
  EXPECT_FALSE(limit.GivenUp("p"));
  EXPECT_FALSE(limit.Note("p", true, 60003));
}

TEST(RelaunchLimit, LaunchesThatFailAreRefusedAfterTheFifth) {
  int fd = platform::CreateTcpSocket();
  platform::BindLoopback(fd, 0);
  const uint16_t port = platform::LocalPort(fd);
  platform::CloseSocket(fd);
  // Started, but it ends before its port ever answers.
  const char* name = "relaunch_limit_quits_at_once";
  std::ofstream(name) << "#!/bin/sh\nexit 0\n";
  std::filesystem::permissions(name, std::filesystem::perms::owner_all);
  CProviderCon con;
  con.SetName(name);
  con.SetPort(port);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(LaunchProvider(&con), 0) << i;
  EXPECT_TRUE(TheRelaunchLimit().GivenUp(name));
  EXPECT_EQ(LaunchProvider(&con), -1);
  TheRelaunchLimit().ClearAll();
  EXPECT_EQ(LaunchProvider(&con), 0);
  std::filesystem::remove(name);
}

}  // namespace
