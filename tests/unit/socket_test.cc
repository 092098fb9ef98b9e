#include "platform/socket.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace {

// Sends SIGUSR2, caught by a handler that does nothing (no SA_RESTART, so
// blocking calls return EINTR), to the given threads every 100 microseconds
// while it lives.
class Hangups {
 public:
  explicit Hangups(std::vector<pthread_t> targets) : targets_(std::move(targets)) {
    struct sigaction interrupt {};
    interrupt.sa_handler = [](int) {};
    sigemptyset(&interrupt.sa_mask);
    EXPECT_EQ(0, sigaction(SIGUSR2, &interrupt, nullptr));
    thread_ = std::thread([this] {
      while (!done_) {
        for (pthread_t t : targets_) pthread_kill(t, SIGUSR2);
        ++sent_;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    });
  }
  ~Hangups() {
    done_ = true;
    thread_.join();
  }
  int Sent() const { return sent_; }

 private:
  std::vector<pthread_t> targets_;
  std::atomic<bool> done_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

TEST(Socket, ConnectAcceptAndLargeTransferUnderSignals) {
  int listener = platform::CreateTcpSocket();
  ASSERT_EQ(0, platform::BindLoopback(listener, 0));
  ASSERT_EQ(0, platform::Listen(listener, 4));
  uint16_t port = platform::LocalPort(listener);
  ASSERT_NE(0, port);
  int client = platform::CreateTcpSocket();
  ASSERT_EQ(0, platform::ConnectLoopback(client, port, 1000, nullptr));
  int server = platform::Accept(listener);
  ASSERT_NE(platform::kInvalidSocket, server);

  // 32 MB in one call: far more than the socket buffers hold, so the send
  // must loop while the reader drains in small pieces. Signals keep
  // interrupting both ends (a send returns short, a wait returns EINTR):
  // every byte must arrive, in order.
  std::string data(32 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 2654435761u >> 13);
  std::string got;
  std::atomic<bool> reading{false};
  std::thread reader([&] {
    reading = true;
    char buffer[4096];
    long n = 0;
    while (platform::WaitReadable(client, 10000) == 1 && (n = platform::Receive(client, buffer, sizeof buffer)) > 0)
      got.append(buffer, static_cast<size_t>(n));
  });
  while (!reading) std::this_thread::yield();
  int sent = 0;
  {
    Hangups hangups({pthread_self(), reader.native_handle()});
    EXPECT_EQ(static_cast<long>(data.size()), platform::SendAll(server, data.data(), data.size()));
    sent = hangups.Sent();
  }  // no more signals before the reader may end
  platform::ShutdownBoth(server);
  reader.join();
  EXPECT_GT(sent, 10);
  EXPECT_TRUE(got == data) << got.size();

  EXPECT_EQ(1, platform::WaitReadable(client, 0));  // end of input is "readable"
  platform::CloseSocket(server);
  platform::CloseSocket(client);
  platform::CloseSocket(listener);
}

TEST(Socket, WaitReadableTimesOutUnderSignals) {
  int fds[2];
  ASSERT_EQ(0, platform::CreateSocketPair(fds));
  uint64_t start = platform::TickCountMs();
  {
    Hangups hangups({pthread_self()});  // interrupted waits go on with the time left
    EXPECT_EQ(0, platform::WaitReadable(fds[0], 50));
  }
  EXPECT_GE(platform::TickCountMs() - start, 45u);
  EXPECT_LT(platform::TickCountMs() - start, 1000u);
  EXPECT_EQ(1, platform::SendAll(fds[1], "x", 1));
  EXPECT_EQ(1, platform::WaitReadable(fds[0], 1000));
  platform::CloseSocket(fds[1]);
  EXPECT_EQ(-1, platform::SendAll(fds[0], "y", 1));  // EPIPE, no SIGPIPE
  EXPECT_EQ(0, platform::SendAll(fds[0], "", 0));
  platform::CloseSocket(fds[0]);
}

}  // namespace
