// Reading a request from a channel: the head (request line and headers)
// with ReadRequest, and on demand the body with ReadBody.
//
// The dialect: a request line "VERB target [version]" (the version is not
// checked), header lines "Name: value" with continuation lines, an empty
// line. Lines may end in LF or CR LF. The body is never read with the head;
// it stays in the channel until a page asks for it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/io_base.h"
#include "runtime/url_parse.h"

// Results of ReadRequest.
enum : int {
  kRequestRead = 0,       // a complete head was read
  kRequestEnd = 1,        // end of input, or a read failure in the headers
  kRequestMalformed = 2,  // a bad head, or the request line could not be read
};

// Longest line read, in characters (the line buffer is one byte larger).
constexpr long kMaxRequestLine = 10239;

// Fills `request` from `io`. On success the channel starts a new request
// (its per-request byte count goes to 0 and its request number up by one).
// A channel with a deadline that ran out gives 2 on the request line and 1
// in the headers; the caller tells it apart with the channel's TimedOut().
int ReadRequest(URLParse* request, IOBase* io);

// The length of the whole request head at the start of `data` (the first n
// bytes waiting on a connection), as ReadRequest reads it: the request line,
// then lines up to and including one that starts with CR or LF; 0 while the
// head is incomplete. Lines are counted in the pieces ReadRequest reads them
// in, so ReadRequest on such data never waits and never reads past it.
size_t HeadLength(const char* data, size_t n);

// A Content-Length value: decimal digits (blanks around them allowed) up to
// 2147483647. Anything else (a sign, other characters, a larger number)
// counts as no length at all: 0.
int ContentLengthOf(const char* text);

// The Content-Length a head announces, as ReadBody reads it; 0 when the
// header is missing, zero, or not a length by ContentLengthOf (no body).
uint64_t AnnouncedBodyLength(const char* const* headerNames, const char* const* headerValues);

// Reads a body of Content-Length bytes (header looked up without regard to
// case). False when the header is missing or announces no body
// (ContentLengthOf gives 0); otherwise
// true, also when the input ended early and the body is shorter. A body
// longer than the channel's BodyLimit() is refused: nothing is read, the
// channel is told (RefuseBody) and the result is false.
bool ReadBody(IOBase* io, const char* const* headerNames, const char* const* headerValues, std::string* body);

// atoi without undefined behaviour on overflow: leading whitespace, an
// optional sign and digits; values past the int range are clamped.
int TextToInt(const char* text);
