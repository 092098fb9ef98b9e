#include "pages/worker_list.h"

#include "platform/clock.h"
#include "runtime/log.h"
#include "xml/xml_accumulator.h"

bool WorkerList::Empty() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return workers_.empty();
}

size_t WorkerList::Size() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return workers_.size();
}

WorkerControlObject* WorkerList::Add(std::unique_ptr<WorkerControlObject> worker) {
  std::lock_guard<std::mutex> guard(mutex_);
  workers_.push_back(std::move(worker));
  return workers_.back().get();
}

void WorkerList::RequestExitAll() {
  std::lock_guard<std::mutex> guard(mutex_);
  for (auto& worker : workers_) worker->setExitRequested();
}

size_t WorkerList::Maintenance() {
  // Records leave the list under the mutex and are destroyed outside it:
  // destroying one joins its (ended) thread.
  std::vector<std::unique_ptr<WorkerControlObject>> discarded;
  size_t left;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    bool found = true;
    while (found) {
      found = false;
      for (auto it = workers_.begin(); it != workers_.end(); ++it) {
        if (!(*it)->hasExited()) continue;
        Log(128, "MonitorPage::workersMaintenance discards worker control for [%s]\n",
            (*it)->GetDescription().c_str());
        discarded.push_back(std::move(*it));
        workers_.erase(it);
        found = true;
        break;
      }
    }
    left = workers_.size();
  }
  return left;
}

void WorkerList::WaitForAll() {
  const uint64_t start = platform::TickCountMs();
  for (;;) {
    std::unique_ptr<WorkerControlObject> done;
    WorkerControlObject* running = nullptr;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (workers_.empty()) break;
      Log(128, "MonitorPage::OnShutdown Waiting for worker function to finish\n");
      const uint64_t waited = (platform::TickCountMs() - start) / 1000;
      for (auto it = workers_.begin(); it != workers_.end(); ++it) {
        WorkerControlObject* worker = it->get();
        bool ended = worker->hasExited();
        if (!ended && worker->GetExitWait() > waited) continue;
        if (!ended) worker->terminate();
        done = std::move(*it);
        workers_.erase(it);
        break;
      }
      if (!done) running = workers_.front().get();
    }
    if (done) continue;  // destroyed here, outside the mutex
    // Only this thread discards records, so `running` stays valid while
    // the mutex is not held.
    running->waitForExit(1);
  }
  Log(128, "MonitorPage::OnShutdown Waiting for worker function to finish now completed\n");
}

void WorkerList::WriteXML(XMLAccumulator* xml) const {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const auto& worker : workers_) worker->WriteXML(xml);
}
