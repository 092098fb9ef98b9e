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
// platform::ConsumeWakeAndTakeSignals; `between` is for tests).
void TakeSystemSignals(void (*between)() = nullptr);

// Sets the idle timeout (0 = never) and marks it as set at run time.
void SetIdleTimeout(uint32_t seconds);
