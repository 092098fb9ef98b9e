// The process's standard streams.
#pragma once
#include <cstdio>

namespace platform {

// Puts /dev/null on standard input and output, and on standard error too
// unless `keepStderr`. Used where a server is done with its standard
// streams: the descriptors stay taken, so a later socket never becomes
// descriptor 1 or 2 and receives stray writes.
void ReplaceStandardStreamsWithNull(bool keepStderr);

// fopen(name, "w") with close-on-exec (the one-shot output file).
FILE* OpenWriteStream(const char* name);

}  // namespace platform
