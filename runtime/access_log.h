// The access-log line written after each request a session thread handled:
//
//   127.0.0.1:51000 - - [05/Mar/2024:14:02:07 0100] "GET /status" 200 312 [request#1]
//
// peer name, date, verb, decoded path, status returned by the handler,
// bytes written on the channel for this request, request number on the
// channel.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/io_base.h"
#include "runtime/url_parse.h"

// "[%02d/%-3.3s/%04d:%02d:%02d:%02d %s%02d%02d]": local time of `unixTime`
// (0 = now) and the zone's standard offset (daylight saving not applied):
// "0100" one hour east of UTC, "-0500" five hours west.
void CommonLogDate(char* buffer, size_t size, int64_t unixTime);

// The line itself, with its newline, for a request answered with `status`.
std::string AccessLogLine(IOBase* io, const URLParse& request, int status, int64_t unixTime);
// Logs AccessLogLine for now at level 64.
void LogAccess(IOBase* io, const URLParse& request, int status);
