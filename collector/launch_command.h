// The text of a provider's launch command and its split into arguments.
//
// The command line is built as text first (it is logged, and it is what a
// provider started by hand would be given), then split into argument words
// by the Windows quoting rules, so that both ends read it the same way.
#pragma once
#include <string>
#include <vector>

struct ProviderLaunchData;

struct LaunchCommand {
  std::string commandLine;  // e.g. "\"/d/p/a\" -p 6000 -c -s -f"
  std::string application;  // the file to execute, e.g. "/d/p/a" or "./a"
};

// Builds the command for `name` on `port`. `providerPath` is the value of
// ENV_PROVIDER_PATH (empty when unset): the executable is looked for there;
// otherwise in the working directory ("./name" for a bare name, never a
// PATH search). Options follow in this order, each only when it applies:
// " -r" (crash recovery) or else " -f" (first start), " -V<verbosity>",
// " -l<logto>", " -g", " -z", " -b<logsize>" (only when its value is above 0).
LaunchCommand BuildLaunchCommand(const std::string& providerPath, const char* name, int port,
                                 const ProviderLaunchData& data, bool firstStart);

// Splits a command line into argument words by the Windows rules. The first
// word is the program name: up to the next blank, or between quotes when it
// starts with one; backslashes in it are literal. In the others blanks
// (space, tab) separate words outside quotes; quotes open and close quoted
// runs; 2n backslashes before a quote give n backslashes and the quote acts,
// 2n+1 give n backslashes and a literal quote; backslashes elsewhere are
// literal; inside a quoted run two quotes give one literal quote.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
