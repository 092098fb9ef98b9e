// A page's worker threads. Worker support (worker records with exit
// requests, waits and maintenance) fills this in; until then a page has no
// workers, so shutdown has nothing to wait for and idleness depends on the
// page's timers alone.
#pragma once
#include <cstddef>

class WorkerList {
 public:
  bool Empty() const { return true; }
  // Asks every worker to finish.
  void RequestExitAll() {}
  // Discards the records of workers whose threads have ended; the number left.
  size_t Maintenance() { return 0; }
  // Waits for every worker to end (forcing those past their exit wait).
  void WaitForAll() {}
};
