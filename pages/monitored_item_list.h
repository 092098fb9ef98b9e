// A page's timers: named items with an interval in seconds, kept ordered by
// the seconds left until each falls due (smallest first). The server
// advances the list while it waits for connections; items that fall due are
// reported by id, and renewing items are armed again.
//
// Times are relative to the list's reference point: `secondsPassed` counts
// the seconds advanced since items last fell due, and each item's `remains`
// is counted from that point (a list that becomes non-empty starts
// counting from zero). The list has its own small mutex because status
// listings read it on session threads while the loop changes it.
#pragma once
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct MonitoredItem {
  std::string id;           // unique within a list; what MonitorNow receives
  std::string description;  // free text for timer listings
  uint32_t interval = 0;    // seconds
  uint32_t remains = 0;     // seconds left, from the list's reference point
  bool renews = false;      // armed again after falling due, else removed
  bool initial = false;     // created due at once (remains 0)
};

// Results of list changes; the same words are the collector scheduler's replies.
enum : uint32_t {
  kItemNone = 0,
  kItemDeleted = 1,
  kItemAdded = 2,
  kItemModified = 3,
  kItemReplaced = 4,
  kItemCommError = 5,
  kItemUnknown = 6,
};
// "none", "deleted", "added", "modified", "replaced", "commerror", "unknown".
const char* ItemResultWord(uint32_t result);
// The code of a reply word; any other word gives kItemUnknown.
uint32_t ItemResultFromWord(const char* word);

class MonitoredItemList {
 public:
  // Adds an item, replacing one with the same id: kItemReplaced or kItemAdded.
  uint32_t Add(const std::string& id, const std::string& description, uint32_t interval, bool renews,
               bool initial);
  // Removes the item; true when it existed. The others keep the time
  // already advanced.
  bool Remove(const std::string& id);
  // Changes an item's interval (kItemModified); a missing item is added as
  // a non-initial item described "created by call to modify" (kItemAdded).
  uint32_t Modify(const std::string& id, uint32_t interval, bool renews);
  // Inserts an item as it stands (an import), keeping the order by remains
  // and replacing an item with the same id.
  void Insert(MonitoredItem item);
  // Advances the list by `elapsed` seconds; the ids of the items that fell
  // due, in list order (none while the list is not active).
  std::vector<std::string> Expire(uint32_t elapsed);

  // Seconds until the first item falls due; 10000 when the list is empty
  // or inactive.
  uint32_t SecondsToNext() const;
  size_t Count() const;
  bool Empty() const { return Count() == 0; }
  bool Active() const;
  void SetActive(bool active);
  // A copy of the items, for listings.
  std::vector<MonitoredItem> Items() const;
  uint32_t SecondsPassed() const;

 private:
  // Inserts before the first item whose remains are not smaller.
  void InsertByRemains(MonitoredItem item);
  bool RemoveLocked(const std::string& id, MonitoredItem* removed);
  void Recompute(uint32_t reference);

  mutable std::mutex mutex_;
  std::deque<MonitoredItem> items_;
  bool active_ = true;
  uint32_t secondsPassed_ = 0;
  uint32_t secondsToNext_ = 10000;
};
