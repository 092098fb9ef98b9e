// bench_provider: a provider whose unique name and one page come from its
// file name: a copy named "bp07" is the provider "Velmora bench bp07" and
// answers "/bp07" (and the paths below it) with a short greeting.
#include <string>

#include "pages/monitor_page.h"
#include "runtime/entry.h"
#include "runtime/page_registry.h"
#include "runtime/process_globals.h"
#include "runtime/response_writer.h"

namespace {

std::string& PagePath() {
  static std::string* path = new std::string;  // lives as long as the page
  return *path;
}

class NamedPage : public MonitorPage {
 public:
  NamedPage() : MonitorPage(PagePath().c_str(), false) {}
  int Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) override {
    std::string body = "hello from " + Globals().applicationName + "\n";
    SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
    return 200;
  }
};

}  // namespace

std::string ProviderUniqueName() { return "Velmora bench " + Globals().applicationName; }

int ProviderInitialize() {
  PagePath() = "/" + Globals().applicationName;
  return RegisterPage(new NamedPage) ? 0 : 1;
}

int ProviderPostOptions() { return 0; }
