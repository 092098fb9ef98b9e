// Writing a response: a status line, a fixed small set of headers and the
// body. No other header is ever written (no date, no server name, no
// connection header); the server closes the connection after the response.
//
// All writers return 0 on success and -1 when the channel refused a write
// (logged with the channel's peer name).
#pragma once
#include <cstdint>

#include "runtime/io_base.h"

// The status texts the system writes; a handler returns the number at the
// start of the text it wrote.
inline constexpr const char* kStatus200 = "200 OK";
inline constexpr const char* kStatus400 = "400 Bad Request";
inline constexpr const char* kStatus404 = "404 Not Found";
inline constexpr const char* kStatus405 = "405 Method Not Allowed";
inline constexpr const char* kStatus500 = "500 Internal Server Error";
inline constexpr const char* kStatus503 = "503 Service Unavailable";

// A whole response. A null body writes no Content-Length header at all; a
// non-null body (also of length 0) writes "Content-Length:<n>". Extra
// headers are written as "name:value" while both arrays hold non-null
// entries; both arrays may be null. The head is cut to 4096 bytes.
int StandardResponse(IOBase* io, const char* status, const char* body, uint32_t bodyLength,
                     const char* const* extraNames, const char* const* extraValues);

// The head of a response whose body follows in pieces; a contentLength of
// 0 writes no Content-Length header. The caller delivers exactly
// contentLength bytes with ContinueStreamedResponse; nothing checks it.
int BeginStreamedResponse(IOBase* io, const char* status, uint32_t contentLength, const char* const* extraNames,
                          const char* const* extraValues);
// The same head followed by the body's first piece, in one write where the
// channel can (a small answer then reaches the client in one segment); it
// logs and fails as BeginStreamedResponse and ContinueStreamedResponse
// would one after the other. A firstLength of 0 writes the head alone.
int BeginStreamedResponse(IOBase* io, const char* status, uint32_t contentLength, const char* const* extraNames,
                          const char* const* extraValues, const void* first, uint32_t firstLength);
// One more piece of body; a length of 0 writes nothing and returns 0.
int ContinueStreamedResponse(IOBase* io, const void* data, uint32_t length);

// "503 Service Unavailable" with no body.
int RespondServiceUnavailable(IOBase* io);
