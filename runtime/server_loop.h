// The server run: an optional one-shot phase, an optional STDIO phase that
// serves requests from standard input, and the TCP/IP phase: a listen
// socket on 127.0.0.1 and a loop on the main thread that waits on {the
// signal event, the listen socket, the session-completion event}, accepts
// connections and hands each to the dispatcher, drives the pages' timers,
// and ends on the shutdown signal or after an idle period.
//
// Linux choices: the wait is poll(); elapsed seconds come from the
// monotonic clock, so a wall-clock step cannot make them negative or huge;
// the listen socket is non-blocking and accepted sockets blocking; there is
// no limit on the number of sessions the wait notices (one shared
// completion event), and every session is still joined and waited for.
//
// Idle time: every wait after a connection or a suggested shutdown is
// also bounded by the idle time left (not only waits that timed out), so a
// short idle timeout ends an idle provider on time even while a page timer
// (the cookie maintenance's 60 seconds) is further away.
#pragma once
#include <cstdint>

// Runs the phases; returns 0.
int RunServer();

// Runs every page's Reconfig in path order around a master-configuration
// walk, then clears the reconfiguration flag (loop thread only).
void RunReconfiguration();

// Advances every page's timers by `elapsed` seconds; the smallest seconds
// to a page's next timer, at most 10000.
uint32_t UpdateSchedulers(uint32_t elapsed);

// The next wait: the smallest seconds to a page's next timer, or the idle
// timeout when no page has a timer.
uint32_t UpdateSchedulersTimeout();
