#include "xml/escape.h"

#include <cstdint>

namespace {

const char kHex[] = "0123456789ABCDEF";

// The replacement for one character, or null when it is copied. For a
// carriage return the caller also consumes a line feed right after it.
template <typename Char>
const char* NamedFor(Char c, unsigned flags) {
  const bool text = (flags & kEscapeText) != 0;
  switch (c) {
    case 9: return text ? nullptr : "&#x9;";
    case 10: return text ? nullptr : "&#xA;";
    case 13: return text ? "\n" : "&#xA;";
    case '"': return "&quot;";
    case '&': return "&amp;";
    case '\'': return "&apos;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    default: return nullptr;
  }
}

bool TakesNumeric(unsigned char c, unsigned flags) {
  if (c < 32) return c != 9 && c != 10 && c != 13;
  return c > 127 && (flags & kEscapeHighBytes) != 0;
}

template <typename Sink>
void EscapeInto(std::string_view in, unsigned flags, Sink&& sink) {
  for (size_t i = 0; i < in.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (const char* named = NamedFor(c, flags)) {
      sink(std::string_view(named));
      if (c == 13 && i + 1 < in.size() && in[i + 1] == '\n') ++i;
    } else if (TakesNumeric(c, flags)) {
      char buf[6] = {'&', '#', 'x', kHex[c >> 4], kHex[c & 15], ';'};
      sink(std::string_view(buf, 6));
    } else {
      sink(std::string_view(in.data() + i, 1));
    }
  }
}

bool IsHex(int c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(int c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

struct Named {
  const char* text;
  size_t length;
  char value;
};
const Named kNamed[] = {{"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&amp;", 5, '&'}, {"&apos;", 6, '\''}, {"&quot;", 6, '"'}};

// Decodes one reference at in[i] == '&'. Returns the number of characters
// consumed (0 = not decodable), the value modulo 2^32 in *value (its low 16
// bits are exact however long the digit run) and whether the true value is
// 256 or more in *large.
template <typename Char>
size_t DecodeReference(std::basic_string_view<Char> in, size_t i, uint32_t* value, bool* large) {
  *large = false;
  for (const Named& n : kNamed) {
    if (in.size() - i < n.length) continue;
    size_t k = 0;
    while (k < n.length && in[i + k] == static_cast<Char>(n.text[k])) ++k;
    if (k == n.length) {
      *value = static_cast<unsigned char>(n.value);
      return n.length;
    }
  }
  size_t p = i + 1;
  if (p >= in.size() || in[p] != '#') return 0;
  ++p;
  bool hex = p < in.size() && in[p] == 'x';
  if (hex) ++p;
  size_t digitsStart = p;
  uint32_t number = 0;
  while (p < in.size() && (hex ? IsHex(in[p]) : (in[p] >= '0' && in[p] <= '9'))) {
    number = number * (hex ? 16 : 10) + static_cast<uint32_t>(hex ? HexValue(in[p]) : in[p] - '0');
    if (number >= 256) *large = true;
    ++p;
  }
  if (p == digitsStart || p >= in.size() || in[p] != ';') return 0;
  *value = number;
  return p + 1 - i;
}

}  // namespace

size_t EscapedLength(std::string_view in, unsigned flags) {
  size_t n = 0;
  EscapeInto(in, flags, [&n](std::string_view piece) { n += piece.size(); });
  return n;
}

void AppendEscaped(std::string* out, std::string_view in, unsigned flags) {
  EscapeInto(in, flags, [out](std::string_view piece) {
    if (piece.size() == 1)
      out->push_back(piece[0]);
    else
      out->append(piece);
  });
}

void Escape(std::string* out, std::string_view in, unsigned flags) {
  out->clear();
  out->reserve(in.size() * 8 + 1);
  AppendEscaped(out, in, flags);
}

int Unescape(std::string* out, std::string_view in) {
  out->clear();
  out->reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    size_t amp = in.find('&', i);
    if (amp == std::string_view::npos) {
      out->append(in.substr(i));
      return 0;
    }
    out->append(in.substr(i, amp - i));
    uint32_t value = 0;
    bool large = false;
    size_t used = DecodeReference(in, amp, &value, &large);
    if (used == 0 || large) return 1;
    out->push_back(static_cast<char>(value));
    i = amp + used;
  }
  return 0;
}

void EscapeWide(std::u16string* out, std::u16string_view in, unsigned flags) {
  out->clear();
  out->reserve(in.size() * 8 + 1);
  for (size_t i = 0; i < in.size(); ++i) {
    char16_t c = in[i];
    const char* named = c < 128 ? NamedFor(c, flags) : nullptr;
    if (!named) {
      out->push_back(c);
      continue;
    }
    for (const char* p = named; *p; ++p) out->push_back(static_cast<char16_t>(*p));
    if (c == 13 && i + 1 < in.size() && in[i + 1] == u'\n') ++i;
  }
}

int UnescapeWide(std::u16string* out, std::u16string_view in) {
  out->clear();
  out->reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    if (in[i] != u'&') {
      out->push_back(in[i++]);
      continue;
    }
    uint32_t value = 0;
    bool large = false;
    size_t used = DecodeReference(in, i, &value, &large);
    if (used == 0) return 1;
    out->push_back(static_cast<char16_t>(value & 0xFFFF));
    i += used;
  }
  return 0;
}
