#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/whole_file.h"

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace platform {
namespace {

// Our children: id to "has ended and been reaped".
std::mutex childrenMutex;
std::map<long, bool>& Children() {
  static auto* children = new std::map<long, bool>;  // used by waiter threads until exit
  return *children;
}

bool IsOwnChild(long pid, bool* ended) {
  std::lock_guard<std::mutex> guard(childrenMutex);
  auto it = Children().find(pid);
  if (it == Children().end()) return false;
  *ended = it->second;
  return true;
}

void MarkEnded(long pid) {
  std::lock_guard<std::mutex> guard(childrenMutex);
  auto it = Children().find(pid);
  if (it != Children().end()) it->second = true;
}

// Waits for one child and reaps it. ECHILD means another test reaped it.
void WaitForChild(long pid) {
  int status = 0;
  while (waitpid(static_cast<pid_t>(pid), &status, 0) < 0 && errno == EINTR) {
  }
  MarkEnded(pid);
}

// A descriptor of at least 3, so that the child's /dev/null on 0 to 2
// cannot overwrite it.
int AboveStandard(int fd) {
  if (fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// Runs in the child: only async-signal-safe calls, no allocation.
[[noreturn]] void ChildAfterFork(const char* path, char* const* argv, int reportFd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults;
  memset(&defaults, 0, sizeof defaults);
  defaults.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &defaults, nullptr);
  }
  setsid();
  errno = 0;
  int priority = getpriority(PRIO_PROCESS, 0);
  if (errno == 0) setpriority(PRIO_PROCESS, 0, priority + 10);
  int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (null > 2) close(null);
  }
  // Every other descriptor closes at exec; the report pipe stays usable
  // until then.
  if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    struct rlimit limit;
    int top = 65536;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < static_cast<rlim_t>(top))
      top = static_cast<int>(limit.rlim_cur);
    for (int fd = 3; fd < top; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  execv(path, argv);
  int failure = errno;
  ssize_t ignored = write(reportFd, &failure, sizeof failure);
  (void)ignored;
  _exit(127);
}

}  // namespace

long SpawnDetached(const std::string& path, const std::vector<std::string>& argv, int* error) {
  *error = 0;
  std::vector<char*> words;
  for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = errno;
    return -1;
  }
  report[0] = AboveStandard(report[0]);
  report[1] = AboveStandard(report[1]);
  if (report[0] < 0 || report[1] < 0) {
    *error = EMFILE;
    if (report[0] >= 0) close(report[0]);
    if (report[1] >= 0) close(report[1]);
    return -1;
  }
  pid_t pid = fork();
  if (pid == 0) ChildAfterFork(path.c_str(), words.data(), report[1]);
  int forkError = errno;
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    *error = forkError;
    return -1;
  }
  int failure = 0;
  ssize_t n;
  while ((n = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof failure)) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    *error = failure;
    return -1;
  }
  {
    std::lock_guard<std::mutex> guard(childrenMutex);
    Children()[pid] = false;
  }
  try {
    std::thread(WaitForChild, static_cast<long>(pid)).detach();
  } catch (const std::system_error&) {
    // No waiter: ProbeProcessExit still reaps the child when asked.
  }
  return pid;
}

bool ChildHasEnded(long pid) {
  bool ended = false;
  return IsOwnChild(pid, &ended) && ended;
}

uint32_t ParentProcessId(uint32_t pid) {
  if (pid == 0) return 0;
  char path[64];
  snprintf(path, sizeof path, "/proc/%u/stat", pid);
  std::string text;
  int error = 0;
  if (ReadWholeFile(path, &text, &error) != kFileOk) return 0;
  // The command name may hold blanks and ")": read after the last one.
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  char state = 0;
  unsigned parent = 0;
  if (sscanf(text.c_str() + close + 1, " %c %u", &state, &parent) != 2) return 0;
  return parent;
}

bool ProcessIsRunning(uint32_t pid) {
  if (pid <= 1) return false;
  bool ended = false;
  if (IsOwnChild(pid, &ended)) return !ended;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

ExitProbe ProbeProcessExit(uint32_t pid, int* error) {
  *error = 0;
  if (pid <= 1) return kProcessGone;
  bool ended = false;
  if (IsOwnChild(pid, &ended)) {
    if (ended) return kProcessEnded;
    int status = 0;
    pid_t r;
    while ((r = waitpid(static_cast<pid_t>(pid), &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (r == 0) return kProcessRunning;
    // Reaped here, or already reaped by its waiter (ECHILD).
    MarkEnded(pid);
    return kProcessEnded;
  }
  if (kill(static_cast<pid_t>(pid), 0) != 0) {
    if (errno == ESRCH) return kProcessGone;
    *error = errno;
    return kProcessUnknown;
  }
  char path[64];
  snprintf(path, sizeof path, "/proc/%u/stat", pid);
  std::string text;
  int readError = 0;
  if (ReadWholeFile(path, &text, &readError) == kFileOk) {
    size_t close = text.rfind(')');
    if (close != std::string::npos && text.find_first_not_of(' ', close + 1) != std::string::npos &&
        text[text.find_first_not_of(' ', close + 1)] == 'Z')
      return kProcessEnded;
  }
  return kProcessRunning;
}

int KillProcess(uint32_t pid, int* error) {
  *error = 0;
  if (pid <= 1) {
    *error = EINVAL;
    return -1;
  }
  if (kill(static_cast<pid_t>(pid), SIGKILL) != 0) {
    *error = errno;
    return -1;
  }
  return 0;
}

}  // namespace platform
