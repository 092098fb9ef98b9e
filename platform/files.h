// Small file operations the runtime needs beyond the C library's streams.
#pragma once
#include <cstdio>
#include <string>

namespace platform {

// fopen(name, "a") whose descriptor is close-on-exec, so that launched
// providers never inherit the log file. Null on failure.
FILE* OpenAppendStream(const char* name);

// The path made absolute against the current directory (returned unchanged
// when it already starts with "/", is empty, or the directory is unknown).
// Names that must survive a later change of directory are fixed with it.
std::string AbsolutePath(const std::string& path);

}  // namespace platform
