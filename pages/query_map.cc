#include "pages/query_map.h"

#include <cstring>

#include "runtime/url_coding.h"

QueryMap::QueryMap(const char* query) {
  if (query == nullptr) return;
  const char* p = query;
  while (*p != '\0') {
    const char* end = strchr(p, '&');
    size_t length = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
    if (length != 0) {
      std::string piece = UrlDecode(std::string_view(p, length));
      size_t eq = piece.find('=');
      if (eq != std::string::npos) values_[piece.substr(0, eq)] = piece.substr(eq + 1);
    }
    if (end == nullptr) break;
    p = end + 1;
  }
}

std::string QueryMap::Get(const std::string& key) const {
  auto it = values_.find(key);
  return it != values_.end() ? it->second : std::string();
}
