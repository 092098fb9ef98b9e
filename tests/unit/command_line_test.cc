// Option scanning into the server record.
#include "runtime/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/option_scanner.h"
#include "runtime/process_globals.h"

namespace {

// Scans `words` (the first is the program) into fresh records and keeps
// what was printed.
struct Scan {
  MonitorServer server;
  ProcessGlobals globals;
  int rc = 0;
  std::string out, err;

  explicit Scan(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    FILE *o = tmpfile(), *e = tmpfile();
    rc = ScanCommandLine(static_cast<int>(argv.size()), argv.data(), server, globals, o, e);
    out = Slurp(o);
    err = Slurp(e);
  }
  static std::string Slurp(FILE* f) {
    std::string s;
    rewind(f);
    for (int c; (c = fgetc(f)) != EOF;) s += static_cast<char>(c);
    fclose(f);
    return s;
  }
};

TEST(CommandLine, DefaultsWithoutOptions) {
  Scan s({"/opt/x/prov"});
  EXPECT_EQ(std::make_tuple(s.rc, s.server.options.tcpPhaseEnabled, s.server.idle.idleTimeoutSeconds.load()),
            std::make_tuple(0, false, 90u));
  EXPECT_TRUE(s.server.options.uniquenessRequested && s.server.heartbeat.heartbeatEnabled);
  EXPECT_EQ(s.server.options.configDirectory, "/opt/x/");
  EXPECT_EQ(s.server.options.arguments, std::vector<std::string>{"/opt/x/prov"});
  EXPECT_EQ(s.globals.logFileName[0], '\0');
}

TEST(CommandLine, PortForms) {
  struct Case {
    std::vector<std::string> words;
    int port;
  } cases[] = {
      {{"p", "-p", "1234"}, 1234}, {{"p", "-p1234"}, 1234}, {{"p", "/p", "1234"}, 1234},
      {{"p", "-p"}, 0},            {{"p", "-p", "70000"}, 4464},  // truncated to 16 bits
      {{"p", "-p", "0x50"}, 80},   {{"p", "-p", "010"}, 8},                                // octal
  };
  for (const Case& c : cases) {
    Scan s(c.words);
    EXPECT_EQ(std::make_tuple(s.rc, s.server.options.tcpPhaseEnabled, int{s.server.sockets.port}),
              std::make_tuple(0, true, c.port))
        << c.words.back();
  }
}

// Optional arguments take only non-option words; grouped letters; the scan
// ends at "-", "--" and the first plain word.
TEST(CommandLine, FlagsArgumentsAndTheEndOfTheScan) {
  Scan grouped({"p", "-cz", "-s", "foo", "-p", "-g", "-u", "-l", "-f", "-r"});
  const auto& o = grouped.server.options;
  EXPECT_EQ(std::make_tuple(o.skipStdioPhase, grouped.server.idle.idleTimeoutSeconds.load(), o.firstRun,
                            o.crashRecovery, int{grouped.server.sockets.port}),
            std::make_tuple(true, 0u, true, true, 0));
  EXPECT_TRUE(o.readySignalRequested && o.gatherStats && !o.uniquenessRequested);
  EXPECT_EQ(o.readySignalArgument + "|" + grouped.globals.logFileName, "foo|");

  EXPECT_STREQ(Scan({"p", "-l", "x.log"}).globals.logFileName, "x.log");
  EXPECT_EQ(std::string(Scan({"p", "-l" + std::string(150, 'n')}).globals.logFileName), std::string(99, 'n'));
  EXPECT_EQ(Scan({"p", "-b", "10"}).globals.logSizeLimit, 10240u);
  uint32_t saved = VerbosityMask();
  Scan({"p", "-V", "0x1F"});
  EXPECT_EQ(VerbosityMask(), 31u);
  SetVerbosityMask(saved);

  Scan oneShot({"p", "-o", "GET /status", "-O", "out.txt"});
  const auto& one = oneShot.server.options;
  EXPECT_EQ(std::make_tuple(one.oneShotRequested, one.oneShotCommand, one.oneShotOutputRequested,
                            one.oneShotOutputFile),
            std::make_tuple(true, std::string("GET /status"), true, std::string("out.txt")));

  for (auto words :
       std::vector<std::vector<std::string>>{{"p", "-", "-c"}, {"p", "--", "-c"}, {"p", "-z", "w", "-c"}}) {
    Scan s(words);
    EXPECT_EQ(std::make_pair(s.rc, s.server.options.skipStdioPhase), std::make_pair(0, false)) << words[1];
  }
  // The scanner itself: "--" is consumed, a plain word is not.
  std::vector<std::string> words{"p", "--", "x"};
  std::vector<char*> argv{words[0].data(), words[1].data(), words[2].data()};
  OptionScanner dashes(3, argv.data(), kOptionString);
  EXPECT_EQ(dashes.Next(), -1);
  EXPECT_EQ(dashes.Index(), 2);
  OptionScanner plain(2, argv.data() + 1, kOptionString);  // "--" as the program, then "x"
  EXPECT_EQ(plain.Next(), -1);
  EXPECT_EQ(plain.Index(), 1);
}

TEST(CommandLine, UsageVersionsAndMissingArguments) {
  for (auto words : std::vector<std::vector<std::string>>{
           {"prog", "-d", "x"}, {"prog", "-x"}, {"prog", "-:"}, {"prog", "-h"}, {"prog", "-?"},
           {"prog", "-S"}, {"prog", "-c", "/q"}}) {
    Scan s(words);
    EXPECT_EQ(std::make_tuple(s.rc, s.out.rfind("usage: prog [options]\n", 0), s.err),
              std::make_tuple(1, size_t{0}, std::string()))
        << words[1];
  }
  // At the end, and before an option word (not taken as the argument).
  for (auto words : std::vector<std::vector<std::string>>{{"prog", "-V"}, {"prog", "-o", "-c"}}) {
    Scan missing(words);
    EXPECT_EQ(missing.err, "ERROR: expected an argument after parameter '" + words[1].substr(1) + "'\n");
    EXPECT_EQ(std::make_pair(missing.rc, missing.out.rfind("usage: prog", 0)), std::make_pair(1, size_t{0}));
  }
  EXPECT_EQ(Scan({"p", "-v2"}).out + Scan({"p", "-v0"}).out + Scan({"p", "-v1"}).out + Scan({"p", "-v", "2"}).out,
            "9.50.0.1\n9.50.0f1\n186679297\n9.50.0.1\n");
  Scan full({"p", "-v9"});
  EXPECT_EQ(full.rc, 1);
  EXPECT_EQ(full.out.rfind("9.50.0.1\n", 0), 0u);
}

TEST(ProcessGlobals, NamesFromPaths) {
  EXPECT_EQ(DirectoryOf("/opt/velmora/bin/prov") + "|" + DirectoryOf("\"/a/b") + "|" + DirectoryOf("prov"),
            "/opt/velmora/bin/|/a/|");
  EXPECT_EQ(ApplicationNameOf("/opt/velmora/prov.exe") + "|" + ApplicationNameOf("prov") + "|" + ApplicationNameOf(""),
            "prov.exe|prov|UNKNOWN");
}

}  // namespace
