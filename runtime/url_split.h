// Taking a URL apart: scheme, user, password, host, port, path and the
// remainder (query, fragment or parameters, from their first character on).
//
// A request target of the usual form ("/status?x=1") has no scheme and no
// authority: the path is the text up to "?", the remainder "?" and the rest.
#pragma once
#include <cstddef>
#include <cstdint>

// Every text output comes with its buffer size and is cut to size - 1
// characters; any output may be null. Returns 0, or 1 when a port is
// present but invalid (no digits, 65536 or more, or followed by something
// other than "/", "\", "?", "#" or ";"); the other outputs are still filled,
// and *port gets the low 16 bits of the number (70000 gives 4464).
int SplitURL(const char* url, char* scheme, size_t schemeSize, char* user, size_t userSize, char* password,
             size_t passwordSize, char* host, size_t hostSize, uint16_t* port, char* path, size_t pathSize,
             char* remainder, size_t remainderSize);
