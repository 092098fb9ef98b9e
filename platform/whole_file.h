// Whole-file reads and writes. Files that the system rewrites whole are never
// truncated and rewritten in place: the new text goes to a temporary file in
// the same folder, is flushed to disk and then renamed over the old name, so
// a crash or SIGKILL mid-write leaves either the old or the new text, never a
// truncated file.
#pragma once
#include <string>
#include <string_view>

namespace platform {

enum WholeFileResult : int {
  kFileOk = 0,
  kFileOpenFailed = 1,  // *error holds the errno value
  kFileShortRead = 2,   // fewer bytes read than the file's size
  kFileShortWrite = 3,  // fewer bytes written than the text's length
};

// Reads the whole file into *text (replaced).
int ReadWholeFile(const std::string& path, std::string* text, int* error);

// Replaces the file's contents atomically (temporary file, fsync, rename).
// The file is created with mode 0600 when it did not exist; an existing
// file's mode is kept.
int ReplaceWholeFile(const std::string& path, std::string_view text, int* error);

// The system's message text for an errno value, cut to size - 1 bytes.
void ErrorText(int error, char* buffer, size_t size);

// directory + "/" + name; no separator is added when the directory is empty
// or already ends in "/" or "\\".
std::string JoinPath(std::string_view directory, std::string_view name);

}  // namespace platform
