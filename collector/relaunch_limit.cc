#include "collector/relaunch_limit.h"

bool RelaunchLimit::Note(const std::string& name, bool counted, uint64_t nowMs) {
  if (!counted) return false;
  std::lock_guard<std::mutex> guard(mutex_);
  Entry& entry = entries_[name];
  entry.events.push_back(nowMs);
  while (!entry.events.empty() && nowMs - entry.events.front() >= kRelaunchLimitWindowMs) entry.events.pop_front();
  if (entry.givenUp || entry.events.size() < kRelaunchLimitEvents) return false;
  entry.givenUp = true;
  return true;
}

bool RelaunchLimit::GivenUp(const std::string& name) const {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = entries_.find(name);
  return it != entries_.end() && it->second.givenUp;
}

void RelaunchLimit::Clear(const std::string& name) {
  std::lock_guard<std::mutex> guard(mutex_);
  entries_.erase(name);
}

void RelaunchLimit::ClearAll() {
  std::lock_guard<std::mutex> guard(mutex_);
  entries_.clear();
}

RelaunchLimit& TheRelaunchLimit() {
  static RelaunchLimit* limit = new RelaunchLimit;
  return *limit;
}
