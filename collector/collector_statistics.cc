#include "collector/collector_statistics.h"

void CollectorStatistics::SetConfig(const std::string& name, const std::string& time) {
  std::lock_guard<std::mutex> hold(mutex_);
  configName_ = name;
  configTime_ = time;
}

void CollectorStatistics::GetConfig(std::string* name, std::string* time) const {
  std::lock_guard<std::mutex> hold(mutex_);
  *name = configName_;
  *time = configTime_;
}

CollectorStatistics& TheCollectorStatistics() {
  static CollectorStatistics statistics;
  return statistics;
}
