// One request to a server of this family on 127.0.0.1 (the collector, or
// this process's own port) through the document client: socket mode,
// start-on-failure set, the response read.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// Sends `verb` ("get" or "post") `target` with `body` to 127.0.0.1:port.
// When `reply` is given and the status is 200, it receives the response
// body. Returns the status number (0 when no connection could be made).
// A `cancel` flag, when given, abandons the wait for the answer once it is
// set (CProviderCon::SetCancelFlag).
int RequestLocalDocument(uint16_t port, const char* verb, const std::string& target, std::string_view body,
                         int timeoutSeconds, std::string* reply, const std::atomic<bool>* cancel = nullptr);

// The same to the collector's port, 21584.
int RequestCollectorDocument(const char* verb, const std::string& target, std::string_view body,
                             int timeoutSeconds, std::string* reply);
