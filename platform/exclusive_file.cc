#include "platform/exclusive_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/whole_file.h"

namespace platform {

namespace {
constexpr uint32_t kRetryMs = 500;

int LockNoWait(int fd) {
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

// True when the descriptor and the path name the same file.
bool SameFile(int fd, const std::string& path) {
  struct stat held {}, named {};
  if (fstat(fd, &held) != 0 || stat(path.c_str(), &named) != 0) return false;
  return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}
}  // namespace

ExclusiveFile::ExclusiveFile(std::string_view directory, std::string_view fileName)
    : path_(JoinPath(directory, fileName)) {}

ExclusiveFile::~ExclusiveFile() { Close(); }

void ExclusiveFile::Close() {
  if (fd_ >= 0) close(fd_);  // releases the flock
  fd_ = -1;
}

ExclusiveFile::TryResult ExclusiveFile::TryOpen() {
  Close();
  if (path_.empty()) return kFailed;
  // The path may be replaced between our open and our lock any number of
  // times; each round trip is cheap, but bound it so that a file renamed in a
  // tight loop by someone else cannot keep us here.
  for (int round = 0; round < 100; ++round) {
    int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return kFailed;
    int err = LockNoWait(fd);
    if (err != 0) {
      close(fd);
      return err == EWOULDBLOCK ? kBusy : kFailed;
    }
    if (SameFile(fd, path_)) {
      fd_ = fd;
      return kLocked;
    }
    close(fd);  // locked a file that was renamed over or removed: try again
  }
  return kBusy;
}

bool ExclusiveFile::Open(int waitSeconds) {
  const int64_t start = MonotonicCounter();
  const int64_t limit = static_cast<int64_t>(waitSeconds) * kCounterFrequency;
  for (;;) {
    TryResult result = TryOpen();
    if (result == kLocked) return true;
    if (result == kFailed || waitSeconds < 1) return false;
    if (MonotonicCounter() - start >= limit) return false;
    SleepMs(kRetryMs);
    if (MonotonicCounter() - start > limit) return false;
  }
}

bool ExclusiveFile::ReadAll(std::string* text) const {
  if (fd_ < 0) {
    text->clear();
    return false;
  }
  return ReadAllFrom(fd_, text);
}

bool ExclusiveFile::Append(std::string_view text) {
  if (fd_ < 0 || lseek(fd_, 0, SEEK_END) < 0) return false;
  return WriteAllTo(fd_, text);
}

bool ExclusiveFile::Rewrite(std::string_view text) {
  if (fd_ < 0 || ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) < 0) return false;
  return WriteAllTo(fd_, text);
}

bool ExclusiveFile::ReplaceContents(std::string_view text) {
  if (fd_ < 0) return false;
  std::string temp;
  int fd = CreateTempBeside(path_, &temp);
  if (fd < 0) return false;
  struct stat old {};
  if (fstat(fd_, &old) == 0) fchmod(fd, old.st_mode & 07777);
  // Lock the new file before it gets the name, so that an opener that finds
  // the new name can never get in between our rename and our close.
  bool ok = LockNoWait(fd) == 0 && WriteAllTo(fd, text) && fsync(fd) == 0 &&
            rename(temp.c_str(), path_.c_str()) == 0;
  if (!ok) {
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  close(fd_);
  fd_ = fd;
  return true;
}

}  // namespace platform
