// bench_cookies: creating async cookies when they all fall in the same
// second (each must find a unique value below the ones in use) beside the
// same number spread one per second (no value is ever taken), on a clock
// the program moves by hand. Checks that every value is distinct.
//
//   bench_cookies [largest-count]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "pages/async_cookie_archive.h"

namespace {

// Microseconds per cookie for `count` cookies, `step` seconds apart.
double Create(size_t count, uint32_t step) {
  uint32_t now = 1700000000;
  AsyncCookieArchive archive;
  archive.SetClock([&now] { return now; });
  std::vector<uint32_t> values;
  values.reserve(count);
  auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < count; ++i) {
    values.push_back(archive.CreateCookie("bulk", 30, 100).uniquetimet);
    now += step;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (std::set<uint32_t>(values.begin(), values.end()).size() != count || archive.Size() != count) {
    fprintf(stderr, "bench_cookies: %zu cookies did not get distinct values\n", count);
    exit(1);
  }
  return seconds * 1e6 / static_cast<double>(count);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t largest = argc > 1 ? strtoul(argv[1], nullptr, 10) : 100000;
  printf("%10s %16s %16s %8s\n", "cookies", "one second us", "per second us", "ratio");
  for (size_t count = 1000; count <= largest; count *= 10) {
    double same = Create(count, 0);
    double spread = Create(count, 1);
    printf("%10zu %16.3f %16.3f %8.2f\n", count, same, spread, same / spread);
    fflush(stdout);
  }
  return 0;
}
