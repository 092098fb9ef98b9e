#include "ctl/collector_client.h"

#include <cstdlib>
#include <cstring>

#include "runtime/io_base.h"
#include "runtime/provider_con.h"

namespace {

// A client set up for the collector: socket mode, no launch on failure,
// every wait for the head bounded like the body's.
void Prepare(CProviderCon* con, uint16_t port, int timeoutSeconds, bool post) {
  con->SetMode(CProviderCon::kModeSocket);
  con->SetPort(port);
  con->SetName("collector");
  con->SetVerb(post ? "post" : "get");
  con->SetHeaderTimeout(timeoutSeconds);
}

// Without a status line the client reports 500; when a wait for the head
// ran out that is a collector that did not answer, not its 500.
bool HeadArrived(const CProviderCon& con, int status) {
  return status != 0 && !(status == 500 && con.HeadTimedOut());
}

// The channel the streaming client writes the answer to: the head (status
// line, Content-Length, blank line) is taken apart here, the body goes to
// the output stream (or is held, see CollectorClient::Stream).
class BodyToStream : public IOBase {
 public:
  explicit BodyToStream(FILE* out) : IOBase(kTypeBase), out_(out) {}

  const char* PeerName() override { return "velmoractl output"; }
  long Read(void*, long) override { return -1; }
  long ReadLine(char*, long) override { return -1; }

  long Write(const void* data, size_t length) override {
    const char* bytes = static_cast<const char*>(data);
    size_t rest = length;
    if (!headDone_) {
      // The head is small and comes first; collect it up to its blank line.
      while (rest > 0 && !headDone_) {
        head_.push_back(*bytes++);
        --rest;
        headDone_ = head_.size() >= 4 && head_.compare(head_.size() - 4, 4, "\r\n\r\n") == 0;
      }
      if (headDone_) ParseHead();
    }
    if (rest > 0) {
      received_ += rest;
      if (hold_) {
        held_.append(bytes, rest);
      } else if (fwrite(bytes, 1, rest, out_) != rest) {
        failed_ = true;  // standard output is gone: the copy stops
        return -1;
      }
    }
    CountWritten(static_cast<long>(length));
    return static_cast<long>(length);
  }

  int Status() const { return status_; }
  const std::string& StatusLine() const { return statusLine_; }
  bool BodyComplete() const { return received_ >= announced_; }
  bool OutputFailed() const { return failed_; }
  // Writes what was held back; false when the stream refused it.
  bool FlushHeld() { return held_.empty() || fwrite(held_.data(), 1, held_.size(), out_) == held_.size(); }

 private:
  void ParseHead() {
    statusLine_ = head_.substr(0, head_.find("\r\n"));
    status_ = statusLine_.size() > 9 ? atoi(statusLine_.c_str() + 9) : 0;
    hold_ = !IsSuccess(status_);
    const char* length = strstr(head_.c_str(), "\r\nContent-Length:");
    announced_ = length != nullptr ? strtoull(length + 17, nullptr, 10) : 0;
  }

  FILE* out_;
  std::string head_;
  bool headDone_ = false;
  std::string statusLine_;
  int status_ = 0;
  bool hold_ = false;
  bool failed_ = false;
  std::string held_;
  unsigned long long announced_ = 0;
  unsigned long long received_ = 0;
};

}  // namespace

CollectorAnswer CollectorClient::Request(const std::string& path, bool post) {
  CProviderCon con;
  Prepare(&con, port_, timeoutSeconds_, post);
  CollectorAnswer answer;
  int status = con.requestDocument(path.c_str(), std::string_view(), false, timeoutSeconds_);
  if (!HeadArrived(con, status)) return answer;
  // A body cut short by the time-out is no whole answer either.
  char length[32] = {};
  if (con.FindResponseHeader("Content-Length", length, sizeof length) &&
      strtoull(length, nullptr, 10) > con.ResponseBodyLength())
    return answer;
  answer.reached = true;
  answer.status = status;
  answer.body.assign(con.ResponseBody(), con.ResponseBodyLength());
  return answer;
}

CollectorAnswer CollectorClient::Stream(const std::string& path, FILE* out) {
  CProviderCon con;
  Prepare(&con, port_, timeoutSeconds_, false);
  // The client deletes an attached channel; this one is only lent to it.
  BodyToStream channel(out);
  int status = con.requestDocument(path.c_str(), &channel, std::string_view(), false, timeoutSeconds_);
  CollectorAnswer answer;
  if (!HeadArrived(con, status) || (!channel.BodyComplete() && !channel.OutputFailed())) {
    fflush(out);
    return answer;
  }
  answer.reached = true;
  answer.status = channel.Status();
  answer.statusLine = channel.StatusLine();
  answer.outputFailed = channel.OutputFailed() || !channel.FlushHeld() || fflush(out) != 0;
  return answer;
}

bool CollectorClient::Listening() {
  CProviderCon con;
  Prepare(&con, port_, timeoutSeconds_, false);
  bool open = con.connect(false) == 1;
  con.disconnect();
  return open;
}
