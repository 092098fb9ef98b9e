#include "runtime/pending_requests.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/poll_set.h"
#include "platform/socket.h"
#include "runtime/dispatch.h"
#include "runtime/io_buffer.h"
#include "runtime/io_socket.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/request_reader.h"
#include "runtime/session.h"
#include "runtime/url_parse.h"

namespace {
constexpr size_t kNotPolled = ~size_t{0};
}  // namespace

struct PendingRequests::Waiting {
  std::unique_ptr<IOSocket> io;
  uint64_t deadlineMs = 0;
  bool done = false;
  size_t pollIndex = kNotPolled;  // where AddToPoll put it in the last wait
  std::string head;  // the head's bytes taken so far, while it is incomplete
  // Set once the head is read and the inline page waits for its body.
  std::unique_ptr<URLParse> request;
  ServedPage* page = nullptr;
  uint64_t bodyWanted = 0;
  std::string body;
};

PendingRequests::PendingRequests(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {}

PendingRequests::~PendingRequests() { CloseAll(); }

void PendingRequests::CloseAll() {
  for (auto& w : waiting_) Forget(*w);
  waiting_.clear();
}

void PendingRequests::Forget(Waiting& w) {
  bodyBytesHeld_ -= w.request ? w.bodyWanted : 0;
  w.request.reset();
  w.io.reset();  // shuts the socket down and closes it unless handed on
  w.done = true;
}

size_t PendingRequests::Add(int socket, uint64_t nowMs) {
  Log(64, "MonitorServer::AcceptConnection\n");
  if (waiting_.size() >= capacity_) {
    Waiting& oldest = *waiting_.front();
    Log(16, "Too many connections waiting for a request; closed the oldest, from %s\n", oldest.io->PeerName());
    Forget(oldest);
    waiting_.erase(waiting_.begin());
  }
  auto w = std::make_unique<Waiting>();
  w->io = std::make_unique<IOSocket>(socket);
  w->deadlineMs = nowMs + kHeadDeadlineMs;
  w->io->SetDeadline(w->deadlineMs);
  // Writes on the loop thread (an inline answer, a 503) may stall no longer
  // than a head may take to arrive.
  w->io->SetStallLimit(static_cast<int>(kHeadDeadlineMs));
  served_ = 0;
  if (!Advance(*w, false)) waiting_.push_back(std::move(w));
  return served_;
}

void PendingRequests::AddToPoll(platform::PollSet& set) {
  for (auto& w : waiting_) w->pollIndex = set.Add(w->io->Socket());
}

size_t PendingRequests::Service(const platform::PollSet& set, uint64_t nowMs) {
  served_ = 0;
  // Connections accepted since the wait (pollIndex not set) are only
  // checked against their deadline; the oldest may have been closed since,
  // so each connection remembers its own place in the poll.
  for (auto& entry : waiting_) {
    Waiting& w = *entry;
    if (w.done) continue;
    const size_t i = w.pollIndex;
    if (i != kNotPolled && set.Ready(i) && Advance(w, set.HungUp(i))) continue;
    if (!w.done && nowMs >= w.deadlineMs) {
      if (w.request)
        Log(16, "Request body refused from %s\n", w.io->PeerName());
      else
        Log(16, "Request head timed out from %s\n", w.io->PeerName());
      Forget(w);
    }
  }
  waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(), [](const auto& w) { return w->done; }),
                 waiting_.end());
  return served_;
}

int PendingRequests::MsToNextDeadline(uint64_t nowMs) const {
  if (waiting_.empty()) return -1;
  uint64_t earliest = waiting_.front()->deadlineMs;
  for (const auto& w : waiting_) earliest = std::min(earliest, w->deadlineMs);
  return earliest <= nowMs ? 0 : static_cast<int>(earliest - nowMs);
}

bool PendingRequests::Advance(Waiting& w, bool hungUp) {
  bool finished = w.request ? AdvanceBody(w) : AdvanceHead(w, hungUp);
  if (finished && !w.done) Forget(w);
  return finished;
}

bool PendingRequests::AdvanceHead(Waiting& w, bool hungUp) {
  if (scratch_.empty()) scratch_.resize(kMaxHeadBytes);
  // What has arrived is taken off the socket, at most the longest head in
  // all: usually the whole head in one receive. Bytes past the head (the
  // start of a body) go on with the request as the channel's read-ahead.
  long n = platform::ReceiveNow(w.io->Socket(), scratch_.data(), kMaxHeadBytes - w.head.size());
  if (n == platform::kWouldBlock && !hungUp) return false;
  std::string_view data(scratch_.data(), n > 0 ? static_cast<size_t>(n) : 0);
  if (!w.head.empty()) {
    w.head.append(data);
    data = w.head;
  }
  const size_t headLength = HeadLength(data.data(), data.size());
  if (headLength == 0) {
    // More may come while the peer sends and the head still fits; after
    // its end, an error or a hang-up the head stays incomplete.
    if (n > 0 && !hungUp && data.size() < kMaxHeadBytes) {
      if (w.head.empty()) w.head.assign(data);
      return false;
    }
    Log(32, "Accept connection failed to parse URI\n");
    return true;
  }
  URLParse request;
  IOBuffer head(data.substr(0, headLength));
  if (ReadRequest(&request, &head) != kRequestRead) {
    Log(32, "Accept connection failed to parse URI\n");
    return true;
  }
  w.io->BeginRequest();
  std::string rest(data.substr(headLength));
  w.head.clear();

  Route route = RouteRequest(request);
  if (route.kind == Route::kFork) {
    w.io->SetReadAhead(std::move(rest));
    AlternateLoopStart start = TheServer().alternateLoopStart;
    if (route.alternate && start != nullptr && start(w.io, request)) {
      ++served_;
      return true;
    }
    ForkRequest(*w.io, request);
    ++served_;
    return true;
  }
  if (route.kind == Route::kDrop) return true;

  // Inline: the loop thread must never wait for a body, so one that is
  // announced is collected here first. One over the limit is left to the
  // page, whose ReadBody refuses it without reading.
  uint64_t wanted = AnnouncedBodyLength(request.HeaderNames(), request.HeaderValues());
  if (wanted == 0 || wanted > kInlineBodyLimit) {
    w.io->SetReadAhead(std::move(rest));
    RunInlineRequest(*w.io, route.page, request);
    ++served_;
    return true;
  }
  if (bodyBytesHeld_ + wanted > kBodyBudget) {
    Log(16, "Request body refused from %s\n", w.io->PeerName());
    return true;
  }
  bodyBytesHeld_ += wanted;
  w.request = std::make_unique<URLParse>(request);
  w.page = route.page;
  w.bodyWanted = wanted;
  // What came after the body is not part of the request.
  if (rest.size() > wanted) rest.resize(static_cast<size_t>(wanted));
  w.body = std::move(rest);
  w.body.reserve(static_cast<size_t>(wanted));
  return AdvanceBody(w);
}

bool PendingRequests::AdvanceBody(Waiting& w) {
  char piece[16384];
  while (w.body.size() < w.bodyWanted) {
    size_t want = std::min<uint64_t>(sizeof piece, w.bodyWanted - w.body.size());
    long n = platform::ReceiveNow(w.io->Socket(), piece, want);
    if (n == platform::kWouldBlock) return false;
    if (n <= 0) break;  // the client stopped early: the page gets what came
    w.body.append(piece, static_cast<size_t>(n));
  }
  RunBody(w);
  return true;
}

void PendingRequests::RunBody(Waiting& w) {
  w.io->SetReadAhead(std::move(w.body));
  RunInlineRequest(*w.io, w.page, *w.request);
  ++served_;
}
