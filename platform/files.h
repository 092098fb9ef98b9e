// Small file operations the runtime needs beyond the C library's streams.
#pragma once
#include <cstdio>

namespace platform {

// fopen(name, "a") whose descriptor is close-on-exec, so that launched
// providers never inherit the log file. Null on failure.
FILE* OpenAppendStream(const char* name);

}  // namespace platform
