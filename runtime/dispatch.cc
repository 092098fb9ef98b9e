#include "runtime/dispatch.h"

#include <memory>

#include "platform/clock.h"
#include "platform/socket.h"
#include "runtime/access_log.h"
#include "runtime/io_socket.h"
#include "runtime/late_init.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/page_registry.h"
#include "runtime/request_reader.h"
#include "runtime/response_writer.h"
#include "runtime/served_page.h"
#include "runtime/session.h"

RequestCounters& DispatchCounters() {
  static RequestCounters* counters = new RequestCounters;
  return *counters;
}

namespace {
std::atomic<RequestTimer> g_request_timer{nullptr};
}  // namespace

void SetRequestTimer(RequestTimer timer) { g_request_timer.store(timer, std::memory_order_release); }

std::atomic<bool>& CollectorRequestSeen() {
  static std::atomic<bool> seen{false};
  return seen;
}

Route RouteRequest(const URLParse& request) {
  MonitorServer& server = TheServer();
  Route route;
  ServedPage* page = FindPage(request.Path());
  if (page != nullptr) {
    Log(1024, "Accept connection found page; calling forkOnRequest\n");
    bool fork = page->ForkOnRequest(request.Path(), request.Query(), request.HeaderNames(), request.HeaderValues(),
                                    request.VerbCode());
    ++DispatchCounters().forkDecisions;
    Log(1024, "ForkOnRequest returns %s\n", fork ? "true" : "false");
    route.kind = fork ? Route::kFork : Route::kInline;
    route.page = fork ? nullptr : page;
  } else if (server.alternatePageHandler == nullptr) {
    Log(32, "Accept connection couldn't find page matching %s\n", request.Path());
    ++DispatchCounters().unmatched;
  } else {
    Log(1024, "Accept connection couldn't find page matching %s but an alternate page handler is available\n",
        request.Path());
    ++DispatchCounters().alternate;
    route.kind = Route::kFork;
    route.alternate = true;
  }
  return route;
}

void ForkRequest(IOSocket& io, const URLParse& request, std::unique_ptr<SessionWork> work) {
  MonitorServer& server = TheServer();
  Log(128, "Accept connection fork for page %s(request:%s)\n", request.Path(), request.Verb());
  // Check rather than only clean: under a steady stream of connections the
  // listen socket always wins the wait over the completion event, so the
  // ended sessions must also be noticed here or the list would only grow.
  CheckConnectionList();
  if (RunningSessions() >= kMaxSessions) {
    Log(16, "Too many sessions; request from %s answered 503\n", io.PeerName());
    RespondServiceUnavailable(&io);
    return;
  }
  ++DispatchCounters().forked;
  io.ReleaseOwnership();
  // Not value-initialized: that would clear the whole 25 KB request record
  // first, and every member has its own initializer.
  auto connection = std::make_unique_for_overwrite<Connection>();
  connection->socket = io.Socket();
  connection->request = request;
  connection->readAhead = io.TakeReadAhead();
  connection->work = std::move(work);
  if (!StartSession(connection.get())) {
    Log(16, "Unable to create session thread for connection %s\n", io.PeerName());
    platform::CloseSocket(connection->socket);
    return;
  }
  Log(128, "Created thread with id %u", connection->threadId);
  server.sockets.connections.push_back(std::move(connection));
}

void RunInlineRequest(IOSocket& io, ServedPage* page, const URLParse& request) {
  MonitorServer& server = TheServer();
  Log(64, "Accept connection executes in master process/thread for page %s\n", request.Path());
  ++DispatchCounters().inlined;
  io.SetBodyLimit(kInlineBodyLimit);
  switch (request.VerbCode()) {
    case URLParse::kVerbGet:
      page->Get(&io, request.Path(), request.Query(), request.HeaderNames(), request.HeaderValues(), 1, 0);
      break;
    case URLParse::kVerbPost:
      page->Post(&io, request.Path(), request.Query(), request.HeaderNames(), request.HeaderValues(), 1, 0);
      break;
    default:
      Log(32, "Accept connection unknown request type %s\n", request.Verb());
      break;
  }
  if (io.BodyRefused() || io.TimedOut()) Log(16, "Request body refused from %s\n", io.PeerName());
  if (!server.isCollector && !server.lateInitDone && CollectorRequestSeen()) {
    if (LateProviderInitialization() != 0) server.lateInitFailed = 1;
    server.lateInitDone = true;
  }
}

int HandleRequest(IOBase* io, const URLParse& request) {
  MonitorServer& server = TheServer();
  Log(64, "MonitorServer::Request\n");
  int verb = request.VerbCode();
  if (verb == URLParse::kVerbOther) {
    Log(32, "%s Invalid request type %s\n", io->PeerName(), request.Verb());
    StandardResponse(io, kStatus405, nullptr, 0, nullptr, nullptr);
    return 405;
  }
  ServedPage* page = FindPage(request.Path());
  if (page != nullptr) {
    const RequestTimer timer = g_request_timer.load(std::memory_order_acquire);
    const uint64_t started = timer != nullptr ? platform::TickCountMs() : 0;
    const bool isPost = verb == URLParse::kVerbPost;
    int status = isPost
                     ? page->Post(io, request.Path(), request.Query(), request.HeaderNames(), request.HeaderValues(), 1, 1)
                     : page->Get(io, request.Path(), request.Query(), request.HeaderNames(), request.HeaderValues(), 1, 1);
    if (timer != nullptr) timer(request.Path(), isPost, static_cast<uint32_t>(platform::TickCountMs() - started));
    return status;
  }
  if (server.alternatePageHandler == nullptr) {
    Log(32, "%s path not found %s\n", io->PeerName(), request.Path());
    StandardResponse(io, kStatus404, nullptr, 0, nullptr, nullptr);
    return 404;
  }
  return server.alternatePageHandler(io, request.Verb(), request.Path(), request.Query(), request.HeaderNames(),
                                     request.HeaderValues());
}

int ProcessRequests(IOBase* io, const URLParse& first) {
  Log(64, "MonitorServer::ProcessRequests\n");
  URLParse request = first;
  for (;;) {
    int status = HandleRequest(io, request);
    LogAccess(io, request, status);
    if (io->Type() != IOBase::kTypeStdio) break;  // a socket carries exactly one request
    if (ReadRequest(&request, io) != kRequestRead) break;
  }
  return 0;
}

void ForwardESWakeup(const char* path, const char* cookie) {
  Log(64, "MonitorServer::ForwardESWakeup (%s,%s)\n", path, cookie);
  ServedPage* page = FindPage(path);
  if (page == nullptr) {
    Log(32, "MonitorServer::ForwardESWakeup can't find page (%s)\n", path);
    return;
  }
  Log(128, "MonitorServer::ForwardESWakeup found matching page, forwarding\n");
  page->ExternalWakeupRecieved(cookie);
}
