// A page's requests to the collector, against a scripted collector on
// 127.0.0.1:21584 (this test runs in a network namespace of its own).
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "pages/monitor_page.h"
#include "platform/socket.h"

namespace {

// Accepts one connection, reads the request head, answers `response` raw.
class ScriptedCollector {
 public:
  explicit ScriptedCollector(std::string response) : response_(std::move(response)) {
    listener_ = platform::CreateTcpSocket();
    EXPECT_EQ(platform::BindLoopback(listener_, 21584), 0);
    EXPECT_EQ(platform::Listen(listener_, 4), 0);
    thread_ = std::thread([this] {
      int s = platform::Accept(listener_);
      char c;
      while (head_.find("\n\n") == std::string::npos && platform::Receive(s, &c, 1) == 1) head_ += c;
      platform::SendAll(s, response_.data(), response_.size());
      platform::ShutdownBoth(s);
      platform::CloseSocket(s);
    });
  }
  ~ScriptedCollector() {
    if (thread_.joinable()) thread_.join();
    platform::CloseSocket(listener_);
  }
  std::string Head() {
    thread_.join();
    return head_;
  }

 private:
  std::string response_;
  std::string head_;
  int listener_ = -1;
  std::thread thread_;
};

std::string Reply(const std::string& word) {
  return "HTTP/1.1 200 OK\r\nContent-Length:" + std::to_string(word.size()) + "\r\n\r\n" + word;
}

TEST(SendESCommand, ExactRequestAndReplyWords) {
  MonitorPage page("/a b", false);
  {
    ScriptedCollector collector(Reply("replaced"));
    uint32_t result = 0;
    EXPECT_TRUE(page.ScheduleRepeatingWakeup("x/1", 30, &result));
    EXPECT_EQ(collector.Head(), "POST /extschedule?cmd=addrenew&page=%2Fa%20b&cookie=x%2F1&delay=30\nContent-Length: 0\n\n");
    EXPECT_EQ(result, 4u);
  }
  for (auto [word, code] : {std::pair<std::string, uint32_t>{"bogus", 6}, {"", 5}, {"deleted", 1}}) {
    ScriptedCollector collector(Reply(word));
    uint32_t result = 99;
    EXPECT_TRUE(page.CancelWakeup("c", &result));
    EXPECT_EQ(collector.Head().rfind("POST /extschedule?cmd=del&page=%2Fa%20b&cookie=c&delay=0\n", 0), 0u);
    EXPECT_EQ(result, code) << word;
  }
  {
    ScriptedCollector collector("HTTP/1.1 400 Bad Request\r\n\r\n");
    uint32_t result = 77;
    EXPECT_FALSE(page.ScheduleWakeup("c", 5, &result));
    EXPECT_EQ(result, 77u);
  }
  uint32_t result = 77;
  EXPECT_FALSE(page.ModifyWakeup("c", 5, &result));  // no collector at all
  EXPECT_EQ(result, 77u);
}

TEST(RequestDocumentFromCollector, PathQueryAndReply) {
  MonitorPage page("/p", false);
  ScriptedCollector collector(Reply("<doc/>"));
  std::string reply = "old";
  EXPECT_EQ(page.RequestDocumentFromCollector("/inventory", 7, "a=1", "", &reply, 5), 200);
  EXPECT_EQ(collector.Head(), "GET /inventory?a=1\nContent-Length: 0\n\n");
  EXPECT_EQ(reply, "<doc/>");
}

}  // namespace
