#include "collector/launch_command.h"

#include <cstdlib>

#include "platform/whole_file.h"
#include "runtime/provider_con.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

LaunchCommand BuildLaunchCommand(const std::string& providerPath, const char* name, int port,
                                 const ProviderLaunchData& data, bool firstStart) {
  LaunchCommand command;
  std::string executable = name ? name : "";
  std::string shown;
  if (!providerPath.empty()) {
    shown = platform::JoinPath(providerPath, executable);
    command.application = shown;
  } else {
    shown = executable;
    command.application = executable.find('/') == std::string::npos ? "./" + executable : executable;
  }
  std::string& line = command.commandLine;
  line = "\"" + shown + "\" -p " + std::to_string(port) + " -c -s";
  if (data.crashRecovery)
    line += " -r";
  else if (firstStart)
    line += " -f";
  if (data.verbosity[0] != '\0') line += std::string(" -V") + data.verbosity;
  if (data.logto[0] != '\0') line += std::string(" -l") + data.logto;
  if (data.stats) line += " -g";
  if (data.noidle) line += " -z";
  if (data.logsize[0] != '\0' && atoi(data.logsize) > 0) line += std::string(" -b") + data.logsize;
  return command;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  size_t i = 0;
  const size_t n = commandLine.size();
  // The program name.
  std::string first;
  if (i < n && commandLine[i] == '"') {
    ++i;
    while (i < n && commandLine[i] != '"') first += commandLine[i++];
    if (i < n) ++i;
  } else {
    while (i < n && !IsBlank(commandLine[i])) first += commandLine[i++];
  }
  words.push_back(first);
  for (;;) {
    while (i < n && IsBlank(commandLine[i])) ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(commandLine[i]))) {
      char c = commandLine[i];
      if (c == '\\') {
        size_t slashes = 0;
        while (i < n && commandLine[i] == '\\') ++slashes, ++i;
        if (i < n && commandLine[i] == '"') {
          word.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            word += '"';
            ++i;
          }
        } else {
          word.append(slashes, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
          word += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        word += c;
        ++i;
      }
    }
    words.push_back(word);
  }
  return words;
}
