#include "ctl/ctl_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(const std::vector<const char*>& words, CtlOptions* options, std::string* error = nullptr) {
  std::vector<const char*> argv{"velmoractl"};
  argv.insert(argv.end(), words.begin(), words.end());
  std::string ignored;
  return ParseCtlArguments(static_cast<int>(argv.size()), argv.data(), options, error ? error : &ignored);
}

TEST(CtlOptions, CommandsAndOptionsInAnyOrder) {
  CtlOptions o;
  ASSERT_TRUE(Parse({"stop", "ticker_provider", "-p", "21600", "-t", "2"}, &o));
  EXPECT_EQ(o.command, CtlCommand::kStop);
  EXPECT_EQ(o.argument, "ticker_provider");
  EXPECT_EQ(o.port, 21600);
  EXPECT_EQ(o.timeoutSeconds, 2);

  ASSERT_TRUE(Parse({"-v", "get", "/demo/big?mb=1"}, &o));
  EXPECT_EQ(o.command, CtlCommand::kGet);
  EXPECT_EQ(o.argument, "/demo/big?mb=1");
  EXPECT_TRUE(o.verbose);
  EXPECT_EQ(o.port, kDefaultCollectorPort);  // nothing carries over from the last parse
  EXPECT_EQ(o.timeoutSeconds, kDefaultTimeoutSeconds);

  ASSERT_TRUE(Parse({"--providers", "stats"}, &o));
  EXPECT_TRUE(o.providers);
  ASSERT_TRUE(Parse({"reload", "--registrations"}, &o));
  EXPECT_TRUE(o.registrations);
  // Help and version win over anything wrong on the same line.
  ASSERT_TRUE(Parse({"bogus", "-p", "1", "--help"}, &o));
  EXPECT_EQ(o.command, CtlCommand::kHelp);
  ASSERT_TRUE(Parse({"--version", "status", "x"}, &o));
  EXPECT_EQ(o.command, CtlCommand::kVersion);
}

TEST(CtlOptions, UsageErrors) {
  CtlOptions o;
  std::string error;
  // No command, an unknown one, too many or too few words, a relative path,
  // option values missing, out of range or with trailing text, a zero
  // time-out (it would never wait), another command's flag, unknown options.
  for (const auto& words : std::vector<std::vector<const char*>>{
           {}, {"statuses"}, {"status", "extra"}, {"start"}, {"get", "demo/hello"}, {"-p"},
           {"-p", "65536", "status"}, {"-p", "0", "status"}, {"-p", "21584x", "status"}, {"-t", "0", "status"},
           {"-t", "-1", "status"}, {"--providers", "status"}, {"--registrations", "stats"}, {"-x", "status"}}) {
    error.clear();
    EXPECT_FALSE(Parse(words, &o, &error)) << (words.empty() ? "(none)" : words[0]);
    EXPECT_FALSE(error.empty());
  }
  EXPECT_TRUE(Parse({"-p", "65535", "-t", "3600", "status"}, &o));
}

}  // namespace
