// Giving up on a provider that keeps failing to start.
#include <gtest/gtest.h>

#include "collector/relaunch_limit.h"

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

}  // namespace
