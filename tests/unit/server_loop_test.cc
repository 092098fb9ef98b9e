#include "runtime/server_loop.h"

#include <gtest/gtest.h>

#include <csignal>

#include "platform/signals.h"
#include "runtime/monitor_server.h"
#include "runtime/server_signal.h"

namespace {

TEST(LoopTimeout, TheWaitIsBoundedByTheIdleTimeLeft) {
  EXPECT_EQ(60u, BoundByIdleTime(false, 90, 0, 60));
  EXPECT_EQ(30u, BoundByIdleTime(false, 90, 60, 60));
  EXPECT_EQ(1u, BoundByIdleTime(false, 1, 0, 60));    // a suggested shutdown
  EXPECT_EQ(60u, BoundByIdleTime(true, 1, 0, 60));    // the collector never idles
  EXPECT_EQ(60u, BoundByIdleTime(false, 0, 0, 60));   // -z: never
  EXPECT_EQ(60u, BoundByIdleTime(false, 90, 95, 60)); // used up: the idle test decides
  // With no page timer the wait is the idle timeout, 90 seconds by default.
  ASSERT_TRUE(TheServer().pages.empty());
  EXPECT_EQ(90u, UpdateSchedulersTimeout());
}

TEST(LoopTimeout, SessionTimeoutFromTheEnvironment) {
  EXPECT_EQ(60u, SessionTimeoutFromEnvironment(nullptr));
  EXPECT_EQ(2u, SessionTimeoutFromEnvironment("2"));
  for (const char* bad : {"", "0", "x", "5s", "-3", " 4"}) EXPECT_EQ(60u, SessionTimeoutFromEnvironment(bad)) << bad;
}

TEST(SystemSignals, ASignalLandingBetweenClearingAndTakingIsSeen) {
  MonitorServer& server = TheServer();
  ASSERT_EQ(0, server.signals.signalEvent.Create());
  ASSERT_EQ(0, server.signals.systemSignalWake.Create());
  ASSERT_EQ(0, platform::InstallSignalHandlers(server.signals.systemSignalWake.Fd()));

  std::raise(SIGHUP);
  TakeSystemSignals();
  EXPECT_EQ(1u, server.signals.reconfigRequested.load());
  EXPECT_TRUE(server.signals.signalEvent.Consume());          // the loop is woken
  EXPECT_FALSE(server.signals.systemSignalWake.Consume());    // the handler's wake is cleared

  server.signals.reconfigRequested = 0;
  TakeSystemSignals([] { std::raise(SIGHUP); });
  EXPECT_EQ(1u, server.signals.reconfigRequested.load());     // taken in this pass, not left behind
  EXPECT_TRUE(server.signals.signalEvent.Consume());
}

}  // namespace
