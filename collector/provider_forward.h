// Routed requests begun on the loop thread.
//
// A request for a provider's page that carries no body goes to the provider
// from the loop thread itself: the lookup, the connect and the send happen
// as soon as its head has arrived, and the provider's answer is waited for
// in the loop's own poll (loop_tasks.h). An answer that arrives whole (at
// most the document client's 64 KiB buffer) is passed on from the loop
// too, so a typical routed request is served without handing the
// connection to a thread and without a thread sleeping on the provider.
//
// Everything else goes on on a session thread, from where the loop left it:
//   - the whole request, as the alternate page handler, when it carries a
//     body or a head too long to send at once, when its provider is not
//     found or not ready, or when the one connect attempt made here does
//     not succeed at once (the session makes every attempt and launches
//     the provider, with their pauses, which the loop must not wait out);
//   - the rest of the answer when it is longer than 64 KiB, when it is the
//     first "503" (the retry is the session's), when it is not complete
//     within kLoopAnswerWaitMs, or when the loop ends. The session then
//     waits for what is missing with the usual time-outs, counted afresh.
//
// An answer passed on from the loop thread (at most 64 KiB and its head)
// is written into a connection that nothing has been written to yet. On
// loopback a new connection's send buffer takes that much at once, even
// from a client that reads nothing with the smallest receive window (tried
// with a 60 KiB answer), so the write does not wait; the stall limit that
// bounds every answer the loop writes stays in force. Answers, log lines,
// counts and the access log are the same either way.
#pragma once
#include <memory>

class IOSocket;
class URLParse;

// How long an answer may take to arrive whole while the loop waits for it.
constexpr unsigned kLoopAnswerWaitMs = 1000;
// Requests the loop waits on at once; past it requests take a session.
// Each holds a copy of its request head (about 25 KB) and the document
// client's 64 KiB buffer while it waits.
constexpr unsigned kMaxLoopForwards = 256;

// The server's alternate loop start: true when it took the connection
// (moved out of `io`) and sent the request to the provider.
bool StartForwardOnLoop(std::unique_ptr<IOSocket>& io, const URLParse& request);

// Installs StartForwardOnLoop as the server's alternate loop start.
void InstallLoopForwarding();
