#include "platform/std_streams.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
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

bool HasBufferedInput(FILE* input) {
  // glibc keeps the unread part of the buffer between these two pointers;
  // there is no public call that tells.
  return input->_IO_read_ptr < input->_IO_read_end;
}

int WaitForStreamInput(FILE* input, int wakeFd) {
  int fd = fileno(input);
  if (fd < 0 || wakeFd < 0 || HasBufferedInput(input) || feof(input)) return 1;
  pollfd set[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  for (;;) {
    int r = poll(set, 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return 1;  // let the read itself report the trouble
    if (set[1].revents != 0) return 0;
    return 1;
  }
}

FILE* OpenWriteStream(const char* name) { return std::fopen(name, "we"); }

}  // namespace platform
