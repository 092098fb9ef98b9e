#include "runtime/page_registry.h"

#include <cstring>
#include <string>

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/served_page.h"

bool RegisterPage(ServedPage* page) {
  if (page == nullptr) return false;
  if (page->LateInitialize() != 0) {
    delete page;
    return false;
  }
  return RegisterPageDeferred(page);
}

bool RegisterPageDeferred(ServedPage* page) {
  if (page == nullptr) return false;
  if (page->RegisterWithServer() != 0) {
    page->CleanUp();
    delete page;
    return false;
  }
  return true;
}

int AddPage(const char* path, ServedPage* page) {
  Log(1024, "Adding page %s\n", path);
  if (!TheServer().pages.emplace(path, page).second) {
    Log(16, "page %s failed to insert\n", path);
    return 1;
  }
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
    if (it != pages.end() && it->second != nullptr) return it->second;
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
    delete page;
  }
  server.pages.clear();
}
