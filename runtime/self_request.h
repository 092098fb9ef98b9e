// Requests from a process to its own server port (worker threads reach
// their page this way). The request takes the full TCP path and dispatch
// of this process, so it must never be issued from the loop thread while
// the loop is busy with it: a page running inline must not call it.
#pragma once
#include <atomic>
#include <string>
#include <string_view>

// Sends `verb` ("get" or "post") `uri` with `body` to this server's port.
// When `result` is given and the answer is 200 with a body, it receives the
// body. Returns the status number (0 when no connection could be made).
// `cancel`, when given, abandons the wait for the answer once it is set:
// a worker thread reporting to its page passes its exit flag, because at
// shutdown the loop thread waits for workers and answers nothing.
int InternalRequest(const char* verb, const char* uri, std::string_view body, std::string* result,
                    const std::atomic<bool>* cancel = nullptr);
