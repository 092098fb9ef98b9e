#include "runtime/url_parse.h"

#include <cstring>

#include "runtime/no_case.h"

namespace {

void CopyCut(char* out, size_t size, const char* text, size_t length) {
  size_t n = length < size - 1 ? length : size - 1;
  if (n > 0) memcpy(out, text, n);
  out[n] = '\0';
}

}  // namespace

void URLParse::Clear() {
  verb_[0] = path_[0] = headerText_[0] = query_[0] = '\0';
  headerCount_ = 0;
  headerTextUsed_ = 0;
  Terminate();
}

void URLParse::Terminate() {
  for (uint32_t i = headerCount_; i <= kMaxHeaders; ++i) headerNames_[i] = headerValues_[i] = nullptr;
}

// Only the used part of each buffer is copied: the record is about 25 KB
// and goes by value into every session, while a request uses a few hundred
// bytes of it.
void URLParse::CopyFrom(const URLParse& other) {
  CopyCut(verb_, sizeof verb_, other.verb_, strnlen(other.verb_, sizeof verb_ - 1));
  CopyCut(path_, sizeof path_, other.path_, strnlen(other.path_, sizeof path_ - 1));
  CopyCut(query_, sizeof query_, other.query_, strnlen(other.query_, sizeof query_ - 1));
  memcpy(headerText_, other.headerText_, other.headerTextUsed_ < sizeof headerText_ ? other.headerTextUsed_ + 1 : sizeof headerText_);
  headerCount_ = other.headerCount_;
  headerTextUsed_ = other.headerTextUsed_;
  // Same offsets, but inside this record's own header text.
  for (uint32_t i = 0; i < headerCount_; ++i) {
    headerNames_[i] = headerText_ + (other.headerNames_[i] - other.headerText_);
    headerValues_[i] = headerText_ + (other.headerValues_[i] - other.headerText_);
  }
  Terminate();
}

const char* URLParse::FindHeader(const char* name) const {
  return FindHeaderValue(headerNames_, headerValues_, name);
}

int URLParse::VerbCode() const {
  if (EqualsNoCase(verb_, "GET")) return kVerbGet;
  if (EqualsNoCase(verb_, "POST")) return kVerbPost;
  return kVerbOther;
}

void URLParse::SetVerb(const char* text, size_t length) { CopyCut(verb_, sizeof verb_, text, length); }
void URLParse::SetPath(const char* text, size_t length) { CopyCut(path_, sizeof path_, text, length); }
void URLParse::SetQuery(const char* text, size_t length) { CopyCut(query_, sizeof query_, text, length); }

bool URLParse::AddHeader(const char* name, size_t nameLength, const char* value, size_t valueLength) {
  if (headerCount_ >= kMaxHeaders) return false;
  size_t need = nameLength + 1 + valueLength + 1;
  if (headerTextUsed_ + need >= kHeaderTextSize) return false;
  char* n = headerText_ + headerTextUsed_;
  memcpy(n, name, nameLength);
  n[nameLength] = '\0';
  char* v = n + nameLength + 1;
  memcpy(v, value, valueLength);
  v[valueLength] = '\0';
  headerTextUsed_ += static_cast<uint32_t>(need);
  headerNames_[headerCount_] = n;
  headerValues_[headerCount_] = v;
  ++headerCount_;
  Terminate();
  return true;
}

bool URLParse::ContinueHeader(const char* text, size_t length) {
  if (headerCount_ == 0) return false;
  // The last value is the last thing in the header text: its NUL becomes
  // the joining space and a new NUL follows the appended text.
  if (headerTextUsed_ + 1 + length >= kHeaderTextSize) return false;
  char* end = headerText_ + headerTextUsed_ - 1;
  *end++ = ' ';
  memcpy(end, text, length);
  end[length] = '\0';
  headerTextUsed_ += static_cast<uint32_t>(1 + length);
  return true;
}

const char* FindHeaderValue(const char* const* names, const char* const* values, const char* name) {
  if (names == nullptr || values == nullptr || name == nullptr) return nullptr;
  for (size_t i = 0; names[i] != nullptr && values[i] != nullptr; ++i)
    if (EqualsNoCase(names[i], name)) return values[i];
  return nullptr;
}
