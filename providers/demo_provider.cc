// demo_provider: the smallest sample provider. It shows what an application
// supplies to the runtime (a unique name, an initialization that registers
// its pages, a post-option step) and what a page is:
//
//   /demo/hello      answered on a session thread of its own (the default)
//   /demo/inline     answered at once on the server's loop thread
//   /demo/big?mb=N   N MiB of predictable bytes (byte k is k % 251), written
//                    in 64 KiB pieces as they are made
//   /demo/code?s=N   answers with status N (body "code N") and counts the hit
//   /demo/hits       the number of /demo/code hits so far
//   /demo/echo...    GET: its own path and query; POST: the body it was sent
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pages/monitor_page.h"
#include "pages/query_map.h"
#include "runtime/entry.h"
#include "runtime/page_registry.h"
#include "runtime/response_writer.h"

namespace {

const char kGreeting[] = "Hello from the Velmora demo provider\n";
constexpr uint32_t kPiece = 65536;
constexpr uint32_t kMaxMegabytes = 4095;  // the length must fit 32 bits

std::atomic<uint32_t> codeHits{0};

int Answer(IOBase* io, const char* status, const std::string& body) {
  MonitorPage::SendResponse(io, status, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return atoi(status);
}

// The status text for a number: ours when we have one, else "N Status".
std::string StatusText(int code) {
  for (const char* text : {kStatus200, kStatus400, kStatus404, kStatus405, kStatus500, kStatus503})
    if (atoi(text) == code) return text;
  return std::to_string(code) + " Status";
}

class DemoPage : public MonitorPage {
 public:
  enum Kind { kHello, kBig, kCode, kHits, kEcho };
  DemoPage(const char* path, Kind kind, bool forked) : MonitorPage(path, false), kind_(kind), forked_(forked) {}

  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override {
    return forked_;
  }

  int Get(IOBase* io, const char* path, const char* query, const char* const*, const char* const*, int,
          int) override {
    if (IsMetadataRequest(query)) return ReplyWithMetadata(io);
    switch (kind_) {
      case kHello:
        return Answer(io, kStatus200, kGreeting);
      case kBig:
        return Big(io, QueryMap(query));
      case kCode: {
        int code = atoi(QueryMap(query).Get("s").c_str());
        if (code < 100 || code > 999) code = 400;
        ++codeHits;
        return Answer(io, StatusText(code).c_str(), "code " + std::to_string(code));
      }
      case kHits:
        return Answer(io, kStatus200, std::to_string(codeHits.load()));
      case kEcho:
        return Answer(io, kStatus200, std::string(path) + (query != nullptr ? std::string("?") + query : ""));
    }
    return 0;
  }

  int Post(IOBase* io, const char* path, const char* query, const char* const* names, const char* const* values,
           int mode, int forked) override {
    if (kind_ != kEcho) return MonitorPage::Post(io, path, query, names, values, mode, forked);
    std::string body;
    ReadBody(io, names, values, &body);
    return Answer(io, kStatus200, body);
  }

 private:
  static int Big(IOBase* io, const QueryMap& query) {
    uint32_t megabytes = static_cast<uint32_t>(strtoul(query.Get("mb").c_str(), nullptr, 10));
    if (megabytes > kMaxMegabytes) megabytes = kMaxMegabytes;
    const uint32_t length = megabytes << 20;
    if (BeginStreamedResponse(io, kStatus200, length, nullptr, nullptr) != 0) return 200;
    std::vector<unsigned char> piece(kPiece);
    for (uint32_t at = 0; at < length; at += kPiece) {
      for (uint32_t i = 0; i < kPiece; ++i) piece[i] = static_cast<unsigned char>((at + i) % 251);
      if (ContinueStreamedResponse(io, piece.data(), kPiece) != 0) break;
    }
    return 200;
  }

  Kind kind_;
  bool forked_;
};

}  // namespace

std::string ProviderUniqueName() { return "Velmora demo provider"; }

int ProviderInitialize() {
  if (!RegisterPage(new DemoPage("/demo/hello", DemoPage::kHello, true))) return 1;
  if (!RegisterPage(new DemoPage("/demo/inline", DemoPage::kHello, false))) return 1;
  if (!RegisterPage(new DemoPage("/demo/big", DemoPage::kBig, true))) return 1;
  if (!RegisterPage(new DemoPage("/demo/code", DemoPage::kCode, true))) return 1;
  if (!RegisterPage(new DemoPage("/demo/hits", DemoPage::kHits, true))) return 1;
  if (!RegisterPage(new DemoPage("/demo/echo", DemoPage::kEcho, true))) return 1;
  // Reports its process id to the collector a second after the start, so
  // that the collector's shutdown can wait for this process to end.
  if (auto* status = dynamic_cast<MonitorPage*>(FindPage("/status")))
    status->AddMonitoredItem("pid_timer", "pid_timer", 1, false, false, nullptr);
  return 0;
}

int ProviderPostOptions() { return 0; }
