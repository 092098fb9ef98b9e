#include "pages/query_map.h"

#include <cstring>

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string QueryMap::Decode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

QueryMap::QueryMap(const char* query) {
  if (query == nullptr) return;
  const char* p = query;
  while (*p != '\0') {
    const char* end = strchr(p, '&');
    size_t length = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
    if (length != 0) {
      std::string piece = Decode(std::string(p, length));
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
