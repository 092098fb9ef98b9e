// The document client: one connection record per target server on
// 127.0.0.1. requestDocument connects, sends one GET or POST ("VERB uri",
// bare line feeds, no protocol version, always a Content-Length), reads the
// status line, the headers and a body of Content-Length bytes, and
// disconnects. The buffered form keeps the body in the object; the
// streaming form copies the response to another channel as it arrives.
//
// The record doubles as the collector's record of one provider: name,
// command-line arguments and the launch data travel with it, and a copy
// (handed to a thread that talks to the provider) takes those but none of
// the connection state.
//
// Status meanings: 200 success; 0 no connection could be made; 500 a
// connection was made but no status line arrived (also when the target
// closed without answering); anything else is the target's status.
//
// An object is used by one thread at a time.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class IOBase;

// What the provider launch keeps with a provider's record, and the
// provider map's own fields. Texts are NUL-terminated and cut to their
// buffers. The state and the shutdown-sent flag are atomic: the provider
// map hands out references to its records, read outside its lock while
// status reports and shutdown change these two fields.
struct ProviderLaunchData {
  char verbosity[20] = {};
  char logto[260] = {};
  char logsize[40] = {};
  bool stats = false;
  bool noidle = false;
  bool crashRecovery = false;  // this start restarts a provider that stopped answering
  std::atomic<bool> shutdownSent{false};
  std::atomic<uint32_t> state{0};  // provider map: 0 loading, 1 ready, 2 error, 3 version mismatch
  bool versionMatched = false;

  ProviderLaunchData() = default;
  ProviderLaunchData(const ProviderLaunchData& other) { *this = other; }
  ProviderLaunchData& operator=(const ProviderLaunchData& other) {
    if (this == &other) return *this;
    memcpy(verbosity, other.verbosity, sizeof verbosity);
    memcpy(logto, other.logto, sizeof logto);
    memcpy(logsize, other.logsize, sizeof logsize);
    stats = other.stats;
    noidle = other.noidle;
    crashRecovery = other.crashRecovery;
    shutdownSent.store(other.shutdownSent.load());
    state.store(other.state.load());
    versionMatched = other.versionMatched;
    return *this;
  }
};

class CProviderCon {
 public:
  enum : uint32_t { kModeStdio = 1, kModeSocket = 2 };
  static constexpr int kHeaderByteTimeoutSeconds = 120;

  // Launches the provider a record describes; called once after the first
  // failed connect when the caller allowed a start. The collector installs
  // it; without one nothing is launched and the attempts simply go on.
  // Returns -1 when the launch was refused, else 0 (the client ignores it).
  using StartHook = int (*)(CProviderCon* con);
  static void SetStartHook(StartHook hook);

  CProviderCon();
  // Copies port, mode, name, arguments and launch data; not the socket,
  // status, verb, attached channel or response.
  CProviderCon(const CProviderCon& other);
  CProviderCon& operator=(const CProviderCon&) = delete;
  ~CProviderCon();

  // Bit 1 when the text contains "stdio", "stdin" or "stdout"; bit 2 when
  // it contains "sock" (any case). Rebuilt from zero each time.
  void SetModeFromText(const char* text);
  void SetMode(uint32_t mode) { mode_ = mode; }
  uint32_t Mode() const { return mode_; }
  void SetPort(uint32_t port) { port_ = port & 0xFFFFu; }
  uint32_t Port() const { return port_; }
  // "post" (any case) selects POST, anything else GET; null empties it.
  void SetVerb(const char* verb);
  const char* Verb() const { return verb_; }
  void SetName(const char* name);
  const char* Name() const { return name_; }
  void SetArguments(const char* arguments);
  const char* Arguments() const { return arguments_; }
  ProviderLaunchData& LaunchData() { return launch_; }
  const ProviderLaunchData& LaunchData() const { return launch_; }

  // A flag that abandons the request when it becomes true: waits for the
  // answer then run in short slices and, once the flag is set, end as a
  // failed read (status 500, nothing logged as a time-out). Null (the
  // default) waits the plain time-outs. A page's worker uses it so that an
  // exit request frees it from a report the server will no longer answer.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

  // Streaming form only: an answer with this status is not passed on (the
  // caller means to ask again and the client must get one answer only); the
  // status is still returned. 0 (the default) passes every answer on.
  void WithholdStatus(int status) { withheld_ = status; }

  // The longest wait for each piece of the answer's head (the status line
  // and headers); kHeaderByteTimeoutSeconds unless set. HeadTimedOut tells
  // whether the last request gave up because such a wait ran out.
  void SetHeaderTimeout(int seconds) { headerTimeout_ = seconds; }
  bool HeadTimedOut() const { return headTimedOut_; }

  // A channel the object owns from now on; deleted at disconnect. While
  // one is attached, connect() reports success without connecting.
  void AttachChannel(IOBase* io);

  // 1 connected (or already connected, or a channel is attached); 0 every
  // attempt failed (or not in socket mode); -1 no socket could be created.
  // Attempts: two, with a 10 ms pause, or with startOnFailure four, the
  // provider started after the first and 10 ms pauses before the last two.
  // Each waits at most 200 ms for a connect in progress; a refused connect
  // fails at once.
  int connect(bool startOnFailure);

  // Buffered form: the status number (0 no connection). The body and
  // headers stay in the object. With noResponse nothing is read: 0 is
  // returned at once and the connection stays open until the object goes.
  int requestDocument(const char* uri, std::string_view body, bool startOnFailure, int timeoutSeconds,
                      bool noResponse = false);
  // Streaming form: the response's status line, Content-Length and body are
  // copied to `output` (other response headers are not passed on). A
  // connection that ends without a status line gives the client "500
  // Internal Server Error" with the body "500 internal server error": an
  // empty status would be a malformed answer.
  int requestDocument(const char* uri, IOBase* output, std::string_view body, bool startOnFailure,
                      int timeoutSeconds);

  // The streaming form in steps, for an event loop that must never wait:
  // SendRequestNow makes one connect attempt with the request's head (no
  // body, no launch, no pause, no wait for a connect in progress) and
  // sends it; false when that failed (nothing stays open). TakeArrived then
  // receives what has arrived, without waiting, whenever the socket has
  // input: kAnswerComplete once the whole answer is held or the provider
  // has ended (FinishRequest will not wait), kAnswerLong when it is longer
  // than what can be held (FinishRequest waits for the rest), else
  // kAnswerWaiting. FinishRequest passes the answer on as the streaming
  // requestDocument does, with the same time-outs for what has not arrived,
  // and returns the status.
  enum Arrival { kAnswerWaiting, kAnswerComplete, kAnswerLong };
  bool SendRequestNow(const char* uri);
  Arrival TakeArrived();
  int FinishRequest(IOBase* output, int timeoutSeconds);
  // FinishRequest leaves the connection open for the caller's disconnect,
  // so that the caller may close its client's connection first (the client
  // waits for that close; the provider's reset can follow). Once only.
  void LeaveConnected() { leaveConnected_ = true; }
  // The socket of the request in hand (kInvalidSocket when none).
  int Socket() const { return socket_; }

  int Status() const { return status_; }
  bool IsConnected() const { return connected_ != 0; }
  const char* ResponseBody() const { return body_.data(); }
  size_t ResponseBodyLength() const { return body_.size(); }
  // The last header of that name received (any case) copied into buffer,
  // cut to size - 1; false when there is none.
  bool FindResponseHeader(const char* name, char* buffer, size_t size) const;

  // Abortive close (zero linger, so the peer sees a reset); also deletes
  // the attached channel.
  void disconnect();

 private:
  // connect(), and with a head also its send (with the body) on a new
  // connection: *sent then tells whether they went out.
  int Connect(bool startOnFailure, const std::string* head, std::string_view body, bool* sent);
  int Request(const char* uri, IOBase* output, std::string_view body, bool startOnFailure, int timeoutSeconds,
              bool noResponse);
  // Resets the record for a new request; the request's head.
  std::string StartRequest(const char* uri, std::string_view body);
  // Reads the status line and headers.
  void ReadHead();
  // What TakeArrived reports for the input held so far.
  Arrival HeldAnswer();
  // Whether the input held has the head's end, found by walking its lines
  // as ReadHeaderLine cuts them, from scan_ on.
  bool HeadHeld();
  // The rest of a request once sent: the head (unless read), then the body.
  int ReadAnswer(IOBase* output, int timeoutSeconds);
  long ReadHeaderLine(char* buffer, size_t size, int timeoutSeconds);
  long ReadBlock(char* buffer, size_t wanted, int timeoutSeconds);
  // Receives what has arrived (waiting for it as a header read does) into
  // the empty input buffer: the count, 0 when the peer closed, -1 on an
  // error or a cancel, -2 when the wait ran out.
  long FillInput(int timeoutSeconds);
  // The input buffer, allocated at its first use.
  char* InputBuffer();
  // WaitReadable that also ends (with -1) once the cancel flag is set.
  int WaitForAnswer(int timeoutMs);
  void CloseSocket();
  void ClearResponse();

  uint32_t port_ = 0;
  int32_t status_ = 0;
  uint32_t mode_ = 0;
  int socket_;
  uint32_t connected_ = 0;
  char name_[260] = {};
  char arguments_[260] = {};
  char verb_[20] = {};
  ProviderLaunchData launch_;
  IOBase* attached_ = nullptr;
  const std::atomic<bool>* cancel_ = nullptr;
  int withheld_ = 0;
  int headerTimeout_ = kHeaderByteTimeoutSeconds;
  bool headTimedOut_ = false;
  std::list<std::pair<std::string, std::string>> headers_;  // newest first
  std::string body_;
  // The answer is received in large pieces: the head is parsed from here,
  // and what arrived with it (the start of the body) is passed on before
  // the socket is read again. Allocated at the first request; also the
  // buffer each later piece of the body is read into.
  std::unique_ptr<char[]> input_;
  size_t inputStart_ = 0;
  size_t inputEnd_ = 0;
  // The answer's head as read, for the steps after it.
  bool headRead_ = false;
  size_t scan_ = 0;  // where HeadHeld's walk goes on
  bool sawStatus_ = false;
  std::string statusText_;
  uint32_t bodyLength_ = 0;
  bool ended_ = false;      // TakeArrived saw the end of the answer's input
  long endedWith_ = 0;      // and how: 0 closed, -1 failed
  bool noWait_ = false;     // reads take only what has arrived
  bool leaveConnected_ = false;
};
