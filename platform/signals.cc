#include "platform/signals.h"

#include <atomic>
#include <cstdint>
#include <errno.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// SIGTERM, SIGINT and SIGHUP are never delivered to a handler: every thread
// keeps them blocked and one watcher thread reads them from a signalfd.
// A handler runs at whatever point the kernel (or a sanitizer that defers
// signals to its own safe points) chooses; a blocked signal waits in the
// kernel until it is read, so none is lost however busy the loop is.
// The watcher also acts at once when the loop cannot: a second SIGTERM or
// SIGINT ends the process while the loop waits for sessions to end.

std::atomic<int> g_wake_fd{-1};
std::atomic<unsigned> g_pending{0};
std::atomic<int> g_stop_count{0};
std::atomic<bool> g_system_shutdown{false};

void StopSet(sigset_t* set) {
  sigemptyset(set);
  sigaddset(set, SIGTERM);
  sigaddset(set, SIGINT);
  sigaddset(set, SIGHUP);
}

void Wake() {
  int fd = g_wake_fd.load();
  if (fd < 0) return;
  uint64_t one = 1;
  while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

// Ends the process the way the signal's default action would: killed by it.
[[noreturn]] void DieBy(int sig) {
  signal(sig, SIG_DFL);
  sigset_t self;
  sigemptyset(&self);
  sigaddset(&self, sig);
  pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
  raise(sig);
  _exit(128 + sig);
}

void OnSignal(int sig) {
  if (sig == SIGHUP) {
    g_pending.fetch_or(SignalBit(kSignalReconfig));
    Wake();
    return;
  }
  // SIGTERM / SIGINT: the second one ends the process without waiting for
  // the orderly shutdown.
  if (g_stop_count.fetch_add(1) > 0) DieBy(sig);
  g_system_shutdown.store(true);
  g_pending.fetch_or(SignalBit(kSignalShutdown));
  Wake();
}

// The watcher thread and the descriptors it waits on. Owned by this file;
// the static instance's destructor stops the thread when the process ends
// without StopSignalWatcher (an early return from main).
class Watcher {
 public:
  ~Watcher() { Stop(); }

  int Start() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (thread_.joinable()) return 0;
    sigset_t set;
    StopSet(&set);
    signalFd_ = signalfd(-1, &set, SFD_CLOEXEC);
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    if (signalFd_ < 0 || stopFd_ < 0) {
      CloseAll();
      return -1;
    }
    thread_ = std::thread([this] { Run(); });
    return 0;
  }

  void Stop() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!thread_.joinable()) return;
    uint64_t one = 1;
    while (write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
    CloseAll();
  }

 private:
  void Run() {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      signalfd_siginfo info;
      if (read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        OnSignal(static_cast<int>(info.ssi_signo));
    }
  }

  void CloseAll() {
    if (signalFd_ >= 0) close(signalFd_);
    if (stopFd_ >= 0) close(stopFd_);
    signalFd_ = stopFd_ = -1;
  }

  std::mutex mutex_;
  std::thread thread_;
  int signalFd_ = -1;
  int stopFd_ = -1;
};

Watcher g_watcher;

}  // namespace

int InstallSignalHandlers(int wakeFd) {
  g_wake_fd.store(wakeFd);
  // Blocked before the watcher (or any other thread) starts, so that every
  // thread inherits the mask. The default disposition replaces an inherited
  // SIG_IGN, which would discard the signals before the watcher saw them.
  sigset_t set;
  StopSet(&set);
  int rc = pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0 ? 0 : -1;
  for (int sig : {SIGTERM, SIGINT, SIGHUP})
    if (signal(sig, SIG_DFL) == SIG_ERR) rc = -1;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGPIPE, &ignore, nullptr) != 0) rc = -1;
  if (g_watcher.Start() != 0) rc = -1;
  return rc;
}

void StopSignalWatcher() { g_watcher.Stop(); }

unsigned TakeSignals() { return g_pending.exchange(0); }

unsigned ConsumeWakeAndTakeSignals(void (*between)()) {
  int fd = g_wake_fd.load();
  if (fd >= 0) {
    uint64_t value = 0;
    while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
  }
  if (between != nullptr) between();
  unsigned all = 0;
  while (unsigned bits = TakeSignals()) all |= bits;
  return all;
}

bool SystemShutdownPending() { return g_system_shutdown.load(); }

void SetSystemShutdownPending() { g_system_shutdown.store(true); }

}  // namespace platform
