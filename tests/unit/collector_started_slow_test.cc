// The STARTED file held by another process: the check gives up after 30 s.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>

#include "collector/started_file.h"
#include "tests/support/log_to_temp_dir.h"

LogToTempDir* const g_env = AddLogToTempDir("velmora-held-");

TEST(StartedFileHeld, CheckGivesUpAfterThirtySeconds) {
  ASSERT_EQ(chdir(g_env->Dir().c_str()), 0);
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t holder = fork();
  if (holder == 0) {
    int fd = open("started.col", O_RDWR | O_CREAT, 0600);
    flock(fd, LOCK_EX);
    (void)!write(ready[1], "x", 1);
    // Holds the lock until it is killed, or until the test process ends
    // (its end of the pipe closes), so a failed test leaves nobody behind.
    close(release[1]);
    char byte;
    (void)!read(release[0], &byte, 1);
    _exit(0);
  }
  close(release[0]);
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(CheckFirstStart("demo_provider", false));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 29.5);
  EXPECT_LT(seconds, 33.0);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(release[1]);
  EXPECT_TRUE(CheckFirstStart("demo_provider", false));  // the lock died with its holder
}
