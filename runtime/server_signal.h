// Signals to the server loop. Any thread may raise one: it sets a flag and
// wakes the loop, which acts on it. Operating-system signals (SIGTERM,
// SIGINT, SIGHUP) only wake a descriptor of their own; the thread that
// waits on it turns them into the same flags with TakeSystemSignals, so the
// handlers never do more than wake the loop.
//
// The kinds are platform::kSignalShutdown, kSignalReconfig and
// kSignalSuggestShutdown (platform/signals.h).
#pragma once
#include <cstdint>

// Sets the flag of `kind`, logs it and wakes the loop; other kinds do nothing.
void RaiseServerSignal(int kind);

// Turns the operating-system signals that arrived since the last call into
// raised flags (first SIGTERM/SIGINT: shutdown; SIGHUP: reconfig); clears
// their wake descriptor first so that none is lost (see
// platform::ConsumeWakeAndTakeSignals; `between` is for tests). True when
// the shutdown handler below ran (it may have armed page timers).
bool TakeSystemSignals(void (*between)() = nullptr);

// What the first SIGTERM or SIGINT does instead of raising the shutdown
// flag: the collector begins its orderly shutdown of the providers and
// raises the flag itself once they are gone. Called on the thread that
// takes the signals (the loop thread). Null (the default) raises the flag.
using SystemShutdownHandler = void (*)();
void SetSystemShutdownHandler(SystemShutdownHandler handler);

// Sets the idle timeout (0 = never) and marks it as set at run time.
void SetIdleTimeout(uint32_t seconds);
