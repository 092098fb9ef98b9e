#include "runtime/process_globals.h"

ProcessGlobals& Globals() {
  static ProcessGlobals* globals = new ProcessGlobals;
  return *globals;
}

std::string DirectoryOf(const std::string& path) {
  std::string p = (!path.empty() && path[0] == '"') ? path.substr(1) : path;
  size_t cut = p.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

std::string ApplicationNameOf(const std::string& word) {
  if (word.empty()) return "UNKNOWN";
  size_t cut = word.find_last_of("/\\");
  return cut == std::string::npos ? word : word.substr(cut + 1);
}
