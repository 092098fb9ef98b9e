// velmoractl's way to the collector: one request per call through the
// runtime's document client, every wait bounded by the time-out.
//
// A request either reaches the collector (an answer with a status line
// came) or it does not: the connection was refused, or the status line or
// the body did not arrive within the time-out. The second is what
// velmoractl reports as "no collector".
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

struct CollectorAnswer {
  bool reached = false;    // a whole answer came (status line and body)
  int status = 0;          // the status number (0 when not reached)
  std::string statusLine;  // "HTTP/1.1 200 OK" (streamed answers only)
  std::string body;        // buffered answers only
  bool outputFailed = false;  // streamed: the output stream refused a write
};

class CollectorClient {
 public:
  CollectorClient(uint16_t port, int timeoutSeconds) : port_(port), timeoutSeconds_(timeoutSeconds) {}

  CollectorAnswer Get(const std::string& path) { return Request(path, false); }
  CollectorAnswer Post(const std::string& path) { return Request(path, true); }

  // A GET whose body goes to `out` as it arrives, byte for byte. The body
  // of an answer that is not 2xx is held back until the answer is whole, so
  // that nothing is written when the collector never answered.
  CollectorAnswer Stream(const std::string& path, FILE* out);

  // True when a connection to the port is accepted (then closed at once).
  bool Listening();

  uint16_t Port() const { return port_; }

 private:
  CollectorAnswer Request(const std::string& path, bool post);

  uint16_t port_;
  int timeoutSeconds_;
};

// True for a 2xx status.
inline bool IsSuccess(int status) { return status >= 200 && status < 300; }
