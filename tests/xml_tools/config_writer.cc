// config_writer: drives a ConfigurationFile from another process for the
// system tests.
//
//   config_writer add FILE PREFIX COUNT
//       COUNT times: OpenWrite(20), set key PREFIX<i> = i, SaveCompact.
//   config_writer hold FILE
//       OpenWrite(1), print "held", keep the file until standard input
//       closes, then SaveCompact and print "saved".
//   config_writer open FILE WAIT
//       OpenWrite(WAIT); print "opened" (exit 0) or "failed" (exit 1).
//
// Exit status 2 on wrong usage or a failed step.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xml/configuration_file.h"

namespace {

int Add(const char* path, const char* prefix, int count) {
  for (int i = 0; i < count; ++i) {
    ConfigurationFile file(nullptr, path);
    if (!file.OpenWrite(20)) {
      fprintf(stderr, "OpenWrite failed at %d\n", i);
      return 2;
    }
    if (!file.GetRoot()) file.NewDocument();
    file.SetKeyNumber(file.GetRoot(), std::string(prefix) + std::to_string(i), static_cast<unsigned long>(i));
    if (!file.SaveCompact()) {
      fprintf(stderr, "SaveCompact failed at %d\n", i);
      return 2;
    }
  }
  return 0;
}

int Hold(const char* path) {
  ConfigurationFile file(nullptr, path);
  if (!file.OpenWrite(1)) return 2;
  printf("held\n");
  fflush(stdout);
  char buffer[256];
  while (fread(buffer, 1, sizeof buffer, stdin) > 0) {
  }
  file.SetKey(file.GetRoot(), "holder", "done");
  bool saved = file.SaveCompact();
  printf(saved ? "saved\n" : "not saved\n");
  return saved ? 0 : 2;
}

int Open(const char* path, int wait) {
  ConfigurationFile file(nullptr, path);
  bool opened = file.OpenWrite(wait);
  printf(opened ? "opened\n" : "failed\n");
  return opened ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && strcmp(argv[1], "add") == 0) return Add(argv[2], argv[3], atoi(argv[4]));
  if (argc == 3 && strcmp(argv[1], "hold") == 0) return Hold(argv[2]);
  if (argc == 4 && strcmp(argv[1], "open") == 0) return Open(argv[2], atoi(argv[3]));
  fprintf(stderr, "usage: config_writer add FILE PREFIX COUNT | hold FILE | open FILE WAIT\n");
  return 2;
}
