#include "collector/provider_forward.h"

#include <string>
#include <utility>

#include "collector/provider_map.h"
#include "collector/provider_routing.h"
#include "platform/clock.h"
#include "runtime/access_log.h"
#include "runtime/dispatch.h"
#include "runtime/io_socket.h"
#include "runtime/loop_tasks.h"
#include "runtime/monitor_server.h"
#include "runtime/provider_con.h"
#include "runtime/request_reader.h"
#include "runtime/session.h"
#include "runtime/url_parse.h"

namespace {

// The rest of a forwarded request, on a session thread.
class ForwardRest final : public SessionWork {
 public:
  ForwardRest(std::unique_ptr<CProviderCon> provider, std::string uri)
      : provider_(std::move(provider)), uri_(std::move(uri)) {}

  int Run(IOBase* io) override {
    const uint32_t before = io->RequestBytesWritten();
    const int first = provider_->FinishRequest(io, kForwardTimeoutSeconds);
    return FinishRoutedRequest(io, provider_.get(), uri_.c_str(), first, before);
  }

 private:
  std::unique_ptr<CProviderCon> provider_;
  std::string uri_;
};

// A forwarded request while the loop waits for the answer.
class ForwardTask final : public LoopTask {
 public:
  ForwardTask(std::unique_ptr<IOSocket> client, const URLParse& request, std::unique_ptr<CProviderCon> provider,
              std::string uri)
      : client_(std::move(client)),
        request_(std::make_unique_for_overwrite<URLParse>()),
        provider_(std::move(provider)),
        uri_(std::move(uri)),
        deadlineMs_(platform::TickCountMs() + kLoopAnswerWaitMs),
        bytesBefore_(client_->RequestBytesWritten()) {
    *request_ = request;
  }

  int Socket() const override { return provider_->Socket(); }
  uint64_t DeadlineMs() const override { return deadlineMs_; }

  bool Advance(bool due) override {
    if (!due) {
      const CProviderCon::Arrival arrival = provider_->TakeArrived();
      if (arrival == CProviderCon::kAnswerWaiting) return false;
      // A first 503 is withheld and asked again: that waits, so a session
      // does it.
      if (arrival == CProviderCon::kAnswerComplete && provider_->Status() != 503) {
        Finish();
        return true;
      }
    }
    HandOff();
    return true;
  }

  void Abandon() override { HandOff(); }

 private:
  // The whole answer is here: passed on without a wait. The client waits
  // for the end of its connection, so that comes before the provider's.
  // Nothing is asked again here (a first 503 went to a session), so the
  // connection left open is never reused.
  void Finish() {
    provider_->LeaveConnected();
    const int first = provider_->FinishRequest(client_.get(), kForwardTimeoutSeconds);
    const int status = FinishRoutedRequest(client_.get(), provider_.get(), uri_.c_str(), first, bytesBefore_);
    LogAccess(client_.get(), *request_, status);
    client_.reset();  // shuts the connection down and closes it
    provider_->disconnect();
    provider_.reset();
  }

  void HandOff() {
    ForkRequest(*client_, *request_, std::make_unique<ForwardRest>(std::move(provider_), std::move(uri_)));
    client_.reset();  // the socket is the session's now, or answered 503 when none could run
  }

  std::unique_ptr<IOSocket> client_;
  std::unique_ptr<URLParse> request_;
  std::unique_ptr<CProviderCon> provider_;
  std::string uri_;
  uint64_t deadlineMs_;
  uint32_t bytesBefore_;
};

}  // namespace

bool StartForwardOnLoop(std::unique_ptr<IOSocket>& io, const URLParse& request) {
  if (request.VerbCode() == URLParse::kVerbOther) return false;
  if (AnnouncedBodyLength(request.HeaderNames(), request.HeaderValues()) != 0) return false;
  if (LoopTasks::Instance().Size() >= kMaxLoopForwards) return false;
  std::unique_ptr<CProviderCon> provider;
  uint32_t state = kProviderLoading;
  if (!ProviderMap::Instance().copyProviderForPage(request.Path(), &provider, &state)) return false;
  if (state == kProviderLoading || state == kProviderError) return false;
  std::string uri = request.Path();
  const char* query = request.Query();
  if (query != nullptr && query[0] != '\0') uri += std::string("?") + query;
  provider->SetVerb(request.Verb());
  provider->WithholdStatus(503);
  if (!provider->SendRequestNow(uri.c_str())) return false;
  LoopTasks::Instance().Add(std::make_unique<ForwardTask>(std::move(io), request, std::move(provider), std::move(uri)));
  return true;
}

void InstallLoopForwarding() { TheServer().alternateLoopStart = StartForwardOnLoop; }
