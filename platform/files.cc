#include "platform/files.h"

#include <unistd.h>

#include <climits>

namespace platform {

// "e" is glibc's close-on-exec flag for fopen.
FILE* OpenAppendStream(const char* name) { return std::fopen(name, "ae"); }

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char directory[PATH_MAX];
  if (getcwd(directory, sizeof directory) == nullptr) return path;
  std::string absolute = directory;
  if (absolute.back() != '/') absolute += '/';
  return absolute + path;
}

}  // namespace platform
