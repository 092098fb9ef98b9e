#include "platform/socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/clock.h"

namespace {

// A port on 127.0.0.1 that nothing listens on (bound, then released).
uint16_t FreePort() {
  int fd = platform::CreateTcpSocket();
  EXPECT_EQ(0, platform::BindLoopback(fd, 0));
  uint16_t port = platform::LocalPort(fd);
  platform::CloseSocket(fd);
  return port;
}

TEST(Socket, RefusedConnectFailsAtOnce) {
  int fd = platform::CreateTcpSocket();
  ASSERT_NE(platform::kInvalidSocket, fd);
  int error = 0;
  uint64_t start = platform::TickCountMs();
  EXPECT_EQ(-1, platform::ConnectLoopback(fd, FreePort(), 2000, &error));
  EXPECT_LT(platform::TickCountMs() - start, 1000u);  // refused, not timed out
  EXPECT_NE(0, error);
  EXPECT_NE(ETIMEDOUT, error);
  platform::CloseSocket(fd);
}

TEST(Socket, ConnectAcceptAndLargeTransfer) {
  int listener = platform::CreateTcpSocket();
  ASSERT_EQ(0, platform::BindLoopback(listener, 0));
  ASSERT_EQ(0, platform::Listen(listener, 4));
  uint16_t port = platform::LocalPort(listener);
  ASSERT_NE(0, port);
  int client = platform::CreateTcpSocket();
  ASSERT_EQ(0, platform::ConnectLoopback(client, port, 1000, nullptr));
  int server = platform::Accept(listener);
  ASSERT_NE(platform::kInvalidSocket, server);

  // 8 MB in one call: far more than the socket buffers hold, so the send
  // must loop while the reader drains.
  std::string data(8 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 2654435761u >> 13);
  std::string got;
  std::thread reader([&] {
    char buffer[65536];
    long n;
    while ((n = platform::Receive(client, buffer, sizeof buffer)) > 0) got.append(buffer, static_cast<size_t>(n));
  });
  EXPECT_EQ(static_cast<long>(data.size()), platform::SendAll(server, data.data(), data.size()));
  platform::ShutdownBoth(server);
  reader.join();
  EXPECT_TRUE(got == data);

  EXPECT_EQ(1, platform::WaitReadable(client, 0));  // end of input is "readable"
  platform::CloseSocket(server);
  platform::CloseSocket(client);
  platform::CloseSocket(listener);
}

TEST(Socket, WaitReadableTimesOut) {
  int fds[2];
  ASSERT_EQ(0, platform::CreateSocketPair(fds));
  uint64_t start = platform::TickCountMs();
  EXPECT_EQ(0, platform::WaitReadable(fds[0], 50));
  EXPECT_GE(platform::TickCountMs() - start, 45u);
  EXPECT_EQ(1, platform::SendAll(fds[1], "x", 1));
  EXPECT_EQ(1, platform::WaitReadable(fds[0], 1000));
  platform::CloseSocket(fds[1]);
  EXPECT_EQ(-1, platform::SendAll(fds[0], "y", 1));  // EPIPE, no SIGPIPE
  EXPECT_EQ(0, platform::SendAll(fds[0], "", 0));
  platform::CloseSocket(fds[0]);
}

}  // namespace
