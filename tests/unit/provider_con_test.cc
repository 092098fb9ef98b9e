#include "runtime/provider_con.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/socket.h"
#include "tests/support/memory_channel.h"
#include "tests/support/scripted_server.h"

namespace {

CProviderCon SocketClient(uint16_t port) {
  CProviderCon con;
  con.SetMode(CProviderCon::kModeSocket);
  con.SetPort(port);
  con.SetName("testprov");
  return con;
}

TEST(CProviderCon, RequestsSendExactHeadsAndKeepTheBody) {
  ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length:5\r\nX-Y: a\r\n x-y :  b \r\nnocolon\r\n\r\nhello");
  CProviderCon con = SocketClient(server.Port());
  EXPECT_EQ(200, con.requestDocument("/x", "", false, 5));
  EXPECT_EQ("GET /x\nContent-Length: 0\n\n", server.Received());
  EXPECT_EQ("hello", std::string(con.ResponseBody(), con.ResponseBodyLength()));
  char value[8];
  ASSERT_TRUE(con.FindResponseHeader("X-y", value, sizeof value));
  EXPECT_STREQ("b", value);  // the last one received wins
  EXPECT_FALSE(con.FindResponseHeader("nocolon", value, sizeof value) || con.IsConnected());
  EXPECT_EQ(200, con.Status());

  ScriptedServer post("HTTP/1.1 200 OK\r\ncontent-length: 3\r\n\r\nabcEXTRA");
  CProviderCon poster = SocketClient(post.Port());
  poster.SetVerb("Post");
  EXPECT_EQ(200, poster.requestDocument("/p?q=1", "a\nb", false, 5));
  EXPECT_EQ("POST /p?q=1\nContent-Length: 3\n\na\nb", post.Received());
  EXPECT_EQ("abc", std::string(poster.ResponseBody(), poster.ResponseBodyLength()));
  poster.SetVerb(nullptr);
  EXPECT_STREQ("", poster.Verb());

  // No body, a silent close, a foreign status line.
  for (auto [reply, status] : {std::pair<const char*, int>{"HTTP/1.1 404 Not Found\r\n\r\n", 404}, {"", 500},
                               {"HTTP/1.0 200 OK\r\n\r\n", 500}}) {
    ScriptedServer server(reply);
    CProviderCon other = SocketClient(server.Port());
    EXPECT_EQ(status, other.requestDocument("/x", "", false, 5)) << reply;
    EXPECT_EQ(0u, other.ResponseBodyLength());
  }
}

TEST(CProviderCon, StreamingCopiesStatusLengthAndBody) {
  std::string body(200000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + 3);
  ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 200000\r\nX-Other: dropped\r\n\r\n" + body);
  CProviderCon con = SocketClient(server.Port());
  MemoryChannel out("");
  EXPECT_EQ(200, con.requestDocument("/big", &out, "", false, 5));
  EXPECT_TRUE(out.Output() == "HTTP/1.1 200 OK\r\nContent-Length:200000\r\n\r\n" + body);
  EXPECT_EQ(0u, con.ResponseBodyLength());

  // A silent close is passed on as a 500; a withheld status is returned but
  // not passed on.
  for (auto [reply, status, passed] :
       {std::tuple<const char*, int, const char*>{"", 500, "HTTP/1.1 500 Internal Server Error\r\nContent-Length:25"
                                                            "\r\n\r\n500 internal server error"},
        {"HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\n\r\nbusy", 503, ""}}) {
    ScriptedServer server(reply);
    CProviderCon again = SocketClient(server.Port());
    again.WithholdStatus(503);
    MemoryChannel passedOn("");
    EXPECT_EQ(status, again.requestDocument("/x", &passedOn, "", false, 5));
    EXPECT_EQ(passed, passedOn.Output());
  }
}

TEST(CProviderCon, ShortBodyEndsAtTheTimeout) {
  ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", /*holdOpen=*/true);
  CProviderCon con = SocketClient(server.Port());
  uint64_t start = platform::TickCountMs();
  EXPECT_EQ(200, con.requestDocument("/slow", "", false, 1));
  uint64_t spent = platform::TickCountMs() - start;
  EXPECT_EQ("abc", std::string(con.ResponseBody(), con.ResponseBodyLength()));
  EXPECT_GE(spent, 900u);
  EXPECT_LT(spent, 10000u);
}

std::atomic<int> hookCalls{0};

int CountingHook(CProviderCon* con) {
  ++hookCalls;
  EXPECT_STREQ("testprov", con->Name());
  return 0;
}

TEST(CProviderCon, NoServerGivesZeroQuickly) {
  CProviderCon::SetStartHook(CountingHook);
  hookCalls = 0;
  CProviderCon con = SocketClient(FreePort());
  uint64_t start = platform::TickCountMs();
  EXPECT_EQ(0, con.requestDocument("/x", "", false, 5));
  // Two refused attempts and one 10 ms pause: well under one 200 ms wait.
  EXPECT_LT(platform::TickCountMs() - start, 150u);
  EXPECT_EQ(0, hookCalls.load());

  // With start-on-failure the hook runs once and four attempts are made.
  start = platform::TickCountMs();
  EXPECT_EQ(0, con.connect(true));
  EXPECT_LT(platform::TickCountMs() - start, 180u);
  EXPECT_EQ(1, hookCalls.load());
  CProviderCon::SetStartHook(nullptr);
  EXPECT_EQ(0, con.connect(true));  // no hook: nothing launched, still fails
  // A hook that brings the provider up: the collector's launch, test_routing.py.
}

TEST(CProviderCon, ModesNoResponseAndCopies) {
  CProviderCon con;
  for (auto [text, mode] :
       {std::pair<const char*, uint32_t>{"STDIO+Socket", 3}, {"sock", 2}, {"StdOut", 1}, {nullptr, 0}}) {
    con.SetModeFromText(text);
    EXPECT_EQ(mode, con.Mode()) << (text ? text : "null");
  }
  // A client not in socket mode never connects.
  con.SetModeFromText("stdin");
  con.SetPort(1);
  EXPECT_EQ(0, con.connect(true));
  EXPECT_EQ(0, con.requestDocument("/x", "", false, 1));

  ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length:1\r\n\r\nz", /*holdOpen=*/true);
  CProviderCon original = SocketClient(server.Port());
  original.SetArguments("-g -v 3");
  original.SetVerb("post");
  original.LaunchData().crashRecovery = true;
  snprintf(original.LaunchData().logto, sizeof original.LaunchData().logto, "%s", "p.log");
  EXPECT_EQ(0, original.requestDocument("/x", "", false, 5, /*noResponse=*/true));  // sent, left open
  CProviderCon copy(original);
  EXPECT_EQ(original.Port(), copy.Port());
  EXPECT_EQ(std::string(copy.Arguments()) + "|" + copy.LaunchData().logto + "|" + copy.Verb(), "-g -v 3|p.log|");
  EXPECT_TRUE(copy.LaunchData().crashRecovery);  // the verb is not copied, nor the connection
  EXPECT_TRUE(!copy.IsConnected() && copy.Status() == 0 && original.IsConnected());
  original.disconnect();
  EXPECT_FALSE(original.IsConnected());
  EXPECT_EQ("POST /x\nContent-Length: 0\n\n", server.Received());
}

// The stepwise form against a listener the test drives by hand: the
// connection waits in the listen queue until accepted, so each piece of
// the answer is in the client's socket before TakeArrived looks.
struct HandServer {
  HandServer() : listener(platform::CreateTcpSocket()) {
    platform::BindLoopback(listener, 0);
    platform::Listen(listener, 4);
  }
  ~HandServer() {
    if (peer >= 0) platform::CloseSocket(peer);
    platform::CloseSocket(listener);
  }
  // Accepts the client's connection; the request it sent.
  std::string Accept() {
    peer = platform::Accept(listener);
    std::string request;
    char c;
    while (request.find("\n\n") == std::string::npos && platform::Receive(peer, &c, 1) == 1) request += c;
    return request;
  }
  void Send(const std::string& bytes) const { platform::SendAll(peer, bytes.data(), bytes.size()); }
  void Close() {
    platform::ShutdownBoth(peer);
    platform::CloseSocket(peer);
    peer = -1;
  }
  int listener;
  int peer = -1;
};

// What the blocking streaming form passes on for `reply` (closed after).
std::string Streamed(const std::string& reply, int* status) {
  ScriptedServer server(reply);
  CProviderCon con = SocketClient(server.Port());
  con.WithholdStatus(503);
  MemoryChannel out("");
  *status = con.requestDocument("/x", &out, "", false, 5);
  return out.Output();
}

TEST(CProviderCon, StepwiseAnswersWhateverTheirPiecesPassOnWhatTheBlockingFormDoes) {
  // Header lines are read in pieces of at most 2047 bytes: a line of 2047
  // bytes and its line feed make two, the second empty, and that ends the
  // head; a longer line goes on. A line that is blank, or whose text a NUL
  // ends at once, ends the head too.
  const std::string cut = "X-Cut: " + std::string(2040, 'c');
  const std::string longer = "X-Long: " + std::string(3000, 'l');
  for (const std::string& reply : {std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: b\r\n\r\nhello"),
                                   "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + longer + "\r\n\r\nhi",
                                   "HTTP/1.1 200 OK\r\nContent-Length: 2\n" + cut + "\nhi",
                                   std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\0junk\nhi", 44),
                                   std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n \t\r\nhi")}) {
    int blockingStatus = 0;
    const std::string expected = Streamed(reply, &blockingStatus);
    ASSERT_EQ(200, blockingStatus);
    for (size_t split = 1; split < reply.size(); ++split) {
      HandServer server;
      CProviderCon con = SocketClient(platform::LocalPort(server.listener));
      ASSERT_TRUE(con.SendRequestNow("/x?y=1"));
      EXPECT_EQ("GET /x?y=1\nContent-Length: 0\n\n", server.Accept());
      server.Send(reply.substr(0, split));
      ASSERT_EQ(CProviderCon::kAnswerWaiting, con.TakeArrived()) << split;
      server.Send(reply.substr(split));
      ASSERT_EQ(CProviderCon::kAnswerComplete, con.TakeArrived()) << split;
      MemoryChannel out("");
      EXPECT_EQ(200, con.FinishRequest(&out, 5));
      ASSERT_EQ(expected, out.Output()) << split;
      EXPECT_FALSE(con.IsConnected());
    }
  }

  // Answers cut short by the provider's close, a withheld 503, a foreign
  // status line: once the close is seen the answer is complete, and what is
  // passed on is what the blocking form passes on.
  for (const std::string& partial : {std::string("HTTP/1.1 200 OK\r\nContent-Le"), std::string(""),
                                     std::string("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc"),
                                     std::string("HTTP/1.1 503 Busy\r\nContent-Length: 1\r\n\r\nz"),
                                     std::string("HTTP/1.0 200 OK\r\n\r\n")}) {
    HandServer server;
    CProviderCon con = SocketClient(platform::LocalPort(server.listener));
    con.WithholdStatus(503);
    ASSERT_TRUE(con.SendRequestNow("/x"));
    server.Accept();
    server.Send(partial);
    server.Close();
    ASSERT_EQ(CProviderCon::kAnswerComplete, con.TakeArrived()) << partial;
    MemoryChannel out("");
    int status = con.FinishRequest(&out, 5);
    int blockingStatus = 0;
    EXPECT_EQ(Streamed(partial, &blockingStatus), out.Output()) << partial;
    EXPECT_EQ(blockingStatus, status) << partial;
    EXPECT_EQ(status, con.Status());
  }
}

TEST(CProviderCon, StepwiseLongAnswersAndFailedStarts) {
  // An answer longer than the client holds: the rest is read by FinishRequest.
  std::string body(200000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 13 + 1);
  HandServer server;
  CProviderCon con = SocketClient(platform::LocalPort(server.listener));
  ASSERT_TRUE(con.SendRequestNow("/big"));
  server.Accept();
  std::thread sender([&] { server.Send("HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n" + body); });
  CProviderCon::Arrival arrival = CProviderCon::kAnswerWaiting;
  while (arrival == CProviderCon::kAnswerWaiting) {
    ASSERT_EQ(1, platform::WaitReadable(con.Socket(), 5000));
    arrival = con.TakeArrived();
  }
  EXPECT_EQ(CProviderCon::kAnswerLong, arrival);
  MemoryChannel out("");
  EXPECT_EQ(200, con.FinishRequest(&out, 5));
  sender.join();
  EXPECT_TRUE(out.Output() == "HTTP/1.1 200 OK\r\nContent-Length:200000\r\n\r\n" + body);

  // Nothing listening, or a head too long to send at once: nothing is open.
  CProviderCon nobody = SocketClient(FreePort());
  EXPECT_FALSE(nobody.SendRequestNow("/x"));
  EXPECT_EQ(platform::kInvalidSocket, nobody.Socket());
  HandServer other;
  CProviderCon longHead = SocketClient(platform::LocalPort(other.listener));
  EXPECT_FALSE(longHead.SendRequestNow(("/" + std::string(5000, 'q')).c_str()));
  EXPECT_EQ(platform::kInvalidSocket, longHead.Socket());
  EXPECT_TRUE(longHead.SendRequestNow(("/" + std::string(3000, 'q')).c_str()));
}

}  // namespace
