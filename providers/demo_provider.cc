// demo_provider: the smallest sample provider. It shows what an application
// supplies to the runtime (a unique name, an initialization that registers
// its pages, a post-option step) and what a page is:
//
//   /demo/hello   answered on a session thread of its own (the default)
//   /demo/inline  answered at once on the server's loop thread
#include <cstring>

#include "pages/monitor_page.h"
#include "runtime/entry.h"
#include "runtime/page_registry.h"
#include "runtime/response_writer.h"

namespace {

const char kGreeting[] = "Hello from the Velmora demo provider\n";

class HelloPage : public MonitorPage {
 public:
  HelloPage(const char* path, bool forked) : MonitorPage(path, false), forked_(forked) {}

  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override {
    return forked_;
  }

  int Get(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int, int) override {
    if (IsMetadataRequest(query)) return ReplyWithMetadata(io);
    SendResponse(io, kStatus200, kGreeting, static_cast<uint32_t>(strlen(kGreeting)), nullptr, nullptr);
    return 200;
  }

 private:
  bool forked_;
};

}  // namespace

std::string ProviderUniqueName() { return "Velmora demo provider"; }

int ProviderInitialize() {
  if (!RegisterPage(new HelloPage("/demo/hello", true))) return 1;
  if (!RegisterPage(new HelloPage("/demo/inline", false))) return 1;
  return 0;
}

int ProviderPostOptions() { return 0; }
