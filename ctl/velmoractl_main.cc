// velmoractl: the collector's control tool for people and scripts.
#include <cstdio>
#include <string>

#include "ctl/ctl_commands.h"
#include "ctl/ctl_options.h"
#include "runtime/command_line.h"

int main(int argc, char** argv) {
  CtlOptions options;
  std::string error;
  if (!ParseCtlArguments(argc, argv, &options, &error)) {
    fprintf(stderr, "velmoractl: %s\n", error.c_str());
    PrintCtlUsage(stderr);
    return kExitUsage;
  }
  if (options.command == CtlCommand::kHelp) {
    PrintCtlUsage(stdout);
    return kExitOk;
  }
  if (options.command == CtlCommand::kVersion) {
    printf("velmoractl %s\n", kVersionText);
    return kExitOk;
  }
  return RunCtlCommand(options, stdout, stderr);
}
