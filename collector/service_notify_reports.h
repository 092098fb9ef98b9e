// The collector's reports to a service manager that started it with a
// notify socket (platform/service_notify.h): "READY=1" once it listens and
// its registrations are loaded, "WATCHDOG=1" from the loop thread every
// half watchdog interval, "RELOADING=1" and "READY=1" around the
// reconfiguration SIGHUP requests (once ready; before, it is part of the
// start), "STOPPING=1" when its shutdown begins.
// Without a notify socket every call here does nothing, and the loop gets
// no hook (so no extra wakeups).
#pragma once

// Takes the manager's variables out of the environment (before any
// provider can be launched, and before the threads that could read it).
void TakeServiceManagerEnvironment();

// Logs what was found and hangs the watchdog and reload reports on the
// server loop when a notify socket was named.
void InstallServiceManagerReports();

// "READY=1", the first call only.
void ReportServiceReady();
// "STOPPING=1", the first call only.
void ReportServiceStopping();
