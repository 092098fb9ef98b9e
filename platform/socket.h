// TCP sockets on the loopback address.
//
// Every socket is created close-on-exec and binds or connects to 127.0.0.1
// only. A socket is a plain descriptor (kInvalidSocket when absent). Sends
// never raise SIGPIPE (MSG_NOSIGNAL) and loop until the whole buffer is
// written, because a blocking send may return a short count when a signal
// arrives or the socket buffer fills; receives and waits retry on EINTR.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

constexpr int kInvalidSocket = -1;

// The socket library's start and stop: nothing to do on this platform, kept
// so that start-up and tear-down read the same everywhere. Startup returns 0.
int SocketStartup();
void SocketCleanup();

// A new TCP socket (blocking unless asked otherwise, close-on-exec), or
// kInvalidSocket.
int CreateTcpSocket(bool nonBlocking = false);
// A connected pair of local stream sockets (close-on-exec); 0 on success.
// Used where two ends of a channel live in one process.
int CreateSocketPair(int fds[2]);

// Binds to 127.0.0.1:port (port 0 lets the system choose), asking for
// SO_REUSEADDR first (see SetReuseAddress). 0 on success, -1 with
// LastSocketError() set otherwise.
int BindLoopback(int fd, uint16_t port);
// SO_REUSEADDR: a listener restarted at once may bind its port while old
// connections linger (on Linux it never lets two listeners share a port).
// 0 on success. A server that reports the option's failure calls this
// itself before BindLoopback.
int SetReuseAddress(int fd);
int Listen(int fd, int backlog);
// The port the socket is bound to (host byte order); 0 on failure.
uint16_t LocalPort(int fd);
// Accepts one connection (close-on-exec, blocking); kInvalidSocket on error.
int Accept(int listenFd);

// Connects to 127.0.0.1:port, waiting at most timeoutMs for a connect in
// progress. A refused connect fails at once: "writable" after the wait is
// success only when the socket's pending error is 0. The socket is left
// blocking whatever the outcome. 0 on success; -1 on failure with *error
// (when given) set to the error number (ETIMEDOUT when the wait ran out).
int ConnectLoopback(int fd, uint16_t port, int timeoutMs, int* error);
// The same for a socket created non-blocking, which stays so: no mode
// changes (four system calls fewer per connection). For callers that wait
// for readiness before every receive and send with SendAll.
int ConnectLoopbackNonBlocking(int fd, uint16_t port, int timeoutMs, int* error);

// ConnectLoopbackNonBlocking followed by SendAllPair of the two buffers
// (a request's head and body), in fewer system calls: the first send is
// tried before any wait, and only a socket still connecting is waited for
// (then asked for its pending error) as above. The outcome is the
// connect's, reported the same way (a refused connect fails at once);
// what becomes of the send afterwards is not looked at.
int ConnectLoopbackAndSend(int fd, uint16_t port, int timeoutMs, const void* first, size_t firstLength,
                           const void* second, size_t secondLength, int stallMs, int* error);

// Writes the whole buffer. Returns length when every byte went out, -1 on a
// real error (including a peer that closed), 0 for an empty buffer. With
// stallMs >= 0 the send gives up (-1, error ETIMEDOUT) once the peer has
// taken nothing for that long: a client that never reads cannot hold the
// sender for ever. stallMs < 0 waits as long as it takes.
long SendAll(int fd, const void* data, size_t length, int stallMs = -1);
// SendAll of two buffers one after the other, in one system call when the
// socket takes them at once (a response head and a small body).
long SendAllPair(int fd, const void* first, size_t firstLength, const void* second, size_t secondLength,
                 int stallMs = -1);
// One receive of up to length bytes: count, 0 when the peer closed, -1 on error.
long Receive(int fd, void* buffer, size_t length);
// Like Receive, but the bytes stay in the socket for the next receive.
long Peek(int fd, void* buffer, size_t length);
// Receive that never waits: kWouldBlock when nothing has arrived.
constexpr long kWouldBlock = -2;
long ReceiveNow(int fd, void* buffer, size_t length);

// Waits until a receive would not block (data, end of input or an error).
// timeoutMs < 0 waits without limit. 1 ready, 0 time-out, -1 error.
int WaitReadable(int fd, int timeoutMs);

// "%s:%u" of the peer's dotted address and port into buffer; 0 on success,
// -1 (buffer untouched) when the peer is not an IPv4 address or is unknown.
int PeerAddressText(int fd, char* buffer, size_t size);

int SetNonBlocking(int fd, bool nonBlocking);
// Linger on with a zero time-out: a close then resets the connection.
int SetZeroLinger(int fd);
// Shuts down both directions (result ignored by callers that close next).
int ShutdownBoth(int fd);
void CloseSocket(int fd);

// The error number of the last failed socket call on this thread.
int LastSocketError();
// A short text for an error number (for log lines).
const char* SocketErrorText(int error);

}  // namespace platform
