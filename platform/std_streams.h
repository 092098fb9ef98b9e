// The process's standard streams.
#pragma once
#include <cstdio>

namespace platform {

// Puts /dev/null on standard input and output, and on standard error too
// unless `keepStderr`. Used where a server is done with its standard
// streams: the descriptors stay taken, so a later socket never becomes
// descriptor 1 or 2 and receives stray writes.
void ReplaceStandardStreamsWithNull(bool keepStderr);

// Waits until a read of `input` would not wait (bytes in its buffer or
// arrived, end of input, an error) or `wakeFd` becomes readable. 1 for
// input, 0 for the wake. A stream without a descriptor counts as ready.
int WaitForStreamInput(FILE* input, int wakeFd);

// True when `input` holds bytes already read from its descriptor.
bool HasBufferedInput(FILE* input);

// fopen(name, "w") with close-on-exec (the one-shot output file).
FILE* OpenWriteStream(const char* name);

}  // namespace platform
