#include "platform/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Written once by TakeServiceNotifyEnvironment, on the main thread before
// the threads that send start; read-only afterwards.
struct NotifyTarget {
  bool taken = false;
  int fd = -1;
  sockaddr_un address{};
  socklen_t length = 0;
  uint64_t watchdogUsec = 0;
};
NotifyTarget g_target;

// Fills the address from "/path" or "@abstract"; false for anything else
// or a name too long for sun_path.
bool ParseAddress(const char* text, sockaddr_un* address, socklen_t* length) {
  const size_t size = strlen(text);
  if (size < 2 || (text[0] != '/' && text[0] != '@') || size >= sizeof address->sun_path) return false;
  address->sun_family = AF_UNIX;
  memcpy(address->sun_path, text, size);
  if (text[0] == '@') {
    // Abstract: a leading NUL, and the name's length counts, no terminator.
    address->sun_path[0] = '\0';
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + size);
  } else {
    address->sun_path[size] = '\0';
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + size + 1);
  }
  return true;
}

// A decimal number above 0 and nothing else; 0 otherwise.
uint64_t PositiveNumber(const char* text) {
  if (text == nullptr || *text < '0' || *text > '9') return 0;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = strtoull(text, &end, 10);
  if (*end != '\0' || errno != 0) return 0;
  return value;
}

}  // namespace

bool TakeServiceNotifyEnvironment() {
  if (g_target.taken) return g_target.fd >= 0;
  g_target.taken = true;
  const char* socketName = getenv("NOTIFY_SOCKET");
  const uint64_t usec = PositiveNumber(getenv("WATCHDOG_USEC"));
  const char* pidText = getenv("WATCHDOG_PID");
  const bool watchdogIsOurs = pidText == nullptr || PositiveNumber(pidText) == static_cast<uint64_t>(getpid());
  if (socketName != nullptr && ParseAddress(socketName, &g_target.address, &g_target.length)) {
    g_target.fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (g_target.fd >= 0 && watchdogIsOurs) g_target.watchdogUsec = usec;
  }
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  unsetenv("WATCHDOG_PID");
  return g_target.fd >= 0;
}

bool ServiceNotifyEnabled() { return g_target.fd >= 0; }

uint64_t ServiceWatchdogUsec() { return g_target.watchdogUsec; }

int SendServiceNotify(const char* message) {
  if (g_target.fd < 0) return -1;
  const size_t size = strlen(message);
  ssize_t sent;
  do {
    sent = sendto(g_target.fd, message, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&g_target.address),
                  g_target.length);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(size) ? 0 : -1;
}

}  // namespace platform
