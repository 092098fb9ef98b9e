#include "runtime/provider_con.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "runtime/io_base.h"
#include "runtime/log.h"
#include "runtime/no_case.h"
#include "runtime/request_reader.h"
#include "runtime/response_writer.h"

namespace {

std::atomic<CProviderCon::StartHook> startHook{nullptr};

constexpr int kConnectWaitMs = 200;
constexpr uint32_t kConnectPauseMs = 10;
constexpr size_t kRequestHeadSize = 65536;
// The longest head SendRequestNow sends: it must fit a new connection's
// send buffer whole, so that sending it never waits.
constexpr size_t kPromptHeadSize = 4096;
constexpr size_t kHeaderLineSize = 2048;
constexpr uint32_t kBodyPiece = 65536;
// The receive buffer: a whole small answer, or one piece of a large body.
constexpr size_t kInputSize = kBodyPiece;
// How often a cancellable wait looks at its flag.
constexpr int kCancelSliceMs = 50;
constexpr const char* kNoStatusBody = "500 internal server error";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

void CopyCut(char* out, size_t size, const char* text) {
  if (size == 0) return;
  size_t n = text ? strnlen(text, size - 1) : 0;
  if (n) memcpy(out, text, n);
  out[n] = '\0';
}

// Seconds to a poll time-out in milliseconds, kept within int range.
int TimeoutMs(int seconds) {
  if (seconds <= 0) return 0;
  if (seconds > 2000000) seconds = 2000000;
  return seconds * 1000;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

void CProviderCon::SetStartHook(StartHook hook) { startHook.store(hook); }

CProviderCon::CProviderCon() : socket_(platform::kInvalidSocket) { platform::SocketStartup(); }

CProviderCon::CProviderCon(const CProviderCon& other)
    : port_(other.port_), mode_(other.mode_), socket_(platform::kInvalidSocket), launch_(other.launch_) {
  platform::SocketStartup();
  memcpy(name_, other.name_, sizeof name_);
  memcpy(arguments_, other.arguments_, sizeof arguments_);
}

CProviderCon::~CProviderCon() {
  disconnect();
  CloseSocket();
  ClearResponse();
  platform::SocketCleanup();
}

void CProviderCon::SetModeFromText(const char* text) {
  mode_ = 0;
  std::string_view t = text ? text : "";
  if (ContainsNoCase(t, "stdio") || ContainsNoCase(t, "stdin") || ContainsNoCase(t, "stdout")) mode_ |= kModeStdio;
  if (ContainsNoCase(t, "sock")) mode_ |= kModeSocket;  // "sock" also covers "socket"
}

void CProviderCon::SetVerb(const char* verb) { CopyCut(verb_, sizeof verb_, verb); }
void CProviderCon::SetName(const char* name) { CopyCut(name_, sizeof name_, name); }
void CProviderCon::SetArguments(const char* arguments) { CopyCut(arguments_, sizeof arguments_, arguments); }

void CProviderCon::AttachChannel(IOBase* io) {
  if (attached_ != io) delete attached_;
  attached_ = io;
}

void CProviderCon::CloseSocket() {
  if (socket_ != platform::kInvalidSocket) platform::CloseSocket(socket_);
  socket_ = platform::kInvalidSocket;
  connected_ = 0;
}

void CProviderCon::ClearResponse() {
  headers_.clear();
  body_.clear();
}

bool CProviderCon::FindResponseHeader(const char* name, char* buffer, size_t size) const {
  for (const auto& header : headers_) {
    if (EqualsNoCase(header.first, name ? name : "")) {
      CopyCut(buffer, size, header.second.c_str());
      return true;
    }
  }
  return false;
}

int CProviderCon::connect(bool startOnFailure) { return Connect(startOnFailure, nullptr, std::string_view(), nullptr); }

int CProviderCon::Connect(bool startOnFailure, const std::string* head, std::string_view body, bool* sent) {
  // A client in standard input/output mode never connects.
  if ((mode_ & kModeSocket) == 0) return 0;
  if (connected_ || attached_ != nullptr) return 1;
  CloseSocket();
  // The socket stays non-blocking throughout: every receive follows a wait
  // for readiness and sends wait inside SendAll, so switching modes around
  // the connect would only cost system calls.
  socket_ = platform::CreateTcpSocket(true);
  if (socket_ == platform::kInvalidSocket) {
    Log(16, "Unable to create socket\n");
    return -1;
  }
  for (int counter = 0;; ++counter) {
    Log(1024, "Call ::connect\n");
    int error = 0;
    const uint16_t port = static_cast<uint16_t>(port_);
    // With a request in hand it goes out as part of the connect: that saves
    // the wait for the handshake, which on loopback is already over.
    int result = head == nullptr ? platform::ConnectLoopbackNonBlocking(socket_, port, kConnectWaitMs, &error)
                                 : platform::ConnectLoopbackAndSend(socket_, port, kConnectWaitMs, head->data(),
                                                                    head->size(), body.data(), body.size(), -1, &error);
    Log(1024, "Return from::connect\n");
    if (result == 0) {
      Log(1024, "Connected: %d\n", static_cast<int>(port_));
      connected_ = 1;
      if (sent != nullptr) *sent = head != nullptr;
      // No socket option is set after the connect: the system's defaults
      // suit a loopback connection, and TCP-level option number 8 in
      // particular is TCP_WINDOW_CLAMP on Linux, which would only cap the
      // receive window. The trace line below keeps its usual wording.
      Log(1024, "Connected: After setsockopt\n");
      return 1;
    }
    Log(1024, "closesocket on failed to connect\n");
    CloseSocket();
    Log(1024, "Unable to connect %s:%d try %d: (%d) %s\n", name_, static_cast<int>(port_), counter, error, "");
    if (counter == 3) {
      disconnect();
      return 0;
    }
    if (counter == 0) {
      if (startOnFailure) {
        StartHook hook = startHook.load();
        if (hook != nullptr) hook(this);  // the outcome does not change the attempts
      } else {
        counter = 2;  // one more attempt only
      }
    }
    if (counter == 1 || counter == 2) platform::SleepMs(kConnectPauseMs);
    // The next attempt needs a fresh socket; it is made only when an attempt
    // follows, so giving up never leaves one open.
    socket_ = platform::CreateTcpSocket(true);
    if (socket_ == platform::kInvalidSocket) {
      Log(16, "Unable to create socket\n");
      return -1;
    }
  }
}

void CProviderCon::disconnect() {
  if (connected_) {
    // Zero linger: the close resets the connection instead of lingering in
    // TIME_WAIT for every one of many short requests.
    platform::SetZeroLinger(socket_);
    Log(1024, "CProviderCon::disconnect calls shutdown(%s)\n", name_);
    platform::ShutdownBoth(socket_);
    Log(1024, "CProviderCon::disconnect calls closesocket(%s)\n", name_);
    CloseSocket();
  }
  delete attached_;
  attached_ = nullptr;
}

int CProviderCon::WaitForAnswer(int timeoutMs) {
  if (cancel_ == nullptr) return platform::WaitReadable(socket_, timeoutMs);
  const uint64_t deadline = platform::TickCountMs() + static_cast<uint64_t>(timeoutMs);
  for (;;) {
    if (cancel_->load()) {
      Log(1024, "requestDocument abandoned on request\n");
      return -1;
    }
    uint64_t now = platform::TickCountMs();
    uint64_t left = now < deadline ? deadline - now : 0;
    int slice = left < static_cast<uint64_t>(kCancelSliceMs) ? static_cast<int>(left) : kCancelSliceMs;
    int ready = platform::WaitReadable(socket_, slice);
    if (ready != 0) return ready;
    if (left <= static_cast<uint64_t>(kCancelSliceMs)) return 0;
  }
}

char* CProviderCon::InputBuffer() {
  if (!input_) input_.reset(new char[kInputSize]);
  return input_.get();
}

long CProviderCon::FillInput(int timeoutSeconds) {
  if (ended_) {
    inputStart_ = inputEnd_ = 0;
    return endedWith_;
  }
  if (noWait_) return -1;  // the loop thread never waits: read as a failure
  int ready = WaitForAnswer(TimeoutMs(timeoutSeconds));
  if (ready == 0) return -2;
  if (ready < 0) return -1;
  long n = platform::Receive(socket_, InputBuffer(), kInputSize);
  inputStart_ = 0;
  inputEnd_ = n > 0 ? static_cast<size_t>(n) : 0;
  return n;
}

long CProviderCon::ReadHeaderLine(char* buffer, size_t size, int timeoutSeconds) {
  if ((mode_ & kModeSocket) == 0 || socket_ == platform::kInvalidSocket || size < 2) return 0;
  size_t stored = 0;
  // Lines are cut from what has already arrived; the socket is read only
  // when that is used up, in pieces as large as the buffer, so a small
  // answer usually takes one receive.
  while (stored < size - 1) {
    if (inputStart_ == inputEnd_) {
      long n = FillInput(timeoutSeconds);
      if (n == -2) {
        Log(16, "ERROR(1): timed out [%d] waiting for collector %s to respond\n", timeoutSeconds, name_);
        headTimedOut_ = true;
        break;
      }
      if (n < 0) {
        buffer[0] = '\0';
        return 0;
      }
      if (n == 0) {
        Log(16, "ERROR: The other end of the socket closed\n");
        disconnect();
        break;
      }
    }
    const char* at = input_.get() + inputStart_;
    const size_t span = std::min(inputEnd_ - inputStart_, size - 1 - stored);
    const void* lineFeed = memchr(at, '\n', span);
    const size_t take = lineFeed != nullptr ? static_cast<size_t>(static_cast<const char*>(lineFeed) - at) + 1 : span;
    memcpy(buffer + stored, at, take);
    inputStart_ += take;
    stored += take;
    if (lineFeed != nullptr) {
      --stored;  // the line feed ends the line and is not part of it
      break;
    }
  }
  buffer[stored] = '\0';
  return static_cast<long>(stored);
}

long CProviderCon::ReadBlock(char* buffer, size_t wanted, int timeoutSeconds) {
  if ((mode_ & kModeSocket) == 0 || socket_ == platform::kInvalidSocket || ended_) return 0;
  size_t got = 0;
  // What has arrived already (on a large body it usually has) is taken
  // without a wait; when nothing has, the wait comes before the receive, so
  // a sender that stalls half way cannot hold this thread past the
  // time-out. A cancellable request always waits first: its flag is looked
  // at there.
  while (got < wanted) {
    long n = cancel_ == nullptr ? platform::ReceiveNow(socket_, buffer + got, wanted - got) : platform::kWouldBlock;
    if (n == platform::kWouldBlock) {
      int ready = WaitForAnswer(TimeoutMs(timeoutSeconds));
      if (ready == 0) {
        Log(16, "ERROR(2): timed out waiting for collector %s to respond\n", name_);
        break;
      }
      if (ready < 0) break;
      n = platform::Receive(socket_, buffer + got, wanted - got);
    }
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<long>(got);
}

int CProviderCon::requestDocument(const char* uri, std::string_view body, bool startOnFailure, int timeoutSeconds,
                                  bool noResponse) {
  return Request(uri, nullptr, body, startOnFailure, timeoutSeconds, noResponse);
}

int CProviderCon::requestDocument(const char* uri, IOBase* output, std::string_view body, bool startOnFailure,
                                  int timeoutSeconds) {
  return Request(uri, output, body, startOnFailure, timeoutSeconds, false);
}

std::string CProviderCon::StartRequest(const char* uri, std::string_view body) {
  status_ = 500;
  headTimedOut_ = false;
  headRead_ = false;
  scan_ = 0;
  ended_ = false;
  endedWith_ = 0;
  sawStatus_ = false;
  statusText_.clear();
  bodyLength_ = 0;
  ClearResponse();
  inputStart_ = inputEnd_ = 0;
  const bool post = EqualsNoCase(verb_, "post");
  std::string head = post ? "POST " : "GET ";
  head += uri ? uri : "";
  head += "\nContent-Length: " + std::to_string(static_cast<int>(body.size())) + "\n\n";
  if (head.size() >= kRequestHeadSize) head.resize(kRequestHeadSize - 1);  // the head's buffer size
  return head;
}

int CProviderCon::Request(const char* uri, IOBase* output, std::string_view body, bool startOnFailure,
                          int timeoutSeconds, bool noResponse) {
  const bool streaming = output != nullptr;
  std::string head = StartRequest(uri, body);
  Log(1024, "requestDocument attempting to connect\n");
  bool sent = false;
  if (Connect(startOnFailure, &head, body, &sent) == 0) {
    Log(streaming ? 16 : 32, "requestDocument fails to connect\n");
    return 0;
  }
  // A result of -1 (no socket) goes on: nothing is sent or read and the
  // request ends as 500.
  Log(1024, streaming ? "requestDocument successfully connects\n" : "requestDocument successfully connected\n");
  if (streaming)
    Log(1024, "RequestDocument tempbuff is [%s](%s)\n", head.c_str(), verb_);
  else
    Log(1024, "RequestDocument tempbuff is [%s]\n", head.c_str());

  // Send results are not looked at: a failed send shows as a missing answer.
  // Head and body go out in one system call where the socket takes both; a
  // new connection has sent them already.
  if (!sent && socket_ != platform::kInvalidSocket)
    platform::SendAllPair(socket_, head.data(), head.size(), body.data(), body.size());
  Log(1024, "requestDocument() wrote %d bytes of content\n", static_cast<int>(body.size()));
  if (!streaming && noResponse) return 0;
  return ReadAnswer(output, timeoutSeconds);
}

bool CProviderCon::SendRequestNow(const char* uri) {
  if ((mode_ & kModeSocket) == 0 || connected_ || attached_ != nullptr) return false;
  std::string head = StartRequest(uri, std::string_view());
  if (head.size() > kPromptHeadSize) return false;
  Log(1024, "requestDocument attempting to connect\n");
  socket_ = platform::CreateTcpSocket(true);
  if (socket_ == platform::kInvalidSocket) return false;
  // No wait for a connect still in progress (on loopback it is over when
  // connect returns, unless the provider's accept queue is full), and a
  // head this small goes out whole into a new connection's buffer.
  int error = 0;
  if (platform::ConnectLoopbackAndSend(socket_, static_cast<uint16_t>(port_), 0, head.data(), head.size(), nullptr, 0,
                                       0, &error) != 0) {
    Log(1024, "Unable to connect %s:%d at once: (%d)\n", name_, static_cast<int>(port_), error);
    CloseSocket();
    return false;
  }
  connected_ = 1;
  Log(1024, "requestDocument successfully connects\n");
  Log(1024, "RequestDocument tempbuff is [%s](%s)\n", head.c_str(), verb_);
  Log(1024, "requestDocument() wrote %d bytes of content\n", 0);
  return true;
}

CProviderCon::Arrival CProviderCon::TakeArrived() {
  if (socket_ == platform::kInvalidSocket) return kAnswerComplete;
  // Receives until the answer is held or nothing more has arrived, so that
  // an end that came right after the last piece is seen now.
  for (;;) {
    bool received = false;
    if (!ended_ && inputEnd_ < kInputSize) {
      long n = platform::ReceiveNow(socket_, InputBuffer() + inputEnd_, kInputSize - inputEnd_);
      if (n > 0) {
        inputEnd_ += static_cast<size_t>(n);
        received = true;
      } else if (n != platform::kWouldBlock) {
        ended_ = true;  // closed or failed: later reads end the same way at once
        endedWith_ = n;
      }
    }
    const Arrival arrival = HeldAnswer();
    if (arrival != kAnswerWaiting || !received) return arrival;
  }
}

bool CProviderCon::HeadHeld() {
  const char* data = input_.get();
  while (scan_ < inputEnd_) {
    const size_t span = std::min(inputEnd_ - scan_, kHeaderLineSize - 1);
    const void* lineFeed = memchr(data + scan_, '\n', span);
    size_t length = span;
    size_t next = scan_ + span;
    if (lineFeed != nullptr) {
      length = static_cast<size_t>(static_cast<const char*>(lineFeed) - (data + scan_));
      next = scan_ + length + 1;
    } else if (span < kHeaderLineSize - 1) {
      return false;  // the piece goes on past what has arrived
    }
    size_t text = strnlen(data + scan_, length);
    while (text > 0 && IsSpace(data[scan_ + text - 1])) --text;
    scan_ = next;
    if (text == 0) return true;
  }
  return false;
}

CProviderCon::Arrival CProviderCon::HeldAnswer() {
  if (!headRead_) {
    // Parsed once the end of the head is here; the look for it goes on
    // from where the last one stopped, so a head that arrives a byte at a
    // time costs no more than one that arrives at once. Once the input has
    // ended, the parse meets that end without a wait.
    // HeadHeld walks the lines as the reader cuts them, so the parse needs
    // nothing more; reads that would wait all the same fail instead.
    if (!ended_ && !HeadHeld()) return inputEnd_ == kInputSize ? kAnswerLong : kAnswerWaiting;
    noWait_ = true;
    ReadHead();
    noWait_ = false;
  }
  if (ended_ || inputEnd_ - inputStart_ >= bodyLength_) return kAnswerComplete;
  return inputEnd_ == kInputSize ? kAnswerLong : kAnswerWaiting;
}

int CProviderCon::FinishRequest(IOBase* output, int timeoutSeconds) { return ReadAnswer(output, timeoutSeconds); }

void CProviderCon::ReadHead() {
  char line[kHeaderLineSize];
  for (;;) {
    long n = ReadHeaderLine(line, sizeof line, headerTimeout_);
    if (n <= 0) break;
    // Trailing whitespace (the CR of CR LF) goes; a NUL ends the text.
    size_t length = strnlen(line, static_cast<size_t>(n));
    while (length > 0 && IsSpace(line[length - 1])) --length;
    std::string_view text(line, length);
    if (text.empty()) break;
    if (StartsWithNoCase(text, "HTTP/1.1")) {
      statusText_ = text.size() > 9 ? std::string(text.substr(9)) : std::string();
      status_ = TextToInt(statusText_.c_str());
      sawStatus_ = true;
      Log(1024, "ProviderCon HTTP STATUS from line(%s)\n", std::string(text).c_str());
      continue;
    }
    // A header line: split at the first colon, both sides trimmed, newest
    // first so that a lookup finds the last one received. A line without a
    // colon carries nothing to look up and is dropped.
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) continue;
    headers_.emplace_front(std::string(Trim(text.substr(0, colon))), std::string(Trim(text.substr(colon + 1))));
  }
  Log(1024, "Gets reads end of headers\n");
  char lengthText[64] = {};
  int announced = FindResponseHeader("Content-Length", lengthText, sizeof lengthText) ? TextToInt(lengthText) : 0;
  bodyLength_ = announced > 0 ? static_cast<uint32_t>(announced) : 0;
  Log(1024, "Header content length is %u\n", bodyLength_);
  headRead_ = true;
}

int CProviderCon::ReadAnswer(IOBase* output, int timeoutSeconds) {
  const bool streaming = output != nullptr;
  if (!headRead_) ReadHead();
  const uint32_t bodyLength = bodyLength_;

  // What arrived with the head is the body's first piece: it goes out with
  // the head, in one write, before the socket is read again.
  const uint32_t early = static_cast<uint32_t>(std::min<size_t>(inputEnd_ - inputStart_, bodyLength));
  const char* earlyData = early > 0 ? input_.get() + inputStart_ : nullptr;
  inputStart_ = inputEnd_ = 0;

  bool copying = true;
  if (streaming && !sawStatus_) {
    // Without a status line the caller's client still gets a well-formed
    // answer that says what happened.
    StandardResponse(output, kStatus500, kNoStatusBody, static_cast<uint32_t>(strlen(kNoStatusBody)), nullptr,
                     nullptr);
    copying = false;
  } else if (streaming && withheld_ != 0 && status_ == withheld_) {
    Log(1024, "Answer %d not passed on\n", status_);
    copying = false;
  } else if (streaming) {
    copying = BeginStreamedResponse(output, statusText_.c_str(), bodyLength, nullptr, nullptr, earlyData, early) == 0;
  } else if (early > 0) {
    body_.append(earlyData, early);
  }

  uint32_t remaining = bodyLength;
  if (copying && early > 0) {
    Log(1024, "Expect Body length %u, Have %u so far\n", bodyLength, 0u);
    Log(1024, "Body read requests %u bytes", early);
    remaining -= early;
  }
  while (copying && remaining > 0) {
    Log(1024, "Expect Body length %u, Have %u so far\n", bodyLength, bodyLength - remaining);
    uint32_t want = remaining < kBodyPiece ? remaining : kBodyPiece;
    Log(1024, "Body read requests %u bytes", want);
    long n = ReadBlock(InputBuffer(), want, timeoutSeconds);
    if (n <= 0) break;
    if (streaming) {
      // A client that went away ends the copy; reading on would only
      // keep the provider busy.
      if (ContinueStreamedResponse(output, input_.get(), static_cast<uint32_t>(n)) != 0) break;
    } else {
      body_.append(input_.get(), static_cast<size_t>(n));
    }
    remaining -= static_cast<uint32_t>(n);
  }
  Log(1024, "Gets reads end of body ( %d bytes left )\n", static_cast<int>(remaining));
  Log(1024, "Disconnect from provider\n");
  if (leaveConnected_)
    leaveConnected_ = false;
  else
    disconnect();
  Log(128, "ProviderCon HTTP STATUS is (%d)\n", status_);
  return status_;
}
