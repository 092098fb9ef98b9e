#include "pages/async_cookie_archive.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/whole_file.h"
#include "runtime/log.h"
#include "xml/xml_accumulator.h"
#include "xml/xml_node.h"

namespace {

constexpr uint32_t kDefaultHoldTime = 30;

std::string Unsigned(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%u", value);
  return text;
}

// The text of the first child element of that exact name; empty when none.
std::string ChildText(XMLNode* element, const char* name) {
  for (XMLNode* child : element->GetChildren()) {
    if (child->GetType() == XMLNode::kElement && child->GetName() == name) return std::string(child->GetValue());
  }
  return std::string();
}

// A decimal attribute; false (and a log line) when it is missing.
bool NumberAttribute(XMLNode* element, const char* name, long long* value) {
  XMLNode* attribute = nullptr;
  if (element->FindAttribute(&attribute, name) != 0 || attribute == nullptr) {
    Log(8, "AsyncCookie construct XML parse failed to attribute %s\n", name);
    return false;
  }
  *value = strtoll(std::string(attribute->GetValue()).c_str(), nullptr, 10);
  return true;
}

}  // namespace

void AsyncCookie::WriteXML(XMLAccumulator* xml) const {
  xml->OpenElement("async-cookie");
  xml->AddAttribute("holdtime", static_cast<int>(holdtime));
  xml->AddAttribute("holduntil", static_cast<unsigned>(holduntil));
  xml->AddAttribute("creationtime", static_cast<unsigned>(creationtime));
  xml->AddAttribute("completiontime", static_cast<unsigned>(completiontime));
  xml->AddAttribute("uniquetimet", static_cast<unsigned>(uniquetimet));
  xml->AddAttribute("progress", static_cast<int>(progress));
  xml->AddAttribute("expiretime", static_cast<unsigned>(expiretime));
  xml->AddElement("outside", outside);
  xml->AddElement("unique", unique);
  xml->AddElement("result", result);
  xml->CloseElement();
}

AsyncCookie AsyncCookie::FromXML(XMLNode* element) {
  AsyncCookie c;
  long long v = 0;
  c.holdtime = NumberAttribute(element, "holdtime", &v) ? static_cast<uint32_t>(v) : kDefaultHoldTime;
  c.holduntil = NumberAttribute(element, "holduntil", &v) ? static_cast<uint32_t>(v) : 0;
  c.creationtime = NumberAttribute(element, "creationtime", &v) ? static_cast<uint32_t>(v) : 0;
  c.completiontime = NumberAttribute(element, "completiontime", &v) ? static_cast<uint32_t>(v) : 0;
  c.uniquetimet = NumberAttribute(element, "uniquetimet", &v) ? static_cast<uint32_t>(v) : 0;
  c.progress = NumberAttribute(element, "progress", &v) ? static_cast<int32_t>(v) : 0;
  c.expiretime = NumberAttribute(element, "expiretime", &v) ? static_cast<uint32_t>(v) : 0;
  c.outside = ChildText(element, "outside");
  c.unique = ChildText(element, "unique");
  c.result = ChildText(element, "result");
  c.id = c.outside + "!" + c.unique;
  return c;
}

uint32_t AsyncCookieArchive::SystemNow() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

AsyncCookieArchive::AsyncCookieArchive() = default;

void AsyncCookieArchive::SetClock(Clock clock) {
  std::lock_guard<std::mutex> guard(mutex_);
  clock_ = std::move(clock);
}

void AsyncCookieArchive::SetArchive(const std::string& fileName) {
  std::lock_guard<std::mutex> guard(mutex_);
  fileName_ = fileName;
  LoadLocked();
  // Aged here too: the load skips its own aging when the file holds no
  // archive, and the cookies held already must still age.
  AgeLocked();
}

void AsyncCookieArchive::LoadCookies() {
  std::lock_guard<std::mutex> guard(mutex_);
  LoadLocked();
}

void AsyncCookieArchive::LoadLocked() {
  std::unique_ptr<XMLNode> document;
  const char* error = nullptr;
  if (fileName_.empty() || XMLNode::LoadFile(fileName_, &document, 0, &error) != 0) {
    Log(256, "AsyncCookieArchive::LoadCookies couldn't parse contents of %s (perhaps it was not there at all)\n",
        fileName_.c_str());
    AgeLocked();
    return;
  }
  Log(256, "AsyncCookieArchive::LoadCookies parsing contents of %s\n", fileName_.c_str());
  XMLNode* async = nullptr;
  if (document->FindChild(&async, "async") != 0 || async == nullptr) {
    // Not an archive of ours: nothing to load and no aging here.
    Log(256, "AsyncCookieArchive::LoadCookies XML parse failed to find %s tag\n", "async");
    return;
  }
  for (XMLNode* child : async->GetChildren()) {
    if (child->GetType() != XMLNode::kElement) continue;  // the indentation between cookies
    if (child->GetName() != "async-cookie") {
      Log(256, "AsyncCookieArchive::LoadCookies XML parse failed to find %s tag\n", "async-cookie");
      continue;
    }
    AsyncCookie cookie = AsyncCookie::FromXML(child);
    inUse_.insert(cookie.uniquetimet);
    Log(256, "AsyncCookieArchive::LoadCookies adds cookie [%s,%x]\n", cookie.id.c_str(), cookie.uniquetimet);
    std::string id = cookie.id;
    cookies_[id] = std::move(cookie);
  }
  AgeLocked();
}

void AsyncCookieArchive::AgeCookies() {
  std::lock_guard<std::mutex> guard(mutex_);
  AgeLocked();
}

void AsyncCookieArchive::AgeLocked() {
  Log(256, "AsyncCookieArchive::AgeCookies\n");
  const uint32_t now = Now();
  lastAged_ = now;
  std::vector<std::string> discard;
  for (const auto& [id, cookie] : cookies_) {
    if (!cookie.Complete() && now > cookie.expiretime) {
      Log(256, "AsyncCookieArchive::AgeCookies cookie[%s] is expired\n", id.c_str());
    } else if (cookie.Complete() && now > cookie.holduntil) {
      Log(256, "AsyncCookieArchive::AgeCookies cookie[%s] is beyond hold time\n", id.c_str());
    } else {
      continue;
    }
    discard.push_back(id);
    inUse_.erase(cookie.uniquetimet);
    hintValid_ = false;
    dirty_ = true;
  }
  for (const std::string& id : discard) {
    if (cookies_.erase(id) != 0)
      Log(256, "AsyncCookieArchive::AgeCookies cookie[%s] discard\n", id.c_str());
    else
      Log(16, "AsyncCookieArchive::AgeCookies cookie[%s] not found, can't discard!\n", id.c_str());
  }
  TermLocked();
}

void AsyncCookieArchive::Term() {
  std::lock_guard<std::mutex> guard(mutex_);
  TermLocked();
}

void AsyncCookieArchive::TermLocked() {
  if (!dirty_) return;
  dirty_ = false;
  Log(256, "AsyncCookieArchive::Term\n");
  if (fileName_.empty()) {
    if (!cookies_.empty())
      Log(16, "AsyncCookieArchive::Term has cookies to serialize but no archive name is configured!\n");
    return;
  }
  XMLAccumulator xml;
  xml.OpenElement("async");
  xml.AddAttribute("last-aged", static_cast<unsigned>(lastAged_));
  for (const auto& entry : cookies_) entry.second.WriteXML(&xml);
  xml.CloseElement();
  std::string text;
  xml.GetXML(&text, 1);
  // Written whole to a temporary file and renamed over the old one, so a
  // crash mid-write never leaves a cut archive. A failed write is not
  // reported: the cookies stay in memory and the next change writes again.
  int error = 0;
  platform::ReplaceWholeFile(fileName_, text, &error);
}

// Counts down from the current second to the first value not in use
// (0 is taken, with a log line, when it gets that far). Many cookies in one
// second would make that walk quadratic, so the lowest value handed out in
// the current second is remembered: every value from it up to the second is
// in use, and the next walk starts just below it. Anything leaving the set
// of values in use ends that guarantee.
uint32_t AsyncCookieArchive::GetUniqueValue() {
  const uint32_t now = Now();
  uint32_t value = now;
  if (hintValid_ && hintSecond_ == now) value = hintLow_ > 0 ? hintLow_ - 1 : 0;
  while (value != 0 && inUse_.count(value) != 0) --value;
  if (value == 0) Log(256, "AsyncCookieArchive::GetUniqueValue hits 0; this should not happen!\n");
  inUse_.insert(value);
  hintSecond_ = now;
  hintLow_ = value;
  hintValid_ = true;
  return value;
}

AsyncCookie AsyncCookieArchive::CreateCookie(const std::string& outside, uint32_t holdSeconds,
                                             uint32_t expirySeconds) {
  std::lock_guard<std::mutex> guard(mutex_);
  dirty_ = true;
  AsyncCookie c;
  c.uniquetimet = GetUniqueValue();
  char unique[16];
  snprintf(unique, sizeof unique, "%010x", c.uniquetimet);
  c.unique = unique;
  c.outside = outside;
  c.id = outside + "!" + c.unique;
  c.creationtime = Now();
  c.expiretime = c.creationtime + expirySeconds;
  c.holdtime = holdSeconds;
  cookies_[c.id] = c;
  return c;
}

bool AsyncCookieArchive::SetCookieResult(const std::string& id, const std::string& result, int32_t progress) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = cookies_.find(id);
  if (it == cookies_.end()) {
    Log(256, "AsyncCookieArchive::SetCookieResult found no match for [%s]\n", id.c_str());
    return false;
  }
  AsyncCookie& c = it->second;
  c.progress = progress;
  c.result = result;
  if (progress == 100) {
    c.completiontime = Now();
    c.holduntil = c.completiontime + c.holdtime;
  }
  dirty_ = true;
  return true;
}

bool AsyncCookieArchive::GetCookieResultLocked(const std::string& id, std::string* text) {
  auto it = cookies_.find(id);
  if (it == cookies_.end()) {
    Log(256, "AsyncCookieArchive::GetCookieResult found no match for [%s]\n", id.c_str());
    return false;
  }
  const AsyncCookie& c = it->second;
  if (c.Complete()) {
    *text = "<async-complete>" + c.result + "</async-complete>";
  } else {
    char progress[16];
    snprintf(progress, sizeof progress, "%d", c.progress);
    *text = std::string("<async-inprogress progress=\"") + progress + "\">" + c.result + "</async-inprogress>";
  }
  return true;
}

bool AsyncCookieArchive::GetCookieResult(const std::string& id, std::string* text) {
  std::lock_guard<std::mutex> guard(mutex_);
  return GetCookieResultLocked(id, text);
}

bool AsyncCookieArchive::GetResultXML(const std::string& id, std::string* text) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::string inner;
  if (GetCookieResultLocked(id, &inner)) {
    *text = "<async-result id=\"" + id + "\" >" + inner + "</async-result>";
    return true;
  }
  *text = "<async-result-nomatch id=\"" + id + "\" ></async-result-nomatch>";
  return false;
}

void AsyncCookieArchive::GetMatchesXML(const std::string& outside, XMLAccumulator* xml) {
  std::lock_guard<std::mutex> guard(mutex_);
  xml->OpenElement("async-id-matches");
  for (const auto& [id, cookie] : cookies_) {
    if (cookie.outside == outside) xml->AddElement("async-cookie", id);
  }
  xml->CloseElement();
}

void AsyncCookieArchive::GetStatusXML(std::string* text) {
  std::lock_guard<std::mutex> guard(mutex_);
  XMLAccumulator xml;
  xml.OpenElement("async-results");
  if (!fileName_.empty()) xml.AddAttribute("archive", fileName_);
  xml.AddAttribute("time-now", Unsigned(Now()));
  xml.AddAttribute("last-aged", Unsigned(lastAged_));
  for (const auto& entry : cookies_) entry.second.WriteXML(&xml);
  xml.CloseElement();
  xml.GetXML(text, 1);
}

size_t AsyncCookieArchive::Size() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return cookies_.size();
}

bool AsyncCookieArchive::Find(const std::string& id, AsyncCookie* cookie) const {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = cookies_.find(id);
  if (it == cookies_.end()) return false;
  if (cookie != nullptr) *cookie = it->second;
  return true;
}

uint32_t AsyncCookieArchive::LastAged() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return lastAged_;
}

std::string AsyncCookieArchive::ArchiveName() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return fileName_;
}
