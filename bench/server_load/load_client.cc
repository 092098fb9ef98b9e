// A closed-loop load client: N workers, each opening one connection per
// request (connect, send, read until the server closes), for a fixed time.
// Prints requests per second and latency percentiles (connect to close, in
// microseconds).
//
//   bench_load_client PORT PATH CONCURRENCY SECONDS LABEL
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One request; its latency in microseconds, or -1 on failure.
long OneRequest(uint16_t port, const std::string& request) {
  auto start = Clock::now();
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  long result = -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    size_t total = 0;
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) total += static_cast<size_t>(n);
    if (n == 0 && total > 0)
      result = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  }
  close(fd);
  return result;
}

long Percentile(const std::vector<long>& sorted, double p) {
  if (sorted.empty()) return 0;
  size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    fprintf(stderr, "usage: %s PORT PATH CONCURRENCY SECONDS LABEL\n", argv[0]);
    return 2;
  }
  const uint16_t port = static_cast<uint16_t>(atoi(argv[1]));
  // A protocol version our servers ignore and nginx needs for a real answer.
  const std::string request = std::string("GET ") + argv[2] + " HTTP/1.0\r\n\r\n";
  const int concurrency = atoi(argv[3]);
  const double seconds = atof(argv[4]);
  const char* label = argv[5];

  std::atomic<bool> stop{false};
  std::vector<std::vector<long>> latencies(static_cast<size_t>(concurrency));
  std::vector<long> failures(static_cast<size_t>(concurrency), 0);
  std::vector<std::thread> workers;
  auto started = Clock::now();
  for (int w = 0; w < concurrency; ++w)
    workers.emplace_back([&, w] {
      auto& mine = latencies[static_cast<size_t>(w)];
      mine.reserve(1 << 16);
      while (!stop.load(std::memory_order_relaxed)) {
        long us = OneRequest(port, request);
        if (us < 0)
          ++failures[static_cast<size_t>(w)];
        else
          mine.push_back(us);
      }
    });
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& t : workers) t.join();
  double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

  std::vector<long> all;
  long failed = 0;
  for (size_t w = 0; w < latencies.size(); ++w) {
    all.insert(all.end(), latencies[w].begin(), latencies[w].end());
    failed += failures[w];
  }
  std::sort(all.begin(), all.end());
  printf("%-14s c=%-3d %9.0f req/s  p50 %6ld  p90 %6ld  p99 %6ld  p99.9 %6ld us  (%zu ok, %ld failed)\n", label,
         concurrency, static_cast<double>(all.size()) / elapsed, Percentile(all, 50), Percentile(all, 90),
         Percentile(all, 99), Percentile(all, 99.9), all.size(), failed);
  return 0;
}
