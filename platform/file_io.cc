#include "platform/file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace platform {

bool ReadAllFrom(int fd, std::string* text) {
  text->clear();
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    ssize_t n = pread(fd, buffer, sizeof buffer, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    text->append(buffer, static_cast<size_t>(n));
    offset += n;
  }
}

bool WriteAllTo(int fd, std::string_view text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

int CreateTempBeside(const std::string& path, std::string* tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *tempPath = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
    int fd = open(tempPath->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace platform
