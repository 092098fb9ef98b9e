// Timer arithmetic of a page's monitored items.
#include "pages/monitored_item_list.h"

#include <gtest/gtest.h>

namespace {

using Ids = std::vector<std::string>;

TEST(MonitoredItemList, RenewingItemFallsDueEachInterval) {
  MonitoredItemList list;
  EXPECT_EQ(list.SecondsToNext(), 10000u);
  EXPECT_EQ(list.Add("a", "", 10, true, false), kItemAdded);
  EXPECT_EQ(list.SecondsToNext(), 10u);
  // secondsPassed is cumulative but compared with secondsToNext as last
  // computed, which is relative: after 4 then 3 seconds (7 >= 6) nothing is
  // due yet and nothing is recomputed, so the next wait stays 6.
  EXPECT_EQ(list.Expire(4), Ids{});
  EXPECT_EQ(list.SecondsToNext(), 6u);
  EXPECT_EQ(list.Expire(3), Ids{});
  EXPECT_EQ(std::make_pair(list.SecondsToNext(), list.SecondsPassed()), std::make_pair(6u, 7u));
  EXPECT_EQ(list.Expire(3), Ids{"a"});
  EXPECT_EQ(list.SecondsToNext(), 10u);
  EXPECT_EQ(list.Expire(10), Ids{"a"});
}

TEST(MonitoredItemList, InitialOneShotAndOrder) {
  MonitoredItemList list;
  list.Add("once", "", 5, false, true);
  EXPECT_EQ(list.SecondsToNext(), 0u);
  EXPECT_EQ(list.Expire(0), Ids{"once"});
  EXPECT_TRUE(list.Empty());

  list.Add("x", "", 20, true, false);
  list.Add("y", "", 20, true, false);  // goes before the equal one
  list.Add("z", "", 30, true, false);
  EXPECT_EQ(list.Items()[0].id, "y");
  EXPECT_EQ(list.Expire(25), (Ids{"y", "x"}));
  EXPECT_EQ(std::make_pair(list.Items()[0].id, list.Items()[0].remains), std::make_pair(std::string("z"), 5u));
  EXPECT_EQ(list.Add("z", "", 4, true, false), kItemReplaced);
  EXPECT_EQ(list.SecondsToNext(), 4u);
  EXPECT_EQ(list.Count(), 3u);
}

TEST(MonitoredItemList, ModifyAndInactive) {
  // An item of 100 s with 70 s left (30 elapsed) changed to 50, 20, 150.
  for (auto [n, remains] : {std::pair<uint32_t, uint32_t>{50, 20}, {20, 0}, {150, 120}}) {
    MonitoredItemList list;
    list.Add("k", "", 30, false, false);
    list.Add("m", "", 100, true, false);
    ASSERT_EQ(list.Expire(30), Ids{"k"});
    ASSERT_EQ(list.Items()[0].remains, 70u);
    EXPECT_EQ(list.Modify("m", n, true), kItemModified);
    EXPECT_EQ(list.Items()[0].remains, remains) << n;
    EXPECT_EQ(list.Items()[0].interval, n);
  }
  MonitoredItemList a;  // none elapsed: the new interval in full
  a.Add("m", "", 100, true, false);
  EXPECT_EQ(a.Modify("m", 150, true), kItemModified);
  EXPECT_EQ(a.Items()[0].remains, 150u);
  EXPECT_EQ(a.Modify("new", 9, true), kItemAdded);
  EXPECT_EQ(a.Items()[0].description, "created by call to modify");
  EXPECT_TRUE(a.Remove("new") && !a.Remove("new"));

  // An inactive list asks for no wait at all, even with an initial item.
  MonitoredItemList off;
  off.Add("i", "", 1, true, true);
  off.SetActive(false);
  EXPECT_EQ(off.SecondsToNext(), 10000u);
  EXPECT_EQ(off.Expire(100), Ids{});
  off.SetActive(true);
  EXPECT_EQ(off.SecondsToNext(), 0u);
  EXPECT_EQ(off.Expire(0), Ids{"i"});
  EXPECT_TRUE(ItemResultFromWord("replaced") == kItemReplaced && ItemResultFromWord("bogus") == kItemUnknown);
  EXPECT_STREQ(ItemResultWord(kItemCommError), "commerror");
}

TEST(MonitoredItemList, ElapsedTimeSurvivesRemovalAndIdleSpells) {
  // Removing b after 8 s leaves a due in 2 s, not 10.
  MonitoredItemList list;
  list.Add("a", "", 10, true, false);
  list.Add("b", "", 20, true, false);
  ASSERT_EQ(list.Expire(8), Ids{});
  EXPECT_TRUE(list.Remove("b"));
  EXPECT_EQ(list.SecondsToNext(), 2u);
  EXPECT_EQ(list.Expire(2), Ids{"a"});

  // Time spent empty does not count against the next item, whether the
  // list was advanced while empty or emptied by a removal.
  MonitoredItemList idle;
  EXPECT_EQ(idle.Expire(5000), Ids{});
  idle.Add("once", "", 3600, false, false);
  EXPECT_EQ(idle.Expire(1), Ids{});
  EXPECT_EQ(idle.SecondsToNext(), 3599u);
  EXPECT_TRUE(idle.Remove("once"));
  idle.Add("next", "", 5, false, false);
  EXPECT_EQ(idle.Expire(4), Ids{});
  EXPECT_EQ(idle.Expire(1), Ids{"next"});
}

}  // namespace
