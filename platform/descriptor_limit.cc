#include "platform/descriptor_limit.h"

#include <sys/resource.h>

namespace platform {

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 1L << 30) return 1L << 30;
  return static_cast<long>(limit.rlim_cur);
}

}  // namespace platform
