// A page's async operation cookies. The async support (cookies with
// progress and results, aging, the archive file) fills this in; until then
// a page keeps none.
#pragma once

class AsyncCookieArchive {
 public:
  // Saves and releases what the archive holds (page destruction).
  void Term() {}
};
