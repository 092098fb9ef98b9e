#include "platform/whole_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>


#include "platform/file_io.h"

namespace platform {

int ReadWholeFile(const std::string& path, std::string* text, int* error) {
  text->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = errno;
    return kFileOpenFailed;
  }
  struct stat st {};
  int result = kFileOk;
  if (fstat(fd, &st) != 0) {
    if (error) *error = errno;
    result = kFileOpenFailed;
  } else if (!ReadAllFrom(fd, text)) {
    result = kFileShortRead;
  } else if (static_cast<off_t>(text->size()) < st.st_size) {
    result = kFileShortRead;
  }
  close(fd);
  return result;
}

int ReplaceWholeFile(const std::string& path, std::string_view text, int* error) {
  std::string temp;
  int fd = CreateTempBeside(path, &temp);
  if (fd < 0) {
    if (error) *error = errno;
    return kFileOpenFailed;
  }
  struct stat old {};
  if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  if (!WriteAllTo(fd, text) || fsync(fd) != 0) {
    if (error) *error = errno;
    close(fd);
    unlink(temp.c_str());
    return kFileShortWrite;
  }
  close(fd);
  if (rename(temp.c_str(), path.c_str()) != 0) {
    if (error) *error = errno;
    unlink(temp.c_str());
    return kFileOpenFailed;
  }
  return kFileOk;
}

void ErrorText(int error, char* buffer, size_t size) {
  if (size == 0) return;
  // strerror_r (GNU form) may return a static text instead of filling buffer.
  char scratch[256];
  const char* text = strerror_r(error, scratch, sizeof scratch);
  snprintf(buffer, size, "%s", text);
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  path += name;
  return path;
}

}  // namespace platform
