// ExclusiveFile: one file opened by one opener at a time, across threads and
// processes. The file is opened read-write, close-on-exec (launched providers
// never inherit it) and created with mode 0600 when missing; exclusivity is
// an flock(LOCK_EX) that every opener in the system takes. Locks belong to
// the open file description, so two opens in one process exclude each other
// just as two processes do.
//
// Waiting: Open(wait) retries every 500 ms, until `wait` seconds have passed
// on the monotonic clock, only while another opener holds the lock. Any other
// failure (missing folder, no permission, an empty path) fails at once: such a
// failure never clears by itself, and retrying it would only delay the caller.
//
// Replaced files: ReplaceContents writes a temporary file beside the path and
// renames it over the path while the lock is still held. An opener that was
// waiting on the old file then gets a lock on a file that no longer has the
// name; so every opener, once it holds the lock, compares the inode it locked
// (fstat) with the one the path names now (stat) and reopens when they differ.
// Together these make read-modify-replace cycles of two openers never lose an
// update.
#pragma once
#include <string>
#include <string_view>

namespace platform {

class ExclusiveFile {
 public:
  // The path is the directory and the file name joined with "/" (none added
  // when the directory is empty or ends in "/" or "\\").
  ExclusiveFile(std::string_view directory, std::string_view fileName);
  explicit ExclusiveFile(std::string path) : path_(std::move(path)) {}
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;

  enum TryResult { kLocked = 0, kBusy = 1, kFailed = 2 };
  // One attempt: open, lock without blocking, check that the path still names
  // the locked file (reopening while it does not).
  TryResult TryOpen();

  // Attempts until locked or the wait has passed; waitSeconds < 1 makes one
  // attempt. True when the file is now held.
  bool Open(int waitSeconds);

  bool IsOpen() const { return fd_ >= 0; }
  // Closing releases the lock.
  void Close();

  // The whole current contents (from offset 0).
  bool ReadAll(std::string* text) const;
  // Appends at the end of the file.
  bool Append(std::string_view text);
  // Cuts the file to zero length and writes text (in place, not atomic).
  bool Rewrite(std::string_view text);
  // Replaces the contents atomically; the object then holds (and has locked)
  // the new file. On failure the old file is unchanged and still held.
  bool ReplaceContents(std::string_view text);

  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace platform
