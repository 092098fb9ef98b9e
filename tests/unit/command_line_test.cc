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
  EXPECT_EQ(s.server.sockets.port, 0);
  EXPECT_EQ(s.server.idle.idleTimeoutSeconds.load(), 90u);
  EXPECT_TRUE(s.server.options.uniquenessRequested);
  EXPECT_TRUE(s.server.heartbeat.heartbeatEnabled);
  EXPECT_EQ(s.server.options.configDirectory, "/opt/x/");
  EXPECT_EQ(s.server.options.arguments, std::vector<std::string>{"/opt/x/prov"});
  EXPECT_EQ(s.globals.logFileName[0], '\0');
}

TEST(CommandLine, GroupedLettersAndArgumentForms) {
  Scan grouped({"p", "-cz"});
  EXPECT_EQ(grouped.server.options.skipStdioPhase, 1u);
  EXPECT_EQ(grouped.server.idle.idleTimeoutSeconds.load(), 0u);

  for (auto words : std::vector<std::vector<std::string>>{
           {"p", "-p", "1234"}, {"p", "-p1234"}, {"p", "/p", "1234"}}) {
    Scan s(words);
    EXPECT_EQ(s.rc, 0);
    EXPECT_EQ(s.server.options.tcpPhaseEnabled, 1u) << words[1];
    EXPECT_EQ(s.server.sockets.port, 1234) << words[1];
  }

  Scan alone({"p", "-p"});
  EXPECT_EQ(alone.server.options.tcpPhaseEnabled, 1u);
  EXPECT_EQ(alone.server.sockets.port, 0);

  EXPECT_EQ(Scan({"p", "-p", "70000"}).server.sockets.port, 4464);  // truncated to 16 bits
  EXPECT_EQ(Scan({"p", "-p", "0x50"}).server.sockets.port, 80);
  EXPECT_EQ(Scan({"p", "-p", "010"}).server.sockets.port, 8);  // octal
}

TEST(CommandLine, NumericOptions) {
  uint32_t saved = VerbosityMask();
  Scan mask({"p", "-V", "0x1F"});
  EXPECT_EQ(VerbosityMask(), 31u);
  SetVerbosityMask(saved);

  Scan limit({"p", "-b", "10"});
  EXPECT_EQ(limit.globals.logSizeLimit, 10240u);
}

TEST(CommandLine, OptionalArgumentsTakeOnlyNonOptionWords) {
  Scan s({"p", "-s", "foo", "-p", "-c"});
  EXPECT_TRUE(s.server.options.readySignalRequested);
  EXPECT_EQ(s.server.options.readySignalArgument, "foo");
  EXPECT_EQ(s.server.options.tcpPhaseEnabled, 1u);
  EXPECT_EQ(s.server.sockets.port, 0);
  EXPECT_EQ(s.server.options.skipStdioPhase, 1u);

  Scan log({"p", "-l", "x.log", "-g"});
  EXPECT_STREQ(log.globals.logFileName, "x.log");
  EXPECT_TRUE(log.server.options.gatherStats);

  Scan emptyLog({"p", "-l", "-u"});
  EXPECT_STREQ(emptyLog.globals.logFileName, "");
  EXPECT_FALSE(emptyLog.server.options.uniquenessRequested);

  Scan longName({"p", "-l" + std::string(150, 'n')});
  EXPECT_EQ(std::string(longName.globals.logFileName), std::string(99, 'n'));

  Scan oneShot({"p", "-o", "GET /status", "-O", "out.txt", "-f", "-r"});
  EXPECT_EQ(oneShot.server.options.oneShotRequested, 1u);
  EXPECT_EQ(oneShot.server.options.oneShotCommand, "GET /status");
  EXPECT_EQ(oneShot.server.options.oneShotOutputRequested, 1u);
  EXPECT_EQ(oneShot.server.options.oneShotOutputFile, "out.txt");
  EXPECT_EQ(oneShot.server.options.firstRun, 1u);
  EXPECT_EQ(oneShot.server.options.crashRecovery, 1u);
}

TEST(CommandLine, ScanEndsAtDashesAndWords) {
  Scan dash({"p", "-", "-c"});
  EXPECT_EQ(dash.rc, 0);
  EXPECT_EQ(dash.server.options.skipStdioPhase, 0u);
  Scan dashes({"p", "--", "-c"});
  EXPECT_EQ(dashes.server.options.skipStdioPhase, 0u);
  Scan word({"p", "-z", "word", "-c"});
  EXPECT_EQ(word.server.idle.idleTimeoutSeconds.load(), 0u);
  EXPECT_EQ(word.server.options.skipStdioPhase, 0u);

  // The scanner itself: "--" is consumed, a plain word is not.
  std::vector<std::string> words{"p", "--", "x"};
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  OptionScanner scanner(3, argv.data(), kOptionString);
  EXPECT_EQ(scanner.Next(), -1);
  EXPECT_EQ(scanner.Index(), 2);
  words = {"p", "x"};
  argv = {words[0].data(), words[1].data()};
  OptionScanner plain(2, argv.data(), kOptionString);
  EXPECT_EQ(plain.Next(), -1);
  EXPECT_EQ(plain.Index(), 1);
}

TEST(CommandLine, UsageForUnknownLettersAndMissingArguments) {
  for (auto words : std::vector<std::vector<std::string>>{
           {"prog", "-d", "x"}, {"prog", "-x"}, {"prog", "-:"}, {"prog", "-h"}, {"prog", "-?"},
           {"prog", "-S"}, {"prog", "-c", "/q"}}) {
    Scan s(words);
    EXPECT_EQ(s.rc, 1) << words[1];
    EXPECT_EQ(s.out.rfind("usage: prog [options]\n", 0), 0u) << words[1];
    EXPECT_EQ(s.err, "") << words[1];
  }
  Scan missing({"prog", "-V"});
  EXPECT_EQ(missing.rc, 1);
  EXPECT_EQ(missing.err, "ERROR: expected an argument after parameter 'V'\n");
  EXPECT_EQ(missing.out.rfind("usage: prog", 0), 0u);
  // A following option word is not taken as the required argument.
  Scan next({"prog", "-o", "-c"});
  EXPECT_EQ(next.rc, 1);
  EXPECT_EQ(next.err, "ERROR: expected an argument after parameter 'o'\n");
}

TEST(CommandLine, VersionSelectors) {
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
