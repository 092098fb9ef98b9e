#include "runtime/url_split.h"

#include <cstring>
#include <string>
#include <string_view>

#include "runtime/no_case.h"

namespace {

constexpr std::string_view kSeparators = "/\\?#;";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSeparator(char c) { return kSeparators.find(c) != std::string_view::npos; }

void CopyOut(std::string_view text, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  if (n > 0) memcpy(out, text.data(), n);
  out[n] = '\0';
}

// "host:80/x" must not read as the scheme "host": the text after a colon
// is a port when it is a run of digits below 65535 that ends the text or
// meets a separator.
bool LooksLikePort(std::string_view after) {
  size_t i = 0;
  unsigned long value = 0;
  while (i < after.size() && IsDigit(after[i])) {
    if (value < 65535) value = value * 10 + static_cast<unsigned long>(after[i] - '0');
    ++i;
  }
  if (i == 0 || value >= 65535) return false;
  return i == after.size() || IsSeparator(after[i]);
}

bool StartsWithDrive(std::string_view s) {
  return s.size() >= 3 && IsAlpha(s[0]) && s[1] == ':' && (s[2] == '/' || s[2] == '\\');
}

uint16_t DefaultPort(std::string_view scheme) {
  if (EqualsNoCase(scheme, "http")) return 80;
  if (EqualsNoCase(scheme, "https")) return 443;
  if (EqualsNoCase(scheme, "ftp")) return 21;
  if (EqualsNoCase(scheme, "gopher")) return 70;
  if (EqualsNoCase(scheme, "telnet")) return 23;
  return 0;
}

}  // namespace

int SplitURL(const char* url, char* scheme, size_t schemeSize, char* user, size_t userSize, char* password,
             size_t passwordSize, char* host, size_t hostSize, uint16_t* port, char* path, size_t pathSize,
             char* remainder, size_t remainderSize) {
  CopyOut("", scheme, schemeSize);
  CopyOut("", user, userSize);
  CopyOut("", password, passwordSize);
  CopyOut("", host, hostSize);
  CopyOut("", path, pathSize);
  CopyOut("", remainder, remainderSize);
  uint16_t portValue = 0;
  int result = 0;

  std::string copy = url ? url : "";
  std::string_view s = copy;
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);

  bool hasScheme = false;
  std::string_view schemeText;
  if (!s.empty()) {
    // Scheme: text before the first ":" with no separator or "[" in it,
    // unless the colon starts a port or belongs to a drive letter.
    size_t colon = s.find(':');
    if (colon != std::string_view::npos && s.substr(0, colon).find_first_of("/\\?#;[") == std::string_view::npos &&
        !LooksLikePort(s.substr(colon + 1)) && !(colon == 1 && StartsWithDrive(s))) {
      hasScheme = true;
      schemeText = s.substr(0, colon);
      CopyOut(schemeText, scheme, schemeSize);
      s.remove_prefix(colon + 1);
    }

    bool fileScheme = hasScheme && EqualsNoCase(schemeText, "file");
    if (fileScheme) {
      if (s.substr(0, 2) == "//") s.remove_prefix(2);
    } else {
      if (s.substr(0, 2) == "\\\\") s.remove_prefix(2);
      if (s.substr(0, 2) == "//") s.remove_prefix(2);
      std::string_view authority;
      if (!StartsWithDrive(s)) {
        size_t end = s.find_first_of(kSeparators);
        if (end == std::string_view::npos) end = s.size();
        authority = s.substr(0, end);
        s.remove_prefix(end);
      }
      size_t at = authority.rfind('@');
      if (at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        size_t colon2 = userInfo.find(':');
        CopyOut(userInfo.substr(0, colon2), user, userSize);
        if (colon2 != std::string_view::npos) CopyOut(userInfo.substr(colon2 + 1), password, passwordSize);
        authority.remove_prefix(at + 1);
      }
      size_t hostEnd;
      if (!authority.empty() && authority.front() == '[') {
        size_t close = authority.find(']');
        hostEnd = close == std::string_view::npos ? authority.size() : close + 1;
      } else {
        hostEnd = authority.find(':');
        if (hostEnd == std::string_view::npos) hostEnd = authority.size();
      }
      CopyOut(authority.substr(0, hostEnd), host, hostSize);
      authority.remove_prefix(hostEnd);
      if (!authority.empty() && authority.front() == ':') {
        authority.remove_prefix(1);
        // The port output keeps the parsed number as a 16-bit value holds
        // it (its low 16 bits), in range or not; the result tells which.
        size_t digits = 0;
        uint16_t value = 0;
        bool tooLarge = false;
        while (digits < authority.size() && IsDigit(authority[digits])) {
          uint32_t next = value * 10u + static_cast<uint32_t>(authority[digits] - '0');
          tooLarge = tooLarge || next > 0xFFFFu;
          value = static_cast<uint16_t>(next);
          ++digits;
        }
        // The authority ends at the first separator, so anything left after
        // the digits is a character no port may be followed by.
        if (digits == 0 || tooLarge || digits != authority.size()) result = 1;
        portValue = value;
      }
    }

    size_t end = s.find_first_of("?#;");
    if (end == std::string_view::npos) end = s.size();
    CopyOut(s.substr(0, end), path, pathSize);
    if (end < s.size()) CopyOut(s.substr(end), remainder, remainderSize);
  }

  if (portValue == 0 && hasScheme) portValue = DefaultPort(schemeText);
  if (port) *port = portValue;
  return result;
}
