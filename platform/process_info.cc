#include "platform/process_info.h"

#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

long ThreadId() { return static_cast<long>(syscall(SYS_gettid)); }

long ProcessId() { return static_cast<long>(getpid()); }

std::string ModuleFileName() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  return std::string(path, static_cast<size_t>(n));
}

}  // namespace platform
