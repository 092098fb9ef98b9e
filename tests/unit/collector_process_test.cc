// Starting providers detached, parent ids, the exit test and the sweep.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "collector/process_control.h"
#include "platform/process.h"
#include "tests/support/log_to_temp_dir.h"

namespace {

LogToTempDir* logDir = AddLogToTempDir("velmora-process-");

// Field n (1-based) of /proc/<pid>/stat, counted after the command name.
std::string StatField(long pid, int n) {
  std::string text = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= n; ++i) rest >> field;
  return field;
}

TEST(SpawnDetached, ChildIsDetachedAndInheritsNothing) {
  // A command name with blanks and parentheses: the parent id is read after the last ")".
  std::string odd = logDir->Dir() + "/a) (b";
  std::filesystem::copy_file("/bin/sleep", odd);
  int leaked = open("/dev/zero", O_RDONLY);  // deliberately not close-on-exec
  sigset_t usr1, old;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &usr1, &old);
  auto oldPipe = signal(SIGPIPE, SIG_IGN);
  int error = 0;
  long pid = platform::SpawnDetached(odd, {"sleep", "30"}, &error);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  signal(SIGPIPE, oldPipe);
  close(leaked);
  ASSERT_GT(pid, 0) << error;
  std::string proc = "/proc/" + std::to_string(pid);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(proc + "/cmdline") == std::string("sleep\0" "30\0", 9); }));
  EXPECT_EQ(platform::ParentProcessId(static_cast<uint32_t>(pid)), static_cast<uint32_t>(getpid()));
  EXPECT_EQ(StatField(pid, 6), std::to_string(pid));  // session leader
  // Ten steps nicer than its parent, capped at the lowest priority.
  EXPECT_EQ(std::stoi(StatField(pid, 19)), std::min(std::stoi(StatField(getpid(), 19)) + 10, 19));
  // The dynamic loader holds a library open for a moment after the exec:
  // wait for it to finish; an inherited descriptor would stay for good.
  std::map<std::string, std::string> fds;
  auto readFds = [&] {
    fds.clear();
    std::error_code gone;  // a descriptor closed between the listing and the look
    for (auto& entry : std::filesystem::directory_iterator(proc + "/fd", gone)) {
      std::filesystem::path target = std::filesystem::read_symlink(entry.path(), gone);
      if (gone) return false;
      fds[entry.path().filename()] = target;
    }
    return !gone && fds.size() == 3;
  };
  WaitFor(readFds, 3);
  EXPECT_EQ(fds, (std::map<std::string, std::string>{{"0", "/dev/null"}, {"1", "/dev/null"}, {"2", "/dev/null"}}));
  std::string status = ReadFile(proc + "/status");
  EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos);
  EXPECT_NE(status.find("SigIgn:\t0000000000000000"), std::string::npos);
  EXPECT_EQ(platform::ParentProcessId(0), 0u);
  EXPECT_EQ(platform::ParentProcessId(0x7FFFFFF0u), 0u);
  EXPECT_NE(platform::KillProcess(1, &error), 0);
  EXPECT_NE(platform::KillProcess(0, &error), 0);
  EXPECT_FALSE(ProcessHasExited(static_cast<uint32_t>(pid), true));
  EXPECT_TRUE(WaitFor([&] { return !std::filesystem::exists(proc); }));  // killed and reaped
  EXPECT_TRUE(ProcessHasExited(static_cast<uint32_t>(pid), false));
}

TEST(SpawnDetached, ExecFailureIsNotAStart) {
  std::string plain = logDir->Dir() + "/plain";
  std::ofstream(plain) << "not a program";
  int error = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::SpawnDetached("/no/such/file", {"x"}, &error), -1);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(platform::SpawnDetached(plain, {"plain"}, &error), -1);
  EXPECT_EQ(error, EACCES);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(SweepProviders, KillsOwnChildSkipsTheRest) {
  int error = 0;
  long own = platform::SpawnDetached("/bin/sleep", {"sleep", "30"}, &error);
  long vanished = platform::SpawnDetached("/bin/true", {"true"}, &error);
  ASSERT_GT(own, 0);
  ASSERT_GT(vanished, 0);
  ASSERT_TRUE(WaitFor([&] { return platform::ChildHasEnded(vanished); }));
  // Ids posted by any local client: 0, -1 and 1 would signal a process
  // group, every process, or init.
  std::vector<SweepRecord> records = {{"a_own", std::to_string(own)},
                                      {"b_empty", ""},
                                      {"c_foreign", std::to_string(getppid())},
                                      {"d_vanished", std::to_string(vanished)},
                                      {"e_zero", "0"},
                                      {"f_minus", "-1"},
                                      {"g_init", "1"}};
  EXPECT_FALSE(SweepProviders(&records, true));
  EXPECT_FALSE(records[0].done);
  for (size_t i = 1; i < records.size(); ++i) EXPECT_TRUE(records[i].done) << records[i].name;
  for (const char* skipped : {"Skipping PID 0(e_zero)", "Skipping PID 4294967295(f_minus)", "Skipping PID 1(g_init)"})
    EXPECT_TRUE(logDir->Logged(skipped)) << skipped;
  EXPECT_TRUE(logDir->Logged("    sending KILL signal to process " + std::to_string(own) + "\n"));
  EXPECT_TRUE(WaitFor([&] { return SweepProviders(&records, true); }));
  EXPECT_TRUE(records[0].done);
  // Killed and reaped: a zombie would keep its /proc entry.
  EXPECT_TRUE(WaitFor([&] { return !std::filesystem::exists("/proc/" + std::to_string(own)); }, 1.0));
  EXPECT_EQ(kill(static_cast<pid_t>(getppid()), 0), 0);  // the foreign process was left alone
}

}  // namespace
