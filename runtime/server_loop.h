// The server run: an optional one-shot phase, an optional STDIO phase that
// serves requests from standard input, and the TCP/IP phase: a listen
// socket on 127.0.0.1 and a loop on the main thread that waits on {the
// signal events, the listen socket, the session-completion event, every
// connection whose request has not fully arrived, every loop task's socket
// (loop_tasks.h)}, accepts connections and hands each complete request to
// the dispatcher, drives the pages' timers, and ends on the shutdown signal
// or after an idle period (loop tasks left then are abandoned first).
//
// Linux choices:
//  - the wait is poll(); elapsed seconds come from the monotonic clock, so a
//    wall-clock step cannot make them negative or huge;
//  - page timers are advanced by every second since they were last
//    advanced, so waits cut short (a session ending, a slow client's bytes)
//    never lose time and timers fire on time under load;
//  - request heads of all accepted connections are awaited at once in the
//    poll (pending_requests.h): no client can hold the loop;
//  - at start the soft descriptor limit is raised to the hard limit; at
//    most 1024 connections, or a quarter of that limit if lower, wait for
//    their requests at once;
//  - an accept that fails for lack of descriptors or memory pauses
//    accepting for 100 ms, logged once per spell at level 2; the loop never
//    ends for it;
//  - the first SIGTERM or SIGINT also ends the standard-input and one-shot
//    phases: the request in hand finishes, then the run ends in order;
//  - at shutdown the wait for running sessions is bounded: after 10 seconds
//    their sockets are shut down, and the wait goes on only until those
//    threads return.
#pragma once
#include <cstdint>

// Runs the phases; returns 0, or 1 when the loop ended on an error.
int RunServer();

// What an application may hang on the TCP/IP loop; every function runs on
// the loop thread, and a null one is skipped. Set before RunServer.
struct LoopHooks {
  // Runs once per pass, before the wait; returns the milliseconds after
  // which it wants to run again (the wait is cut to that), or -1 for no
  // such need.
  int (*tick)() = nullptr;
  // Run before and after the reconfiguration that SIGHUP requests.
  void (*reconfigBegins)() = nullptr;
  void (*reconfigEnded)() = nullptr;
};
void SetLoopHooks(const LoopHooks& hooks);

// Runs every page's Reconfig in path order around a master-configuration
// walk, then clears the reconfiguration flag (loop thread only).
void RunReconfiguration();

// Advances every page's timers by `elapsed` seconds; the smallest seconds
// to a page's next timer, at most 10000.
uint32_t UpdateSchedulers(uint32_t elapsed);

// The next wait: the smallest seconds to a page's next timer, or the idle
// timeout when no page has a timer.
uint32_t UpdateSchedulersTimeout();

// The wait `timeout` shortened to the idle time left (idleLimit minus
// idleSeconds), so that an idle timeout shorter than the next page timer
// (a suggested shutdown sets it to 1 second; the cookie maintenance timer
// is 60) ends an idle provider on time instead of at that timer. Applied
// after every wait, not only after waits that timed out. The collector
// never idles, and an idle limit of 0 means never.
uint32_t BoundByIdleTime(bool isCollector, uint32_t idleLimit, uint32_t idleSeconds, uint32_t timeout);

// The session time-out from VELMORA_SESSION_TIMEOUT (whole seconds above
// 0); 60 when unset or not such a number.
uint32_t SessionTimeoutFromEnvironment(const char* text);
