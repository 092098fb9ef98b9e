// Request dispatch: from a request head to the page that serves the path.
//
// On the loop thread, once a connection's head has arrived (see
// pending_requests.h), RouteRequest finds the page and asks it whether the
// request runs on a session thread of its own (forked) or at once on the
// loop thread (inline). A path no page serves goes to the application's
// alternate page handler when there is one (forked, unless the
// application's alternate loop start takes it on the loop thread), and is
// closed without an answer when there is none.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "runtime/url_parse.h"

class IOBase;
class IOSocket;
class ServedPage;
class SessionWork;

// Counters of dispatch decisions, kept for the statistics page.
struct RequestCounters {
  std::atomic<uint32_t> alternate{0};      // given to the alternate handler
  std::atomic<uint32_t> unmatched{0};      // matched nothing
  std::atomic<uint32_t> forkDecisions{0};  // ForkOnRequest asked
  std::atomic<uint32_t> forked{0};         // run on a session thread
  std::atomic<uint32_t> inlined{0};        // run on the loop thread
};
RequestCounters& DispatchCounters();

// Set by the index page when it first sees "collectorrequest=1": the
// collector has asked for this provider's index, so a provider started
// with -f may now run its late initialization.
std::atomic<bool>& CollectorRequestSeen();

// How long a client has, from the accept, to send a complete request head
// (and, for an inline page, its body) before the loop closes the connection
// with nothing written. Without it a client that connects and sends nothing
// would hold a place in the loop for ever.
constexpr uint32_t kHeadDeadlineMs = 5000;
// The largest body an inline page may read on the loop thread.
constexpr uint64_t kInlineBodyLimit = 1 << 20;

// The loop thread's decision for a request whose head it has read.
struct Route {
  enum Kind { kDrop, kFork, kInline };
  Kind kind = kDrop;
  ServedPage* page = nullptr;  // for kInline: the page that runs it
  bool alternate = false;      // for kFork: the alternate page handler's
};
// Finds the page and asks it; counts and logs the decision. kDrop (nothing
// serves the path): the caller closes the connection without an answer.
Route RouteRequest(const URLParse& request);

// Hands the connection to a new session thread; the channel gives up its
// socket. With kMaxSessions sessions running, answers "503 Service
// Unavailable" at once instead and leaves the socket to the channel. With
// `work` the session runs it instead of the request's page (session.h).
void ForkRequest(IOSocket& io, const URLParse& request, std::unique_ptr<SessionWork> work = nullptr);

// Runs the request on the loop thread, then the provider's late
// initialization when the collector's first index request has just been
// served. A body the page could not have within the limits is logged as
// refused (the channel then wrote nothing).
void RunInlineRequest(IOSocket& io, ServedPage* page, const URLParse& request);

// Handles one request on a session thread or standard input: 405 for a verb
// other than GET or POST, the page's answer, 404 when nothing serves the
// path, or the alternate handler's answer. Returns the status number.
int HandleRequest(IOBase* io, const URLParse& request);

// Page statistics (-g): when set, HandleRequest reads the tick count around
// a page's Get or Post and reports the request path, whether it was a POST
// and the milliseconds taken. Requests run inline on the loop thread are
// never timed. Set once at start-up, before the server runs; null (the
// default) times nothing.
using RequestTimer = void (*)(const char* path, bool isPost, uint32_t milliseconds);
void SetRequestTimer(RequestTimer timer);

// Answers the request in hand and, on standard input and output, every
// following request until the input ends; a socket carries exactly one.
// Writes an access-log line per request. Returns 0.
int ProcessRequests(IOBase* io, const URLParse& request);

// Hands a scheduler wakeup (`cookie`) to the page serving `path`.
void ForwardESWakeup(const char* path, const char* cookie);
