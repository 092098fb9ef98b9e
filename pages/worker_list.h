// A page's worker threads: the records it owns, with the operations the
// page framework runs over all of them (maintenance, exit requests, the
// shutdown wait, the status listing).
//
// The list has a small mutex of its own: status listings run on session
// threads while the loop thread adds, discards and waits for workers. The
// mutex is never held while sleeping or waiting for a thread.
//
// Threads. Records are created, started, discarded and waited for on the
// loop thread (the page runs the requests that create workers inline, and
// maintenance, idle checks and shutdown are the loop's). Workers report
// through requests to this same server, which the loop thread accepts; so
// the loop thread must never wait for a worker while the worker can be
// waiting for the loop. WaitForAll is the one place the loop waits, and it
// runs only after RequestExitAll: from then on a worker's report is refused
// before it is sent, and a report already waiting for its answer is
// abandoned (WorkerControlObject::postToParent), so no worker is left
// waiting on the loop.
#pragma once
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "pages/worker_control_object.h"

class XMLAccumulator;

class WorkerList {
 public:
  WorkerList() = default;
  WorkerList(const WorkerList&) = delete;
  WorkerList& operator=(const WorkerList&) = delete;

  bool Empty() const;
  size_t Size() const;
  // Takes the record; returns it (still owned by the list).
  WorkerControlObject* Add(std::unique_ptr<WorkerControlObject> worker);
  // Asks every worker to finish.
  void RequestExitAll();
  // Discards the records of workers whose threads have ended, one at a
  // time until a full pass finds none; returns how many are left.
  size_t Maintenance();
  // The shutdown wait: until the list is empty, discards the first worker
  // that has ended or whose exit wait has passed (giving that one up), and
  // otherwise waits up to a second for the first one still running. Waited
  // time is measured, not counted in rounds, so a round cut short by a
  // worker's end does not shorten another worker's exit wait.
  void WaitForAll();
  // One "helper" element per worker, in list order.
  void WriteXML(XMLAccumulator* xml) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<WorkerControlObject>> workers_;
};
