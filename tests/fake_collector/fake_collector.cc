// fake_collector: a stand-in for the collector on 127.0.0.1:21584, built
// from the runtime's own pieces. Python's http.server cannot play it: our
// request line carries no protocol version, so it takes every request for
// HTTP/0.9 (and answers a POST with a bare 400 page).
//
//   fake_collector RECORD_FILE [STATUS [REPLY]]
//
// Answers every request, one at a time, with STATUS (default 200) and the
// body REPLY (default empty), and appends one JSON line per request to
// RECORD_FILE: {"raw": head bytes as received, "verb", "path", "query",
// "body"}. Prints "ready <port>" on standard output once it listens. Ends
// on SIGTERM or SIGINT.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/signals.h"
#include "platform/socket.h"
#include "platform/wake_event.h"
#include "platform/poll_set.h"
#include "runtime/io_socket.h"
#include "runtime/monitor_server.h"
#include "runtime/request_reader.h"
#include "runtime/response_writer.h"

namespace {

// A socket channel that keeps every line it reads, so the record shows the
// request head byte for byte.
class RecordingSocket : public IOSocket {
 public:
  using IOSocket::IOSocket;
  long ReadLine(char* buffer, long size) override {
    long n = IOSocket::ReadLine(buffer, size);
    if (n > 0) raw.append(buffer, static_cast<size_t>(n));
    return n;
  }
  std::string raw;
};

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

const char* StatusText(int status) {
  switch (status) {
    case 200: return kStatus200;
    case 400: return kStatus400;
    case 404: return kStatus404;
    case 405: return kStatus405;
    case 503: return kStatus503;
    default: return kStatus500;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: fake_collector RECORD_FILE [STATUS [REPLY]]\n");
    return 2;
  }
  const std::string recordPath = argv[1];
  const int status = argc > 2 ? atoi(argv[2]) : 200;
  const std::string reply = argc > 3 ? argv[3] : "";

  platform::WakeEvent wake;
  wake.Create();
  platform::InstallSignalHandlers(wake.Fd());
  int listener = platform::CreateTcpSocket();
  if (listener < 0 || platform::BindLoopback(listener, kCollectorPort) != 0 || platform::Listen(listener, 128) != 0) {
    fprintf(stderr, "fake_collector: cannot listen on %u\n", kCollectorPort);
    return 1;
  }
  printf("ready %u\n", kCollectorPort);
  fflush(stdout);

  const int fds[2] = {wake.Fd(), listener};
  for (;;) {
    int ready = platform::WaitAnyReadable(fds, 2, -1);
    if (ready == 0) break;  // a stop signal
    if (ready != 1) continue;
    int socket = platform::Accept(listener);
    if (socket < 0) continue;
    RecordingSocket io(socket);
    io.SetDeadline(0);
    URLParse request;
    if (ReadRequest(&request, &io) != kRequestRead) continue;
    std::string body;
    ReadBody(&io, request.HeaderNames(), request.HeaderValues(), &body);
    FILE* record = fopen(recordPath.c_str(), "a");
    if (record != nullptr) {
      fprintf(record, "{\"raw\": %s, \"verb\": %s, \"path\": %s, \"query\": %s, \"body\": %s}\n",
              Json(io.raw).c_str(), Json(request.Verb()).c_str(), Json(request.Path()).c_str(),
              Json(request.Query() != nullptr ? request.Query() : "").c_str(), Json(body).c_str());
      fclose(record);
    }
    StandardResponse(&io, StatusText(status), reply.data(), static_cast<uint32_t>(reply.size()), nullptr, nullptr);
  }
  platform::CloseSocket(listener);
  return 0;
}
