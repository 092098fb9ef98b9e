#include "pages/monitored_item_list.h"

#include <cstring>

namespace {

constexpr uint32_t kNoTimer = 10000;
const char* const kResultWords[] = {"none", "deleted", "added", "modified", "replaced", "commerror", "unknown"};

// Changing the interval to n: an item already past the new interval falls
// due at the next advance; otherwise its remaining time moves with the
// difference (not below 0).
void ChangeInterval(MonitoredItem& item, uint32_t n) {
  uint32_t elapsed = item.interval > item.remains ? item.interval - item.remains : 0;
  if (elapsed > n) {
    item.remains = 0;
  } else if (n > item.interval) {
    item.remains += n - item.interval;
  } else if (n < item.interval) {
    uint32_t cut = item.interval - n;
    item.remains = item.remains > cut ? item.remains - cut : 0;
  }
  item.interval = n;
}

}  // namespace

const char* ItemResultWord(uint32_t result) {
  return result <= kItemUnknown ? kResultWords[result] : kResultWords[kItemUnknown];
}

uint32_t ItemResultFromWord(const char* word) {
  if (word == nullptr) return kItemUnknown;
  for (uint32_t code = 0; code < kItemUnknown; ++code)
    if (strcmp(word, kResultWords[code]) == 0) return code;
  return kItemUnknown;
}

void MonitoredItemList::InsertByRemains(MonitoredItem item) {
  // A list that becomes non-empty counts from zero. The seconds advanced
  // while it was empty belong to no item; kept, they would make a new item
  // fall due early (after a long empty spell, at the very next advance).
  if (items_.empty()) secondsPassed_ = 0;
  auto at = items_.begin();
  while (at != items_.end() && at->remains < item.remains) ++at;
  items_.insert(at, std::move(item));
}

bool MonitoredItemList::RemoveLocked(const std::string& id, MonitoredItem* removed) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (it->id != id) continue;
    if (removed != nullptr) *removed = std::move(*it);
    items_.erase(it);
    return true;
  }
  return false;
}

void MonitoredItemList::Recompute(uint32_t reference) {
  if (items_.empty()) {
    secondsToNext_ = kNoTimer;
    return;
  }
  uint32_t first = items_.front().remains;
  secondsToNext_ = first > reference ? first - reference : 0;
}

uint32_t MonitoredItemList::Add(const std::string& id, const std::string& description, uint32_t interval,
                                bool renews, bool initial) {
  std::lock_guard<std::mutex> guard(mutex_);
  bool replaced = RemoveLocked(id, nullptr);
  MonitoredItem item{id, description, interval, initial ? 0 : interval, renews, initial};
  InsertByRemains(std::move(item));
  Recompute(0);
  return replaced ? kItemReplaced : kItemAdded;
}

void MonitoredItemList::Insert(MonitoredItem item) {
  std::lock_guard<std::mutex> guard(mutex_);
  // Ids are unique within a list: an imported item replaces its namesake,
  // so importing the same export twice does not double every timer.
  RemoveLocked(item.id, nullptr);
  InsertByRemains(std::move(item));
  Recompute(0);
}

bool MonitoredItemList::Remove(const std::string& id) {
  std::lock_guard<std::mutex> guard(mutex_);
  bool found = RemoveLocked(id, nullptr);
  // The other items keep the seconds already advanced since the reference
  // point: recomputing from 0 would make the next one fall due late by
  // that much.
  if (found) Recompute(secondsPassed_);
  return found;
}

uint32_t MonitoredItemList::Modify(const std::string& id, uint32_t interval, bool renews) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    MonitoredItem item;
    if (RemoveLocked(id, &item)) {
      ChangeInterval(item, interval);
      InsertByRemains(std::move(item));
      Recompute(0);
      return kItemModified;
    }
  }
  Add(id, "created by call to modify", interval, renews, false);
  return kItemAdded;
}

std::vector<std::string> MonitoredItemList::Expire(uint32_t elapsed) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::vector<std::string> due;
  if (!active_) return due;
  // secondsPassed is cumulative since items last fell due, and is compared
  // with secondsToNext as computed at that reference point.
  secondsPassed_ += elapsed;
  if (secondsPassed_ < secondsToNext_) {
    Recompute(secondsPassed_);
    return due;
  }
  size_t count = 0;
  while (count < items_.size() && items_[count].remains <= secondsPassed_) ++count;
  if (count == 0) return due;

  std::vector<MonitoredItem> fell(std::make_move_iterator(items_.begin()),
                                  std::make_move_iterator(items_.begin() + static_cast<long>(count)));
  items_.erase(items_.begin(), items_.begin() + static_cast<long>(count));
  for (MonitoredItem& item : items_)
    item.remains = secondsPassed_ > item.remains ? 0 : item.remains - secondsPassed_;
  for (MonitoredItem& item : fell) {
    due.push_back(item.id);
    if (!item.renews) continue;
    item.remains = item.interval;
    InsertByRemains(std::move(item));
  }
  secondsPassed_ = 0;
  Recompute(0);
  return due;
}

uint32_t MonitoredItemList::SecondsToNext() const {
  std::lock_guard<std::mutex> guard(mutex_);
  // An inactive list lets nothing fall due, so it asks for no wait: the
  // value last computed (0 for an initial item) would keep the loop
  // spinning for as long as the list stays inactive.
  return active_ ? secondsToNext_ : kNoTimer;
}

size_t MonitoredItemList::Count() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return items_.size();
}

bool MonitoredItemList::Active() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return active_;
}

void MonitoredItemList::SetActive(bool active) {
  std::lock_guard<std::mutex> guard(mutex_);
  active_ = active;
}

std::vector<MonitoredItem> MonitoredItemList::Items() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return std::vector<MonitoredItem>(items_.begin(), items_.end());
}

uint32_t MonitoredItemList::SecondsPassed() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return secondsPassed_;
}
