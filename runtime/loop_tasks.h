// Work the loop thread carries on between its waits, without a thread of
// its own: each task watches one socket for input and has a deadline. The
// collector's routed requests use it to wait for a provider's answer in the
// loop's own poll instead of on a session thread (provider_forward.h).
//
// A task is advanced when its socket has input (or its peer hung up) and
// when its deadline has passed; one that says it is finished is deleted.
// When the loop ends (shutdown, idle exit) every task left is abandoned:
// it must finish its work without the loop, typically by handing it to a
// session thread, which the shutdown then waits for.
//
// Loop thread only. The list owns its tasks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {
class PollSet;
}

class LoopTask {
 public:
  virtual ~LoopTask() = default;
  // The socket watched for input.
  virtual int Socket() const = 0;
  // When Advance is called even without input (platform::TickCountMs).
  virtual uint64_t DeadlineMs() const = 0;
  // Input has arrived or the peer hung up (`due` false), or the deadline
  // has passed (`due` true). True when the task is finished.
  virtual bool Advance(bool due) = 0;
  // The loop is ending: finish the work without it.
  virtual void Abandon() = 0;
};

class LoopTasks {
 public:
  // The loop's one list.
  static LoopTasks& Instance();

  void Add(std::unique_ptr<LoopTask> task);
  // Adds every task's socket to `set`.
  void AddToPoll(platform::PollSet& set);
  // Advances the tasks that the last wait on `set` found ready and those
  // whose deadline has passed. The number of tasks finished.
  size_t Service(const platform::PollSet& set, uint64_t nowMs);
  // Milliseconds until the earliest deadline (0 when one has passed), or -1
  // when there is no task.
  int MsToNextDeadline(uint64_t nowMs) const;
  size_t Size() const { return tasks_.size(); }
  // Abandons and deletes every task.
  void AbandonAll();

 private:
  struct Entry {
    std::unique_ptr<LoopTask> task;
    size_t pollIndex;  // where AddToPoll put it in the last wait
  };
  std::vector<Entry> tasks_;
};
