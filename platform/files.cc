#include "platform/files.h"

namespace platform {

// "e" is glibc's close-on-exec flag for fopen.
FILE* OpenAppendStream(const char* name) { return std::fopen(name, "ae"); }

}  // namespace platform
