#include "pages/standard_pages.h"

int RegisterStandardPages() {
  // Filled by the standard pages ("/index", "/status", "/schedule",
  // "/shutdown", "/extalarm", "/heartbeat", "/cookiemaintenance"), which
  // come with page timers, workers and async cookies.
  return 0;
}

int RegisterStatsPage(const std::string& firstWord) {
  // Filled by page statistics: sets the ".pagestats" file name from
  // `firstWord` and registers "/stats".
  (void)firstWord;
  return 0;
}
