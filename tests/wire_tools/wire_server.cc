// A test server made of the wire pieces: one connection at a time, the
// request head read under a deadline, answered with the response writers,
// an access-log line per request on standard error.
//
//   wire_server [head-timeout-ms]     prints "port N" once it listens
//
// Pages:
//   /hello            200 "hello world\n"
//   /null             200 with no body and no Content-Length
//   /empty            200 with an empty body
//   /show...          200 "verb|path|query|name=value;..."
//   /echo             200 with the request body (ReadBody)
//   /crc              200 "length crc" of the request body
//   /stream?bytes=N   200, N pseudo-random bytes streamed in 4 MB pieces,
//                     their CRC-32 in the header X-Crc32
//   anything else     404 with no body
// SIGTERM ends it; SIGHUP is counted (tests send it to interrupt writes).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/signals.h"
#include "platform/socket.h"
#include "platform/wake_event.h"
#include "runtime/access_log.h"
#include "runtime/io_socket.h"
#include "runtime/log.h"
#include "runtime/request_reader.h"
#include "runtime/response_writer.h"
#include "tests/wire_tools/test_data.h"

namespace {

int Stream(IOBase* io, const URLParse& request) {
  const char* query = request.Query();
  const char* bytesText = query ? strstr(query, "bytes=") : nullptr;
  uint32_t total = bytesText ? static_cast<uint32_t>(strtoul(bytesText + 6, nullptr, 10)) : 0;
  constexpr size_t kPiece = 4 << 20;
  std::vector<char> piece(kPiece);
  // First pass for the checksum, second for sending the same bytes.
  uint64_t state = 1;
  uint32_t crc = 0;
  for (uint32_t done = 0; done < total;) {
    size_t n = total - done < kPiece ? total - done : kPiece;
    wire_tools::FillBytes(&state, piece.data(), n);
    crc = wire_tools::Crc32(crc, piece.data(), n);
    done += static_cast<uint32_t>(n);
  }
  char crcText[16];
  snprintf(crcText, sizeof crcText, "%08x", crc);
  const char* names[] = {"X-Crc32", nullptr};
  const char* values[] = {crcText, nullptr};
  if (BeginStreamedResponse(io, kStatus200, total, names, values) != 0) return 200;
  state = 1;
  for (uint32_t done = 0; done < total;) {
    size_t n = total - done < kPiece ? total - done : kPiece;
    wire_tools::FillBytes(&state, piece.data(), n);
    if (ContinueStreamedResponse(io, piece.data(), static_cast<uint32_t>(n)) != 0) break;
    done += static_cast<uint32_t>(n);
  }
  return 200;
}

int Answer(IOBase* io, const URLParse& request) {
  std::string path = request.Path();
  if (path == "/hello") {
    StandardResponse(io, kStatus200, "hello world\n", 12, nullptr, nullptr);
  } else if (path == "/null") {
    StandardResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
  } else if (path == "/empty") {
    StandardResponse(io, kStatus200, "", 0, nullptr, nullptr);
  } else if (path.rfind("/show", 0) == 0) {
    std::string text = std::string(request.Verb()) + "|" + path + "|" + (request.Query() ? request.Query() : "") + "|";
    for (uint32_t i = 0; i < request.HeaderCount(); ++i)
      text += std::string(request.HeaderNames()[i]) + "=" + request.HeaderValues()[i] + ";";
    StandardResponse(io, kStatus200, text.data(), static_cast<uint32_t>(text.size()), nullptr, nullptr);
  } else if (path == "/echo") {
    std::string body;
    ReadBody(io, request.HeaderNames(), request.HeaderValues(), &body);
    StandardResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  } else if (path == "/crc") {
    std::string body;
    ReadBody(io, request.HeaderNames(), request.HeaderValues(), &body);
    char text[64];
    snprintf(text, sizeof text, "%zu %08x", body.size(), wire_tools::Crc32(0, body.data(), body.size()));
    StandardResponse(io, kStatus200, text, static_cast<uint32_t>(strlen(text)), nullptr, nullptr);
  } else if (path == "/stream") {
    return Stream(io, request);
  } else {
    StandardResponse(io, kStatus404, nullptr, 0, nullptr, nullptr);
    return 404;
  }
  return 200;
}

}  // namespace

int main(int argc, char** argv) {
  int headTimeoutMs = argc > 1 ? atoi(argv[1]) : 5000;
  LogOpen(nullptr, 0);
  SetVerbosityMask(1 | 16 | 64);
  platform::WakeEvent wake;
  wake.Create();
  platform::InstallSignalHandlers(wake.Fd());

  int listener = platform::CreateTcpSocket();
  if (listener < 0 || platform::BindLoopback(listener, 0) != 0 || platform::Listen(listener, 16) != 0) {
    fprintf(stderr, "cannot listen\n");
    return 1;
  }
  printf("port %u\n", platform::LocalPort(listener));
  fflush(stdout);

  unsigned hangups = 0;
  for (;;) {
    unsigned signals = platform::TakeSignals();
    if (signals & platform::SignalBit(platform::kSignalReconfig)) ++hangups;
    if (signals & platform::SignalBit(platform::kSignalShutdown)) break;
    wake.Consume();
    if (platform::WaitReadable(listener, 100) != 1) continue;
    int fd = platform::Accept(listener);
    if (fd < 0) continue;
    IOSocket io(fd);
    io.SetDeadline(platform::TickCountMs() + static_cast<uint64_t>(headTimeoutMs));
    URLParse request;
    int result = ReadRequest(&request, &io);
    if (result != kRequestRead) {
      if (io.TimedOut())
        Log(16, "Request head timed out from %s\n", io.PeerName());
      else
        Log(16, "wire_server: request ended with %d from %s\n", result, io.PeerName());
      continue;  // nothing is written; the channel closes the socket
    }
    io.SetDeadline(0);
    int status = Answer(&io, request);
    LogAccess(&io, request, status);
  }
  Log(1, "wire_server: stopped after %u hangup signals\n", hangups);
  platform::CloseSocket(listener);
  return 0;
}
