// Cold launch: this process plays the collector and measures how long a
// request for a stopped provider takes to its first byte, the provider
// being launched on the way; then the same request to the running provider.
//
//   bench_cold_launch BIN_DIR     (inside a network namespace of its own)
//
// demo_provider is copied from BIN_DIR into a temporary folder that becomes
// the working directory. Each of the 50 rounds posts "/shutdown", waits
// until the process has exited, then times GET "/demo/hello" through the
// document client (streaming, start-on-failure) from the call to the first
// byte written to the output channel.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "collector/process_control.h"
#include "collector/provider_launch.h"
#include "collector/started_file.h"
#include "runtime/io_base.h"
#include "runtime/log.h"
#include "runtime/process_globals.h"
#include "runtime/provider_con.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kProvider[] = "demo_provider";
constexpr uint32_t kPort = 21601;
constexpr int kColdRounds = 50;
constexpr int kWarmRequests = 1000;

// Notes the moment of the first byte written to it; drops the bytes.
class FirstByteChannel : public IOBase {
 public:
  FirstByteChannel() : IOBase(kTypeSocket) {}
  const char* PeerName() override { return "bench"; }
  long Write(const void*, size_t length) override {
    if (!written_) {
      first_ = Clock::now();
      written_ = true;
    }
    CountWritten(static_cast<long>(length));
    return static_cast<long>(length);
  }
  long Read(void*, long) override { return 0; }
  long ReadLine(char*, long) override { return 0; }
  bool Written() const { return written_; }
  Clock::time_point First() const { return first_; }

 private:
  bool written_ = false;
  Clock::time_point first_;
};

// Microseconds from the call to the first byte; -1 on failure.
long TimedHello() {
  CProviderCon con;
  con.SetMode(CProviderCon::kModeSocket);
  con.SetName(kProvider);
  con.SetPort(kPort);
  con.SetVerb("get");
  FirstByteChannel out;
  Clock::time_point start = Clock::now();
  int status = con.requestDocument("/demo/hello", &out, "", true, 30);
  if (status != 200 || !out.Written()) return -1;
  return std::chrono::duration_cast<std::chrono::microseconds>(out.First() - start).count();
}

// The process id of our child running the provider, or 0.
uint32_t ProviderPid() {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    uint32_t pid = static_cast<uint32_t>(std::stoul(name));
    if (GetParentProcessId(pid) != static_cast<uint32_t>(getpid())) continue;
    std::FILE* comm = std::fopen(("/proc/" + name + "/comm").c_str(), "r");
    char text[64] = "";
    if (comm == nullptr) continue;
    bool match = std::fgets(text, sizeof text, comm) != nullptr && std::string(text) == std::string(kProvider) + "\n";
    std::fclose(comm);
    if (match) return pid;
  }
  return 0;
}

// Asks the provider to shut down and waits until its process has exited.
bool StopProvider() {
  uint32_t pid = ProviderPid();
  if (pid == 0) return false;
  CProviderCon con;
  con.SetMode(CProviderCon::kModeSocket);
  con.SetName(kProvider);
  con.SetPort(kPort);
  con.SetVerb("post");
  con.requestDocument("/shutdown", "", false, 10);
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
  while (!ProcessHasExited(pid, false)) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

double Percentile(std::vector<long> values, double p) {
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(values.size() - 1) + 0.5);
  return static_cast<double>(values[std::min(index, values.size() - 1)]) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s BIN_DIR\n", argv[0]);
    return 2;
  }
  fs::path work = fs::temp_directory_path() / ("velmora-cold-launch." + std::to_string(getpid()));
  fs::create_directories(work);
  fs::copy_file(fs::path(argv[1]) / kProvider, work / kProvider, fs::copy_options::overwrite_existing);
  if (chdir(work.c_str()) != 0) return 1;
  LogOpen((work / "bench.log").c_str(), 1u << 30);
  Globals().firstStartFunction = CheckFirstStart;
  InstallProviderLaunch();

  int result = 0;
  std::vector<long> cold, warm;
  if (TimedHello() < 0) {  // the first start of all (with -f)
    std::fprintf(stderr, "the provider did not start\n");
    result = 1;
  }
  for (int i = 0; i < kColdRounds && result == 0; ++i) {
    long us = StopProvider() ? TimedHello() : -1;
    if (us < 0) {
      std::fprintf(stderr, "cold round %d failed\n", i);
      result = 1;
    }
    cold.push_back(us);
  }
  for (int i = 0; i < kWarmRequests && result == 0; ++i) {
    long us = TimedHello();
    if (us < 0) {
      std::fprintf(stderr, "warm request %d failed\n", i);
      result = 1;
    }
    warm.push_back(us);
  }
  if (result == 0) {
    double coldP50 = Percentile(cold, 50), warmP50 = Percentile(warm, 50);
    std::printf("cold launch to first byte (%d rounds): p50 %.2f ms  p90 %.2f ms  max %.2f ms\n", kColdRounds,
                coldP50, Percentile(cold, 90), Percentile(cold, 100));
    std::printf("warm request to first byte (%d requests): p50 %.3f ms\n", kWarmRequests, warmP50);
    std::printf("ratio cold p50 / warm p50: %.1f\n", warmP50 > 0 ? coldP50 / warmP50 : 0.0);
  }
  StopProvider();
  std::error_code ignored;
  fs::remove_all(work, ignored);
  return result;
}
