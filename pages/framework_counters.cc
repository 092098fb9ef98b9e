#include "pages/framework_counters.h"

std::atomic<uint32_t>& TimersServicedCounter() {
  static std::atomic<uint32_t> count{0};
  return count;
}

std::atomic<uint32_t>& ExternalWakeupsCounter() {
  static std::atomic<uint32_t> count{0};
  return count;
}
