#include "collector/started_file.h"

#include <string>
#include <string_view>
#include <vector>

#include "platform/exclusive_file.h"
#include "platform/whole_file.h"
#include "runtime/log.h"
#include "runtime/no_case.h"

namespace {

constexpr const char* kStartedDirectory = ".";
constexpr const char* kStartedName = "started.col";
constexpr int kLockWaitSeconds = 30;
// Lines are read through a buffer of this size: a longer line is read (and
// compared) in pieces of size - 1 bytes.
constexpr size_t kLineBuffer = 260;

bool Lock(platform::ExclusiveFile* file) {
  Log(8192, "Attempt to lock STARTED file\n");
  if (!file->Open(kLockWaitSeconds)) return false;
  Log(8192, "Attempt to lock STARTED file SUCCEEDED\n");
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The file's lines as a line-buffered reader sees them, each without its
// trailing white space.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t n = text.find('\n');
    n = n == std::string_view::npos ? text.size() : n + 1;
    if (n > kLineBuffer - 1) n = kLineBuffer - 1;
    std::string_view line = text.substr(0, n);
    text.remove_prefix(n);
    while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

bool CheckFirstStart(const char* name, bool dontRecord) {
  std::string_view wanted = name ? name : "";
  platform::ExclusiveFile file(kStartedDirectory, kStartedName);
  if (!Lock(&file)) {
    Log(4, "STARTED file Attempt to lock FAILED\n");
    return false;
  }
  std::string text;
  bool found = false;
  if (file.ReadAll(&text)) {
    for (std::string_view line : Lines(text)) {
      if (line == wanted) {
        found = true;
        break;
      }
    }
  }
  if (found) {
    Log(8192, "FOUND %s\n", name);
  } else {
    Log(8192, "NOTFOUND %s\n", name ? name : "");
    if (!dontRecord) {
      // A last line without its newline must not run into the new name.
      std::string entry = (!text.empty() && text.back() != '\n') ? "\n" : "";
      entry.append(wanted).append("\n");
      file.Append(entry);
    }
  }
  file.Close();
  Log(8192, "STARTED file unlocked\n");
  return !found;
}

void RemoveFirstStart(const char* name) {
  std::string_view unwanted = name ? name : "";
  Log(8192, "RemoveFirstStart %s\n", name ? name : "");
  platform::ExclusiveFile file(kStartedDirectory, kStartedName);
  if (!Lock(&file)) {
    Log(1, "STARTED file Attempt to lock FAILED\n");
    return;
  }
  std::string text;
  if (file.ReadAll(&text)) {
    std::string kept;
    for (std::string_view line : Lines(text)) {
      if (EqualsNoCase(line, unwanted)) continue;
      kept.append(line).append("\n");
    }
    file.Rewrite(kept);
  }
  file.Close();
  Log(8192, "STARTED file unlocked\n");
}

void TruncateStartedFile() {
  int error = 0;
  platform::ReplaceWholeFile(kStartedName, "", &error);
}
