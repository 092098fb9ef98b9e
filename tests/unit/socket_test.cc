#include "platform/socket.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>
#include <thread>
#include <tuple>
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

int TcpState(int fd) {
  tcp_info info{};
  socklen_t length = sizeof info;
  return getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 ? info.tcpi_state : -1;
}

// A listener whose accept queue is full drops new handshakes; the client
// retries its SYN after about a second. Meanwhile the first send finds the
// socket still connecting and must fall back to waiting for the handshake:
// one listener then takes the retry (the request must arrive whole), the
// other is gone (a refusal, reported as such).
TEST(Socket, ConnectAndSendWaitsForAHandshakeInProgress) {
  int listeners[2], queued[2], clients[2], results[2], errors[2];
  for (int i = 0; i < 2; ++i) {
    listeners[i] = platform::CreateTcpSocket();
    ASSERT_EQ(0, platform::BindLoopback(listeners[i], 0));
    ASSERT_EQ(0, platform::Listen(listeners[i], 0));
    queued[i] = platform::CreateTcpSocket();
    ASSERT_EQ(0, platform::ConnectLoopback(queued[i], platform::LocalPort(listeners[i]), 1000, nullptr));
    clients[i] = platform::CreateTcpSocket(true);
  }
  const uint16_t ports[2] = {platform::LocalPort(listeners[0]), platform::LocalPort(listeners[1])};
  std::vector<std::thread> connecting;
  for (int i = 0; i < 2; ++i)
    connecting.emplace_back([&, i] {
      results[i] = platform::ConnectLoopbackAndSend(clients[i], ports[i], 5000, "GET /x\n", 7, "body", 4, 1000,
                                                    &errors[i]);
    });
  const uint64_t deadline = platform::TickCountMs() + 2000;
  while ((TcpState(clients[0]) != TCP_SYN_SENT || TcpState(clients[1]) != TCP_SYN_SENT) &&
         platform::TickCountMs() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(TCP_SYN_SENT, TcpState(clients[0]));
  platform::CloseSocket(platform::Accept(listeners[0]));  // room for the retry
  platform::CloseSocket(listeners[1]);
  for (auto& t : connecting) t.join();
  EXPECT_EQ(std::make_tuple(0, 0, -1, ECONNREFUSED), std::make_tuple(results[0], errors[0], results[1], errors[1]));
  int server = platform::Accept(listeners[0]);
  char buffer[64];
  long n = platform::WaitReadable(server, 5000) == 1 ? platform::Receive(server, buffer, sizeof buffer) : 0;
  EXPECT_EQ("GET /x\nbody", std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0));
  for (int fd : {server, listeners[0], queued[0], queued[1], clients[0], clients[1]}) platform::CloseSocket(fd);
}

}  // namespace
