// Connections the loop thread has accepted whose request has not fully
// arrived yet.
//
// The loop never waits on one client: every accepted connection waits in
// the loop's poll until its request head is complete (and, for a page that
// runs inline, until the body it announces has arrived), and is served the
// moment it is. A connection has kHeadDeadlineMs from its accept for all of
// that; past it the connection is closed with nothing written ("Request
// head timed out from %s", or "Request body refused from %s" while a body
// was awaited, both at level 16). At most `capacity` connections wait at
// once: one accepted past that closes the one that has waited longest, so
// accepting never stops.
//
// Heads are received into the connection's own buffer until complete (in
// one receive as a rule), then parsed from it by ReadRequest; what came
// after the head becomes the channel's read-ahead, where the page's body
// read finds it before the socket. Bodies of inline pages are taken into the
// read-ahead whole, at most kInlineBodyLimit each.
//
// Loop thread only. The set owns the connections' channels.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {
class PollSet;
}

class PendingRequests {
 public:
  explicit PendingRequests(size_t capacity);
  ~PendingRequests();
  PendingRequests(const PendingRequests&) = delete;
  PendingRequests& operator=(const PendingRequests&) = delete;

  // Takes an accepted socket and serves it at once when its request is
  // already there. The number of requests served (0 or 1).
  size_t Add(int socket, uint64_t nowMs);
  // Adds every waiting connection to `set`.
  void AddToPoll(platform::PollSet& set);
  // Serves the connections that the last wait on `set` found ready and
  // closes those whose time ran out. The number of requests served.
  size_t Service(const platform::PollSet& set, uint64_t nowMs);
  // Milliseconds until the earliest deadline (0 when one has passed), or -1
  // when nothing waits.
  int MsToNextDeadline(uint64_t nowMs) const;
  size_t Size() const { return waiting_.size(); }
  // Closes every waiting connection with nothing written.
  void CloseAll();

  // Longest head looked for; a longer one is malformed.
  static constexpr size_t kMaxHeadBytes = 64 * 1024;
  // Bodies of inline requests held at once, in bytes; past it a body is
  // refused rather than let a crowd of clients exhaust memory.
  static constexpr uint64_t kBodyBudget = 64 << 20;

 private:
  struct Waiting;
  // Looks at one connection; true when it is done with (served or closed).
  bool Advance(Waiting& w, bool hungUp);
  bool AdvanceHead(Waiting& w, bool hungUp);
  bool AdvanceBody(Waiting& w);
  void RunBody(Waiting& w);
  void Forget(Waiting& w);

  size_t capacity_;
  std::vector<std::unique_ptr<Waiting>> waiting_;  // in accept order
  std::vector<char> scratch_;                      // what a receive of a head lands in
  uint64_t bodyBytesHeld_ = 0;
  size_t served_ = 0;  // requests served in the current call
};
