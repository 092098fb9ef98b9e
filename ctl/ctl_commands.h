// The commands of velmoractl: each talks to the collector through a
// CollectorClient, writes its result to `out` and its complaints to `err`,
// and returns the exit code (ctl_options.h).
#pragma once
#include <cstdio>

#include "ctl/ctl_options.h"

int RunCtlCommand(const CtlOptions& options, FILE* out, FILE* err);
