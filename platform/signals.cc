#include "platform/signals.h"

#include <atomic>
#include <cstdint>
#include <errno.h>
#include <signal.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<int> g_wake_fd{-1};
std::atomic<unsigned> g_pending{0};
std::atomic<int> g_stop_count{0};
std::atomic<bool> g_system_shutdown{false};

static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need lock-free atomics");

void Wake() {
  int fd = g_wake_fd.load();
  if (fd < 0) return;
  int saved = errno;
  uint64_t one = 1;
  ssize_t ignored = write(fd, &one, sizeof one);
  (void)ignored;
  errno = saved;
}

void OnSignal(int sig) {
  if (sig == SIGHUP) {
    g_pending.fetch_or(SignalBit(kSignalReconfig));
    Wake();
    return;
  }
  // SIGTERM / SIGINT: the second one ends the process the way the default
  // action would, without waiting for the orderly shutdown.
  if (g_stop_count.fetch_add(1) > 0) {
    // The signal is blocked while its handler runs: unblock it so the
    // default action ends the process now, killed by that signal.
    signal(sig, SIG_DFL);
    sigset_t self;
    sigemptyset(&self);
    sigaddset(&self, sig);
    sigprocmask(SIG_UNBLOCK, &self, nullptr);
    raise(sig);
    _exit(128 + sig);
  }
  g_system_shutdown.store(true);
  g_pending.fetch_or(SignalBit(kSignalShutdown));
  Wake();
}

}  // namespace

int InstallSignalHandlers(int wakeFd) {
  g_wake_fd.store(wakeFd);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  int rc = 0;
  for (int sig : {SIGTERM, SIGINT, SIGHUP})
    if (sigaction(sig, &sa, nullptr) != 0) rc = -1;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGPIPE, &ignore, nullptr) != 0) rc = -1;
  return rc;
}

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
