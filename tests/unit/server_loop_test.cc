#include "runtime/server_loop.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include "platform/poll_set.h"
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

// A signal reaches the process through the watcher thread: it has arrived
// once the wake descriptor is readable.
void HangUpAndWaitForTheWake() {
  kill(getpid(), SIGHUP);
  EXPECT_TRUE(TheServer().signals.systemSignalWake.Wait(5000));
}

TEST(SystemSignals, ASignalLandingBetweenClearingAndTakingIsSeen) {
  MonitorServer& server = TheServer();
  ASSERT_EQ(0, server.signals.signalEvent.Create());
  ASSERT_EQ(0, server.signals.systemSignalWake.Create());
  ASSERT_EQ(0, platform::InstallSignalHandlers(server.signals.systemSignalWake.Fd()));

  kill(getpid(), SIGHUP);
  const int wake = server.signals.systemSignalWake.Fd();
  ASSERT_EQ(0, platform::WaitAnyReadable(&wake, 1, 5000));  // the first descriptor is ready
  TakeSystemSignals();
  EXPECT_EQ(1u, server.signals.reconfigRequested.load());
  EXPECT_TRUE(server.signals.signalEvent.Consume());          // the loop is woken
  EXPECT_FALSE(server.signals.systemSignalWake.Consume());    // the watcher's wake is cleared

  // The wake is cleared before the bits are taken: a signal that lands in
  // between is taken in this pass, not left behind.
  server.signals.reconfigRequested = 0;
  TakeSystemSignals(HangUpAndWaitForTheWake);
  EXPECT_EQ(1u, server.signals.reconfigRequested.load());
  EXPECT_TRUE(server.signals.signalEvent.Consume());
  platform::StopSignalWatcher();
}

}  // namespace
