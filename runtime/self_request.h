// Requests from a process to its own server port (worker threads reach
// their page this way). The request takes the full TCP path and dispatch
// of this process, so it must never be issued from the loop thread while
// the loop is busy with it: a page running inline must not call it.
#pragma once
#include <string>
#include <string_view>

// Sends `verb` ("get" or "post") `uri` with `body` to this server's port.
// When `result` is given and the answer is 200 with a body, it receives the
// body. Returns the status number (0 when no connection could be made).
int InternalRequest(const char* verb, const char* uri, std::string_view body, std::string* result);
