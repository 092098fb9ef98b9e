// The command line of every process: the option table, the usage text and
// the version texts.
//
//   -p [port]  TCP phase on; port by strtoul base 0, truncated to 16 bits
//   -c         skip the stdio phase          -l [name]  log file name
//   -v[sel]    print a version text, exit 1  -V mask    verbosity mask
//   -s [text]  ready signal requested        -z         no idle exit
//   -g         gather statistics             -f         first run
//   -o cmd     one-shot command              -O file    one-shot output
//   -u         no uniqueness                 -r         crash recovery
//   -b kbytes  log size limit                -h -? -S and unknown: usage, exit 1
#pragma once
#include <cstdio>

struct MonitorServer;
struct ProcessGlobals;

constexpr const char* kOptionString = ":p::cl::v::V:h?s::zgfS::o:O:urb:";
constexpr const char* kVersionText = "9.50.0.1";
constexpr const char* kVersionTextShort = "9.50.0f1";
constexpr unsigned long kBuildNumber = 186679297;

// Copies the words into server.options.arguments, derives configDirectory, then
// scans the options into `server` and `globals`. Returns 0 to go on, or the
// exit code (1) after printing usage or a version text to `out`.
int ScanCommandLine(int argc, char* const* argv, MonitorServer& server, ProcessGlobals& globals,
                    FILE* out = stdout, FILE* errors = stderr);

// The usage text, with `program` in its first line.
void PrintUsage(FILE* out, const char* program);
// The version text chosen by the first character of `selector` (may be null).
void PrintVersion(FILE* out, const char* selector);
