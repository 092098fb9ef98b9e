#include "runtime/loop_tasks.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/poll_set.h"

namespace {

// A task over one end of a socket pair that records what it was asked.
struct Recorder : LoopTask {
  Recorder(int fd, uint64_t deadline, std::string* log, bool finishOnInput)
      : fd(fd), deadline(deadline), log(log), finishOnInput(finishOnInput) {}
  int Socket() const override { return fd; }
  uint64_t DeadlineMs() const override { return deadline; }
  bool Advance(bool due) override {
    *log += due ? "due " : "input ";
    if (!due) {
      char c;
      if (read(fd, &c, 1) != 1) return true;
    }
    return due || finishOnInput;
  }
  void Abandon() override { *log += "abandoned "; }
  int fd;
  uint64_t deadline;
  std::string* log;
  bool finishOnInput;
};

TEST(LoopTasks, InputDeadlinesAndAbandon) {
  int a[2], b[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, a));
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, b));
  LoopTasks tasks;
  std::string first, second;
  tasks.Add(std::make_unique<Recorder>(a[0], 1000, &first, false));
  tasks.Add(std::make_unique<Recorder>(b[0], 5000, &second, true));
  EXPECT_EQ(400, tasks.MsToNextDeadline(600));

  // Input wakes only the task whose socket has it; a task added after the
  // wait is not looked at for input until the next one.
  platform::PollSet set;
  tasks.AddToPoll(set);
  ASSERT_EQ(1, write(a[1], "x", 1));
  ASSERT_EQ(1, set.Wait(1000));
  EXPECT_EQ(0u, tasks.Service(set, 600));
  EXPECT_EQ("input ", first);
  EXPECT_EQ("", second);

  // Past its deadline a task is advanced without input and, done, removed.
  set.Clear();
  tasks.AddToPoll(set);
  EXPECT_EQ(0, set.Wait(0));
  EXPECT_EQ(1u, tasks.Service(set, 1000));
  EXPECT_EQ("input due ", first);
  EXPECT_EQ(1u, tasks.Size());
  EXPECT_EQ(4000, tasks.MsToNextDeadline(1000));

  set.Clear();
  tasks.AddToPoll(set);
  ASSERT_EQ(1, write(b[1], "y", 1));
  ASSERT_EQ(1, set.Wait(1000));
  EXPECT_EQ(1u, tasks.Service(set, 1001));
  EXPECT_EQ("input ", second);
  EXPECT_EQ(-1, tasks.MsToNextDeadline(1001));

  // The loop's end abandons what is left, and the list is empty after.
  std::string third;
  tasks.Add(std::make_unique<Recorder>(a[0], 9000, &third, false));
  tasks.AbandonAll();
  EXPECT_EQ("abandoned ", third);
  EXPECT_EQ(0u, tasks.Size());
  for (int fd : {a[0], a[1], b[0], b[1]}) close(fd);
}

}  // namespace
