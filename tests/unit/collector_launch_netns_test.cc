// Provider launch on demand, with this test playing the collector (it runs
// in a network namespace of its own, so the providers' fixed ports and
// ready names are private to it). The sample providers are copied into a
// folder of the test's own, which becomes the working directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "collector/provider_launch.h"
#include "collector/started_file.h"
#include "platform/process.h"
#include "runtime/process_globals.h"
#include "runtime/provider_con.h"
#include "tests/support/log_to_temp_dir.h"

namespace fs = std::filesystem;

namespace {

LogToTempDir* logDir = static_cast<LogToTempDir*>(
    ::testing::AddGlobalTestEnvironment(new LogToTempDir("velmora-launch-")));

// Our children named `name`: (pid, state letter).
std::vector<std::pair<long, char>> Children(const std::string& name) {
  std::vector<std::pair<long, char>> found;
  for (auto& entry : fs::directory_iterator("/proc")) {
    std::string file = entry.path().filename();
    if (file.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat = ReadFile(entry.path() / "stat");
    size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || stat.substr(open + 1, close - open - 1) != name)
      continue;
    char state = 0;
    long parent = 0;
    if (sscanf(stat.c_str() + close + 1, " %c %ld", &state, &parent) == 2 && parent == getpid())
      found.emplace_back(std::stol(file), state);
  }
  return found;
}

int Request(const char* name, uint32_t port, const char* uri, bool start, const char* verb = "get") {
  CProviderCon con;
  con.SetMode(CProviderCon::kModeSocket);
  con.SetName(name);
  con.SetPort(port);
  con.SetVerb(verb);
  return con.requestDocument(uri, "", start, 30);
}

void StopProvider(const char* name, uint32_t port) {
  Request(name, port, "/shutdown", false, "post");
  EXPECT_TRUE(WaitFor([&] { return Children(name).empty(); })) << name;
}

class Launch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::path bin = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
    fs::path dir = fs::path(logDir->Dir()) / "providers";
    fs::create_directories(dir);
    for (const char* exe : {"ticker_provider", "demo_provider"}) fs::copy_file(bin / exe, dir / exe);
    std::ofstream(dir / "plain_provider") << "not a program";
    ASSERT_EQ(chdir(dir.c_str()), 0);
    Globals().firstStartFunction = CheckFirstStart;
    InstallProviderLaunch();
  }
};

TEST_F(Launch, StartsOnDemandRelaunchesWithoutFirstRun) {
  // Its index reply filling the map and routing: test_routing.
  ASSERT_EQ(Request("ticker_provider", 21602, "/index?collectorrequest=1", true), 200);
  EXPECT_TRUE(logDir->Logged("cmdLine(\"ticker_provider\" -p 21602 -c -s -f)\n"));
  EXPECT_TRUE(logDir->Logged("ticker_provider took 0 seconds to startup\n"));

  StopProvider("ticker_provider", 21602);
  EXPECT_EQ(Request("ticker_provider", 21602, "/ticker", true), 200);
  EXPECT_TRUE(logDir->Logged("cmdLine(\"ticker_provider\" -p 21602 -c -s)\n"));
  EXPECT_EQ(ReadFile("started.col"), "ticker_provider\n");
  StopProvider("ticker_provider", 21602);
}

TEST_F(Launch, NonExecutableFailsAtOnce) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Request("plain_provider", 21650, "/index", true), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(Launch, TwoAtOnceLeaveOneProvider) {
  int status[2] = {0, 0};
  std::thread first([&] { status[0] = Request("demo_provider", 21601, "/demo/hello", true); });
  std::thread second([&] { status[1] = Request("demo_provider", 21601, "/demo/hello", true); });
  first.join();
  second.join();
  EXPECT_EQ(status[0], 200);
  EXPECT_EQ(status[1], 200);
  EXPECT_TRUE(WaitFor([] { return Children("demo_provider").size() == 1; }));  // the other one reaped
  EXPECT_EQ(Children("demo_provider")[0].second != 'Z', true);
  std::string started = ReadFile("started.col");
  EXPECT_EQ(started.find("demo_provider\n"), started.rfind("demo_provider\n"));
  EXPECT_NE(started.find("demo_provider\n"), std::string::npos);
  StopProvider("demo_provider", 21601);
}

}  // namespace
