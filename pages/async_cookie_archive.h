// A page's async operation cookies, and the archive file that keeps them
// across restarts.
//
// A page whose work takes longer than a request answers with a cookie id
// ("OUTSIDE!UNIQUE", UNIQUE ten lower-case hex digits); the requester later
// asks for progress and for the result under that id. A complete cookie
// stays for its hold time after completion; an unfinished one until its
// expiry time. Cookies leave only by aging (AgeCookies), which the
// cookie-maintenance page runs every minute; every aging that changed
// something rewrites the archive file (a temporary file renamed over it).
//
// The archive has a small mutex of its own: status listings and result
// requests run on session threads while the loop thread creates and ages
// cookies. Every public operation takes it for its whole run.
//
// Time comes from a clock that tests may replace (seconds since 1970).
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

class XMLAccumulator;
class XMLNode;

struct AsyncCookie {
  std::string outside;  // the identifier the requester supplied
  std::string unique;   // "%010x" of uniquetimet
  std::string result;   // the (partial) result, usually XML text
  std::string id;       // outside + "!" + unique
  uint32_t creationtime = 0;
  uint32_t completiontime = 0;  // 0 until complete
  uint32_t expiretime = 0;      // creationtime + expiry seconds
  uint32_t holdtime = 30;       // seconds a complete cookie stays
  uint32_t holduntil = 0;       // completiontime + holdtime
  int32_t progress = 0;         // 0 to 100
  uint32_t uniquetimet = 0;

  bool Complete() const { return completiontime != 0; }
  // <async-cookie holdtime holduntil creationtime completiontime uniquetimet
  // progress expiretime><outside/><unique/><result/></async-cookie>
  void WriteXML(XMLAccumulator* xml) const;
  // From an async-cookie element: missing attributes take their defaults
  // (holdtime 30, all others 0), missing texts stay empty.
  static AsyncCookie FromXML(XMLNode* element);
};

class AsyncCookieArchive {
 public:
  using Clock = std::function<uint32_t()>;
  // Seconds since 1970 from the system clock.
  static uint32_t SystemNow();

  AsyncCookieArchive();
  AsyncCookieArchive(const AsyncCookieArchive&) = delete;
  AsyncCookieArchive& operator=(const AsyncCookieArchive&) = delete;

  // Replaces the clock (tests); a null clock restores the system clock.
  void SetClock(Clock clock);

  // Names the archive file, loads it (LoadCookies), then ages the cookies
  // (whether or not the file held an archive).
  void SetArchive(const std::string& fileName);
  // Reads the archive file, adding its cookies; then ages them (unless the
  // file has no async element).
  void LoadCookies();
  // Discards unfinished cookies past their expiry and complete ones past
  // their hold time; then Term.
  void AgeCookies();
  // Writes the archive file when something changed since it was written.
  void Term();

  // A new cookie (progress 0, empty result), stored under its id.
  AsyncCookie CreateCookie(const std::string& outside, uint32_t holdSeconds, uint32_t expirySeconds);
  // Sets progress and result; progress 100 completes the cookie. False
  // when there is no such id.
  bool SetCookieResult(const std::string& id, const std::string& result, int32_t progress);
  // "<async-complete>R</async-complete>" or
  // "<async-inprogress progress="P">R</async-inprogress>"; false when
  // there is no such id.
  bool GetCookieResult(const std::string& id, std::string* text);
  // "<async-result id="ID" >...</async-result>", or false and
  // "<async-result-nomatch id="ID" ></async-result-nomatch>".
  bool GetResultXML(const std::string& id, std::string* text);
  // <async-id-matches> with one <async-cookie>ID</async-cookie> per cookie
  // whose outside equals `outside`.
  void GetMatchesXML(const std::string& outside, XMLAccumulator* xml);
  // <async-results [archive] time-now last-aged> with every cookie, indented.
  void GetStatusXML(std::string* text);

  // For tests and listings.
  size_t Size() const;
  bool Find(const std::string& id, AsyncCookie* cookie) const;
  uint32_t LastAged() const;
  std::string ArchiveName() const;

 private:
  uint32_t Now() const { return clock_ ? clock_() : SystemNow(); }
  // The largest value not above now that is not in use (see the .cc).
  uint32_t GetUniqueValue();
  void LoadLocked();
  void AgeLocked();
  void TermLocked();
  bool GetCookieResultLocked(const std::string& id, std::string* text);

  mutable std::mutex mutex_;
  Clock clock_;
  std::map<std::string, AsyncCookie> cookies_;
  std::set<uint32_t> inUse_;
  std::string fileName_;  // empty: no archive file
  uint32_t lastAged_ = 0;
  bool dirty_ = false;
  // Every value in [hintLow_, hintSecond_] is in use; valid while
  // hintSecond_ is the current second and nothing has left the set.
  uint32_t hintSecond_ = 0;
  uint32_t hintLow_ = 0;
  bool hintValid_ = false;
};
