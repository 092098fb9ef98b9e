#include "runtime/loop_tasks.h"

#include <algorithm>

#include "platform/poll_set.h"

namespace {
constexpr size_t kNotPolled = ~size_t{0};
}  // namespace

LoopTasks& LoopTasks::Instance() {
  static LoopTasks* tasks = new LoopTasks;
  return *tasks;
}

void LoopTasks::Add(std::unique_ptr<LoopTask> task) { tasks_.push_back(Entry{std::move(task), kNotPolled}); }

void LoopTasks::AddToPoll(platform::PollSet& set) {
  for (auto& e : tasks_) e.pollIndex = set.Add(e.task->Socket());
}

size_t LoopTasks::Service(const platform::PollSet& set, uint64_t nowMs) {
  size_t finished = 0;
  // A task may add others while it advances (none does today), so the list
  // is walked by index and only the entries present at the start are seen.
  const size_t count = tasks_.size();
  for (size_t i = 0; i < count; ++i) {
    Entry& e = tasks_[i];
    const size_t at = e.pollIndex;
    e.pollIndex = kNotPolled;
    bool done = false;
    if (at != kNotPolled && at < set.Size() && set.Ready(at))
      done = e.task->Advance(false);
    else if (nowMs >= e.task->DeadlineMs())
      done = e.task->Advance(true);
    if (done) {
      tasks_[i].task.reset();
      ++finished;
    }
  }
  if (finished > 0)
    tasks_.erase(std::remove_if(tasks_.begin(), tasks_.end(), [](const Entry& e) { return !e.task; }), tasks_.end());
  return finished;
}

int LoopTasks::MsToNextDeadline(uint64_t nowMs) const {
  if (tasks_.empty()) return -1;
  uint64_t earliest = tasks_.front().task->DeadlineMs();
  for (const auto& e : tasks_) earliest = std::min(earliest, e.task->DeadlineMs());
  return earliest <= nowMs ? 0 : static_cast<int>(std::min<uint64_t>(earliest - nowMs, 1u << 30));
}

void LoopTasks::AbandonAll() {
  std::vector<Entry> tasks;
  tasks.swap(tasks_);
  for (auto& e : tasks) e.task->Abandon();
}
