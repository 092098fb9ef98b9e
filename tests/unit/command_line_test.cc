// Option scanning into the server record.
#include "runtime/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
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
    FILE* o = tmpfile();
    FILE* e = tmpfile();
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
  EXPECT_EQ(s.rc, 0);
  EXPECT_EQ(s.server.options.tcpPhaseEnabled, 0u);
  EXPECT_EQ(s.server.idle.idleTimeoutSeconds.load(), 90u);
  EXPECT_TRUE(s.server.options.uniquenessRequested);
  EXPECT_TRUE(s.server.heartbeat.heartbeatEnabled);
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
    EXPECT_EQ(s.rc, 0);
    EXPECT_EQ(s.server.options.tcpPhaseEnabled, 1u) << c.words.back();
    EXPECT_EQ(s.server.sockets.port, c.port) << c.words.back();
  }
}

// Optional arguments take only non-option words; grouped letters; the scan
// ends at "-", "--" and the first plain word.
TEST(CommandLine, FlagsArgumentsAndTheEndOfTheScan) {
  Scan grouped({"p", "-cz", "-s", "foo", "-p", "-g", "-u", "-l", "-f", "-r"});
  EXPECT_EQ(grouped.server.options.skipStdioPhase, 1u);
  EXPECT_EQ(grouped.server.idle.idleTimeoutSeconds.load(), 0u);
  EXPECT_TRUE(grouped.server.options.readySignalRequested);
  EXPECT_EQ(grouped.server.options.readySignalArgument, "foo");
  EXPECT_TRUE(grouped.server.options.gatherStats);
  EXPECT_FALSE(grouped.server.options.uniquenessRequested);
  EXPECT_EQ(grouped.server.options.firstRun, 1u);
  EXPECT_EQ(grouped.server.options.crashRecovery, 1u);
  EXPECT_EQ(grouped.server.sockets.port, 0);
  EXPECT_STREQ(grouped.globals.logFileName, "");

  EXPECT_STREQ(Scan({"p", "-l", "x.log"}).globals.logFileName, "x.log");
  EXPECT_EQ(std::string(Scan({"p", "-l" + std::string(150, 'n')}).globals.logFileName), std::string(99, 'n'));
  EXPECT_EQ(Scan({"p", "-b", "10"}).globals.logSizeLimit, 10240u);
  uint32_t saved = VerbosityMask();
  Scan({"p", "-V", "0x1F"});
  EXPECT_EQ(VerbosityMask(), 31u);
  SetVerbosityMask(saved);

  Scan oneShot({"p", "-o", "GET /status", "-O", "out.txt"});
  EXPECT_EQ(oneShot.server.options.oneShotRequested, 1u);
  EXPECT_EQ(oneShot.server.options.oneShotCommand, "GET /status");
  EXPECT_EQ(oneShot.server.options.oneShotOutputRequested, 1u);
  EXPECT_EQ(oneShot.server.options.oneShotOutputFile, "out.txt");

  for (auto words :
       std::vector<std::vector<std::string>>{{"p", "-", "-c"}, {"p", "--", "-c"}, {"p", "-z", "w", "-c"}}) {
    Scan s(words);
    EXPECT_EQ(s.rc, 0);
    EXPECT_EQ(s.server.options.skipStdioPhase, 0u) << words[1];
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
    EXPECT_EQ(s.rc, 1) << words[1];
    EXPECT_EQ(s.out.rfind("usage: prog [options]\n", 0), 0u) << words[1];
    EXPECT_EQ(s.err, "") << words[1];
  }
  // At the end, and before an option word (not taken as the argument).
  for (auto words : std::vector<std::vector<std::string>>{{"prog", "-V"}, {"prog", "-o", "-c"}}) {
    Scan missing(words);
    EXPECT_EQ(missing.rc, 1);
    EXPECT_EQ(missing.err, "ERROR: expected an argument after parameter '" + words[1].substr(1) + "'\n");
    EXPECT_EQ(missing.out.rfind("usage: prog", 0), 0u);
  }
  EXPECT_EQ(Scan({"p", "-v2"}).out, "9.50.0.1\n");
  EXPECT_EQ(Scan({"p", "-v0"}).out, "9.50.0f1\n");
  EXPECT_EQ(Scan({"p", "-v1"}).out, "186679297\n");
  EXPECT_EQ(Scan({"p", "-v", "2"}).out, "9.50.0.1\n");
  Scan full({"p", "-v9"});
  EXPECT_EQ(full.rc, 1);
  EXPECT_EQ(full.out.rfind("9.50.0.1\n", 0), 0u);
}

TEST(ProcessGlobals, NamesFromPaths) {
  EXPECT_EQ(DirectoryOf("/opt/velmora/bin/prov"), "/opt/velmora/bin/");
  EXPECT_EQ(DirectoryOf("\"/a/b"), "/a/");
  EXPECT_EQ(DirectoryOf("prov"), "");
  EXPECT_EQ(ApplicationNameOf("/opt/velmora/prov.exe"), "prov.exe");
  EXPECT_EQ(ApplicationNameOf("prov"), "prov");
  EXPECT_EQ(ApplicationNameOf(""), "UNKNOWN");
}

}  // namespace
