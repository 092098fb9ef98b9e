#include "platform/std_streams.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

void ReplaceStandardStreamsWithNull(bool keepStderr) {
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return;
  dup2(null, 0);
  dup2(null, 1);
  if (!keepStderr) dup2(null, 2);
  if (null > 2) close(null);
}

FILE* OpenWriteStream(const char* name) { return std::fopen(name, "we"); }

}  // namespace platform
