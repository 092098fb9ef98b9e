// The service manager's notification channel: a process started by a
// manager that waits for its readiness (systemd's Type=notify) finds the
// manager's datagram socket in NOTIFY_SOCKET and reports its state there as
// "KEY=VALUE" lines, one message per datagram. WATCHDOG_USEC asks for a
// "WATCHDOG=1" at least that often; WATCHDOG_PID names the process it is
// meant for. A NOTIFY_SOCKET starting with "@" names an abstract socket.
//
// The environment is read once and the three variables are then removed,
// so that no process started later (a provider) inherits them and speaks
// for this one. The socket is close-on-exec.
#pragma once
#include <cstdint>

namespace platform {

// Reads and removes NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID, and
// opens the datagram socket when NOTIFY_SOCKET names a usable address (an
// absolute path or "@name"). Call it before other threads may read the
// environment; only the first call acts. True when notifications will be
// sent.
bool TakeServiceNotifyEnvironment();

// True when TakeServiceNotifyEnvironment found a usable NOTIFY_SOCKET.
bool ServiceNotifyEnabled();

// The watchdog interval the manager asked for, in microseconds; 0 when
// there is no notify socket, WATCHDOG_USEC is unset or not a number above
// 0, or WATCHDOG_PID names another process.
uint64_t ServiceWatchdogUsec();

// Sends `message` as one datagram (any thread). 0 when it was sent, -1
// when there is no socket or the send failed.
int SendServiceNotify(const char* message);

}  // namespace platform
