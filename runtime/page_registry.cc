#include "runtime/page_registry.h"

#include <cstring>
#include <memory>
#include <string>

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/served_page.h"

bool RegisterPage(ServedPage* page) {
  std::unique_ptr<ServedPage> owned(page);
  if (owned == nullptr || owned->LateInitialize() != 0) return false;
  return RegisterPageDeferred(owned.release());
}

bool RegisterPageDeferred(ServedPage* page) {
  std::unique_ptr<ServedPage> owned(page);
  if (owned == nullptr) return false;
  if (owned->RegisterWithServer() != 0) {
    owned->CleanUp();
    return false;
  }
  // RegisterWithServer added the page (AddPage): the registry owns it now.
  owned.release();
  return true;
}

int AddPage(const char* path, ServedPage* page) {
  Log(1024, "Adding page %s\n", path);
  auto& pages = TheServer().pages;
  if (pages.count(path) != 0) {
    Log(16, "page %s failed to insert\n", path);
    return 1;
  }
  pages.emplace(path, std::unique_ptr<ServedPage>(page));
  return 0;
}

ServedPage* FindPage(const char* path) {
  Log(64, "MonitorServer::FindPage(%s)\n", path);
  constexpr size_t kWorkingSize = 260;
  if (path == nullptr || strlen(path) >= kWorkingSize) return nullptr;
  const auto& pages = TheServer().pages;
  std::string working = path;
  for (;;) {
    auto it = pages.find(working);
    if (it != pages.end() && it->second != nullptr) return it->second.get();
    size_t cut = working.rfind('/');
    if (cut == std::string::npos) return nullptr;
    working.resize(cut);
  }
}

void CleanUpAllPages() {
  MonitorServer& server = TheServer();
  for (auto& [path, page] : server.pages) {
    Log(1024, "Call Cleaning up for page %s\n", path.c_str());
    page->CleanUp();
  }
  server.pages.clear();  // deletes the pages
}
