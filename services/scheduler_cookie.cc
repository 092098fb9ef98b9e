#include "services/scheduler_cookie.h"

#include <cctype>

namespace {

// The position of `tag` in `text` at or after `from`, ignoring case.
size_t FindNoCase(std::string_view text, std::string_view tag, size_t from) {
  if (tag.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + tag.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < tag.size() && tolower(static_cast<unsigned char>(text[i + k])) ==
                                 tolower(static_cast<unsigned char>(tag[k])))
      ++k;
    if (k == tag.size()) return i;
  }
  return std::string_view::npos;
}

// The text between `open` and the next `close`; empty when either is
// missing. *openAt gets where `open` starts (npos when missing).
std::string_view Between(std::string_view text, std::string_view open, std::string_view close, size_t* openAt) {
  size_t start = FindNoCase(text, open, 0);
  *openAt = start;
  if (start == std::string_view::npos) return {};
  start += open.size();
  size_t end = FindNoCase(text, close, start);
  if (end == std::string_view::npos) return {};
  std::string_view inner = text.substr(start, end - start);
  return inner.substr(0, kSchedulerTextLimit);
}

// Reads "&#xHH;" or "&#DDD;" at text[i]; the byte and the reference's
// length, or false when it is not one (or above 255).
bool ReadReference(std::string_view text, size_t i, unsigned char* byte, size_t* length) {
  if (text.substr(i, 2) != "&#") return false;
  size_t at = i + 2;
  const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
  if (hex) ++at;
  unsigned value = 0;
  size_t digits = 0;
  while (at < text.size() && text[at] != ';') {
    const int c = static_cast<unsigned char>(text[at]);
    if (hex ? !isxdigit(c) : !isdigit(c)) return false;
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(isdigit(c) ? c - '0' : tolower(c) - 'a' + 10);
    if (value > 255) return false;
    ++digits;
    ++at;
  }
  if (at >= text.size() || digits == 0) return false;
  *byte = static_cast<unsigned char>(value);
  *length = at + 1 - i;
  return true;
}

}  // namespace

std::string EscapeSchedulerText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < kSchedulerTextLimit; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#x9;"; break;
      case '\n': out += "&#xA;"; break;
      case '\r':
        out += "&#xA;";
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        break;
      case 127: out += "&#x7F;"; break;
      default:
        if (c < 32 || c > 127)
          out += "Invalid Char";
        else
          out += static_cast<char>(c);
    }
  }
  if (out.size() > kSchedulerTextLimit) out.resize(kSchedulerTextLimit);
  return out;
}

std::string UnescapeSchedulerText(std::string_view text) {
  static const struct {
    std::string_view entity;
    char byte;
  } kNamed[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quot;", '"'}};
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '&') {
      bool replaced = false;
      for (const auto& named : kNamed) {
        if (text.substr(i, named.entity.size()) == named.entity) {
          out += named.byte;
          i += named.entity.size();
          replaced = true;
          break;
        }
      }
      if (replaced) continue;
      unsigned char byte = 0;
      size_t length = 0;
      if (ReadReference(text, i, &byte, &length)) {
        out += static_cast<char>(byte);
        i += length;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

std::string MakeSchedulerCookie(std::string_view page, std::string_view cookie) {
  return "<page>" + EscapeSchedulerText(page) + "</page><cookie>" + EscapeSchedulerText(cookie) + "</cookie>";
}

void DecomposeSchedulerCookie(std::string_view composite, std::string* provider, std::string* page,
                              std::string* cookie) {
  size_t pageAt = 0;
  size_t cookieAt = 0;
  std::string_view pageText = Between(composite, "<page>", "</page>", &pageAt);
  std::string_view cookieText = Between(composite, "<cookie>", "</cookie>", &cookieAt);
  if (provider != nullptr)
    *provider = std::string(composite.substr(0, pageAt == std::string_view::npos ? 0 : pageAt));
  if (page != nullptr) *page = UnescapeSchedulerText(pageText);
  if (cookie != nullptr) *cookie = UnescapeSchedulerText(cookieText);
}
