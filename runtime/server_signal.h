// Signals to the server loop. Any thread may raise one: it sets a flag and
// wakes the loop, which acts on it. Operating-system signals (SIGTERM,
// SIGINT, SIGHUP) reach the same flags through DrainSystemSignals on the
// loop thread, so their handlers never do more than wake the loop.
#pragma once
#include <cstdint>

enum : int {
  kSignalKindShutdown = 0,
  kSignalKindReconfig = 1,
  kSignalKindSuggestShutdown = 2,
};

// Sets the flag of `kind`, logs it and wakes the loop; other kinds do nothing.
void Signal(int kind);

// Turns the operating-system signals that arrived since the last call into
// Signal calls (first SIGTERM/SIGINT: shutdown; SIGHUP: reconfig).
void DrainSystemSignals();

// Sets the idle timeout (0 = never) and marks it as set at run time.
void SetIdleTimeout(uint32_t seconds);
