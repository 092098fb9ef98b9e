#include "runtime/io_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/socket.h"
#include "runtime/request_reader.h"

namespace {

// Two connected local sockets: fds[0] is handed to a channel (Take), the
// test keeps fds[1] raw.
struct Pair {
  Pair() { EXPECT_EQ(0, platform::CreateSocketPair(fds)); }
  ~Pair() {
    for (int fd : fds)
      if (fd >= 0) platform::CloseSocket(fd);
  }
  void Send(const std::string& s) { ASSERT_EQ(static_cast<long>(s.size()), platform::SendAll(fds[1], s.data(), s.size())); }
  void CloseRaw() { platform::CloseSocket(std::exchange(fds[1], -1)); }
  int Take() { return std::exchange(fds[0], -1); }
  int fds[2] = {-1, -1};
};

TEST(IOSocket, ReadLineComesInPieces) {
  Pair p;
  IOSocket io(p.Take());
  p.Send("0123456789abcdefghi\nnext");
  char buffer[10];
  for (std::string piece : {"012345678", "9abcdefgh", "i\n"}) {
    EXPECT_EQ(static_cast<int>(piece.size()), io.ReadLine(buffer, sizeof buffer));
    EXPECT_EQ(piece, buffer);
  }
  EXPECT_EQ(-1, io.ReadLine(buffer, 1));
  // The peer closes after half a line: 0, not the half line.
  p.CloseRaw();
  EXPECT_EQ(0, io.ReadLine(buffer, sizeof buffer));
  EXPECT_EQ(-1, io.Read(buffer, 0));
}

TEST(IOSocket, WriteCountsAndReadReturnsWhatArrived) {
  Pair p;
  IOSocket io(p.Take());
  EXPECT_EQ(5, io.Write("hello", 5));
  io.BeginRequest();
  EXPECT_EQ(3, io.Write("abc", 3));
  EXPECT_EQ(std::make_pair(8u, 3u), std::make_pair(io.TotalBytesWritten(), io.RequestBytesWritten()));
  EXPECT_EQ(IOBase::kTypeSocket, io.Type());
  char got[16] = {};
  ASSERT_EQ(8, platform::Receive(p.fds[1], got, sizeof got));
  EXPECT_STREQ("helloabc", got);
  p.Send("xyz");
  char in[16];
  EXPECT_EQ(3, io.Read(in, sizeof in));
  EXPECT_STREQ("", io.PeerName());  // a local pair has no address
  // A peer that is gone: the write fails without killing the process.
  p.CloseRaw();
  std::string big(1 << 20, 'x');
  EXPECT_LE(io.Write(big.data(), big.size()), 0);
  EXPECT_EQ(8u, io.TotalBytesWritten());
}

TEST(IOSocket, LimitsKillTheChannel) {
  // A deadline on the request line: malformed, and the channel is dead. In
  // the headers a time-out reads as end of input.
  for (auto [sent, result] : {std::pair<const char*, int>{"", kRequestMalformed}, {"GET /x\nHost: y\n", kRequestEnd}}) {
    Pair p;
    IOSocket io(p.Take());
    const uint64_t start = platform::TickCountMs();
    io.SetDeadline(start + 100);
    p.Send(sent);
    URLParse r;
    EXPECT_EQ(result, ReadRequest(&r, &io));
    EXPECT_TRUE(io.TimedOut());
    EXPECT_GE(platform::TickCountMs() - start, 90u);
    EXPECT_LT(platform::TickCountMs() - start, 5000u);
    p.Send("GET /y\n\n");
    io.SetDeadline(0);
    char c;
    EXPECT_EQ(-1, io.Read(&c, 1));    // dead: nothing more is read...
    EXPECT_EQ(-1, io.Write("x", 1));  // ...or written
  }
  {  // A write to a peer that reads nothing gives up after the stall limit.
    Pair p;
    IOSocket io(p.Take());
    io.SetStallLimit(200);
    std::string big(8 << 20, 'x');
    uint64_t start = platform::TickCountMs();
    EXPECT_EQ(-1, io.Write(big.data(), big.size()));
    EXPECT_TRUE(io.TimedOut());
    EXPECT_LT(platform::TickCountMs() - start, 5000u);
  }
  {  // A body over the channel's limit is refused unread, and nothing is written.
    Pair p;
    IOSocket io(p.Take());
    io.SetBodyLimit(10);
    p.Send("0123456789ab");
    const char* names[] = {"Content-Length", nullptr};
    const char* values[] = {"11", nullptr};
    std::string body;
    EXPECT_FALSE(ReadBody(&io, names, values, &body));
    EXPECT_TRUE(io.BodyRefused());
    EXPECT_EQ(-1, io.Write("x", 1));
  }
}

TEST(IOSocket, ReadAheadComesFirst) {
  Pair p;
  IOSocket io(p.Take());
  io.SetReadAhead("line one\nrest");
  p.Send("|socket");
  char buffer[64];
  EXPECT_EQ(9, io.ReadLine(buffer, sizeof buffer));
  EXPECT_STREQ("line one\n", buffer);
  for (std::string piece : {"rest", "|socket"}) {
    ASSERT_EQ(static_cast<int>(piece.size()), io.Read(buffer, sizeof buffer));
    EXPECT_EQ(piece, std::string(buffer, piece.size()));
  }
}

TEST(IOSocket, OwnershipDecidesWhoCloses) {
  Pair p;
  int fd = p.Take();
  {
    IOSocket io(fd);
    EXPECT_TRUE(io.OwnsSocket());
    io.ReleaseOwnership();
  }
  // Still open: the raw end sees data, not end of input.
  EXPECT_EQ(2, platform::SendAll(fd, "ok", 2));
  char got[4] = {};
  EXPECT_EQ(2, platform::Receive(p.fds[1], got, sizeof got));
  {
    IOSocket io(fd);  // owns it: closing shows as end of input at the peer
  }
  EXPECT_EQ(0, platform::Receive(p.fds[1], got, sizeof got));
}

TEST(IOSocket, PeerNameOfATcpConnection) {
  int listener = platform::CreateTcpSocket();
  ASSERT_EQ(0, platform::BindLoopback(listener, 0));
  ASSERT_EQ(0, platform::Listen(listener, 4));
  uint16_t port = platform::LocalPort(listener);
  int client = platform::CreateTcpSocket();
  ASSERT_EQ(0, platform::ConnectLoopback(client, port, 1000, nullptr));
  uint16_t clientPort = platform::LocalPort(client);
  IOSocket server(platform::Accept(listener));
  EXPECT_EQ("127.0.0.1:" + std::to_string(clientPort), server.PeerName());
  platform::CloseSocket(client);
  platform::CloseSocket(listener);
  EXPECT_EQ("127.0.0.1:" + std::to_string(clientPort), server.PeerName());  // cached
}

}  // namespace
