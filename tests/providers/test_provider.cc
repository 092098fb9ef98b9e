// test_provider: a provider whose pages and hooks the system tests steer.
//
// Environment:
//   TEST_PROVIDER_NAME       the unique name (default "Velmora test provider";
//                            set but empty gives an empty name)
//   TEST_PROVIDER_INIT       the result of ProviderInitialize (default 0)
//   TEST_PROVIDER_FAIL_LATE  1: a deferred page whose initialization fails
//   TEST_PROVIDER_MASTERCONFIG  1: the pages /config/one and /config/two,
//                            which read the master configuration in Reconfig
//   TEST_PROVIDER_LATE_WAIT  a file: a deferred page whose initialization
//                            waits (up to 60 s) until the file exists
//   TEST_PROVIDER_VERSION    the interface version its index announces
// The word "alt" after the options installs an alternate page handler.
//
// Pages (all visible unless noted):
//   /plain            overrides nothing (forked)
//   /inline           overrides nothing but runs inline
//   /a, /a/b          answer their own path as body (forked)
//   /slow?ms=N        waits N ms, then answers "slow" (forked)
//   /echo             POST: answers the body it read (forked)
//   /self             GETs /plain from its own server and answers the status
//   /meta             answers metadata requests
//   /idle?seconds=N   sets the idle timeout (inline)
//   /suggest          signals suggest-shutdown (inline)
//   /timers?add=ID&interval=N | ?remove=ID     timers on this page (inline)
//   /hiddentimers?... the same on a hidden page (inline)
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "pages/index_page.h"
#include "pages/monitor_page.h"
#include "pages/query_map.h"
#include "runtime/entry.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/page_registry.h"
#include "runtime/response_writer.h"
#include "xml/master_config.h"

namespace {

int Answer(IOBase* io, const std::string& body) {
  MonitorPage::SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}

using Handler = int (*)(MonitorPage* page, IOBase* io, const char* path, const QueryMap& query,
                        const char* const* names, const char* const* values);

// A page whose behaviour is one function, run inline or forked.
class TestPage : public MonitorPage {
 public:
  TestPage(const char* path, bool forked, Handler get, Handler post = nullptr, bool hidden = false)
      : MonitorPage(path, hidden), forked_(forked), get_(get), post_(post) {}

  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override {
    return forked_;
  }
  int Get(IOBase* io, const char* path, const char* query, const char* const* names, const char* const* values,
          int mode, int forked) override {
    if (IsMetadataRequest(query)) return ReplyWithMetadata(io);
    if (get_ == nullptr) return MonitorPage::Get(io, path, query, names, values, mode, forked);
    return get_(this, io, path, QueryMap(query), names, values);
  }
  int Post(IOBase* io, const char* path, const char* query, const char* const* names, const char* const* values,
           int mode, int forked) override {
    if (post_ == nullptr) return MonitorPage::Post(io, path, query, names, values, mode, forked);
    return post_(this, io, path, QueryMap(query), names, values);
  }
  void Reconfig() override { Log(64, "TestPage::Reconfig %s\n", GetPath()); }

 private:
  bool forked_;
  Handler get_;
  Handler post_;
};

// Reads the master configuration at each reconfiguration and logs its name.
class ConfigPage : public MonitorPage {
 public:
  explicit ConfigPage(const char* path) : MonitorPage(path, false) {}
  void Reconfig() override {
    std::unique_ptr<ConfigurationFile> config = LoadMasterConfig(false, false);
    std::string name = "(none)";
    MasterConfigName(*config, &name);
    Log(64, "ConfigPage::Reconfig %s reads %s\n", GetPath(), name.c_str());
  }
};

class FailingPage : public MonitorPage {
 public:
  FailingPage() : MonitorPage("/failing", false) {}
  uint32_t Initialize() override { return 1; }
};

class WaitingPage : public MonitorPage {
 public:
  explicit WaitingPage(std::string file) : MonitorPage("/waiting", false), file_(std::move(file)) {}
  uint32_t Initialize() override {
    for (int i = 0; i < 1200 && !std::filesystem::exists(file_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return 0;
  }

 private:
  std::string file_;
};

int Slow(MonitorPage*, IOBase* io, const char*, const QueryMap& q, const char* const*, const char* const*) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(q.Get("ms").c_str())));
  return Answer(io, "slow");
}

int Echo(MonitorPage*, IOBase* io, const char*, const QueryMap&, const char* const* names,
         const char* const* values) {
  std::string body;
  MonitorPage::ReadBody(io, names, values, &body);
  return Answer(io, body);
}

int Self(MonitorPage*, IOBase* io, const char*, const QueryMap&, const char* const*, const char* const*) {
  std::string reply;
  int status = MonitorPage::GetFromSelf("/a", "", &reply);
  return Answer(io, std::to_string(status) + " " + reply);
}

int Idle(MonitorPage*, IOBase* io, const char*, const QueryMap& q, const char* const*, const char* const*) {
  MonitorPage::SetIdleTimeout(static_cast<uint32_t>(std::atoi(q.Get("seconds").c_str())));
  return Answer(io, "idle");
}

int Suggest(MonitorPage*, IOBase* io, const char*, const QueryMap&, const char* const*, const char* const*) {
  MonitorPage::SignalSuggestShutdown();
  return Answer(io, "suggested");
}

int Timers(MonitorPage* page, IOBase* io, const char*, const QueryMap& q, const char* const*, const char* const*) {
  if (q.Has("add"))
    page->AddMonitoredItem(q.Get("add").c_str(), "test timer", static_cast<uint32_t>(std::atoi(q.Get("interval").c_str())),
                           true, false, nullptr);
  if (q.Has("remove")) page->RemoveMonitoredItem(q.Get("remove").c_str(), nullptr);
  return Answer(io, std::to_string(page->Items().Count()));
}

int Alternate(IOBase* io, const char* verb, const char* path, const char*, const char* const*, const char* const*) {
  std::string body = std::string("alternate ") + verb + " " + path;
  return Answer(io, body);
}

int OwnPath(MonitorPage* page, IOBase* io, const char*, const QueryMap&, const char* const*, const char* const*) {
  return Answer(io, page->GetPath());
}

}  // namespace

std::string ProviderUniqueName() {
  const char* name = std::getenv("TEST_PROVIDER_NAME");
  return name != nullptr ? name : "Velmora test provider";
}

int ProviderInitialize() {
  const char* result = std::getenv("TEST_PROVIDER_INIT");
  if (result != nullptr && std::atoi(result) != 0) return std::atoi(result);

  bool ok = RegisterPage(new TestPage("/plain", true, nullptr)) &&
            RegisterPage(new TestPage("/inline", false, nullptr)) &&
            RegisterPage(new TestPage("/a", true, OwnPath)) && RegisterPage(new TestPage("/a/b", true, OwnPath)) &&
            RegisterPage(new TestPage("/slow", true, Slow)) &&
            RegisterPage(new TestPage("/echo", true, nullptr, Echo)) &&
            RegisterPage(new TestPage("/self", true, Self)) && RegisterPage(new TestPage("/meta", true, nullptr)) &&
            RegisterPage(new TestPage("/idle", false, Idle)) &&
            RegisterPage(new TestPage("/suggest", false, Suggest)) &&
            RegisterPage(new TestPage("/timers", false, Timers)) &&
            RegisterPage(new TestPage("/hiddentimers", false, Timers, nullptr, true));
  if (!ok) return 1;
  const char* masterConfig = std::getenv("TEST_PROVIDER_MASTERCONFIG");
  if (masterConfig != nullptr && std::strcmp(masterConfig, "1") == 0 &&
      !(RegisterPage(new ConfigPage("/config/one")) && RegisterPage(new ConfigPage("/config/two"))))
    return 1;
  const char* failLate = std::getenv("TEST_PROVIDER_FAIL_LATE");
  if (failLate != nullptr && std::strcmp(failLate, "1") == 0 && !RegisterPageDeferred(new FailingPage)) return 1;
  const char* lateWait = std::getenv("TEST_PROVIDER_LATE_WAIT");
  if (lateWait != nullptr && lateWait[0] != '\0' && !RegisterPageDeferred(new WaitingPage(lateWait))) return 1;
  const char* version = std::getenv("TEST_PROVIDER_VERSION");
  if (version != nullptr) IndexPage::OverrideVersion(version);

  for (const std::string& word : TheServer().options.arguments)
    if (word == "alt") TheServer().alternatePageHandler = Alternate;
  return 0;
}

int ProviderPostOptions() { return 0; }
