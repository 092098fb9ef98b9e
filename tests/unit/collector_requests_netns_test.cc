// A page's requests to the collector, against a scripted collector on
// 127.0.0.1:21584 (this test runs in a network namespace of its own).
#include <gtest/gtest.h>

#include <string>

#include "pages/monitor_page.h"
#include "tests/support/scripted_server.h"

namespace {

constexpr uint16_t kCollector = 21584;  // played by a scripted server

std::string Reply(const std::string& word) {
  return "HTTP/1.1 200 OK\r\nContent-Length:" + std::to_string(word.size()) + "\r\n\r\n" + word;
}

TEST(SendESCommand, ExactRequestAndReplyWords) {
  MonitorPage page("/a b", false);
  {
    ScriptedServer collector(Reply("replaced"), false, kCollector);
    uint32_t result = 0;
    EXPECT_TRUE(page.ScheduleRepeatingWakeup("x/1", 30, &result));
    EXPECT_EQ(collector.Received(), "POST /extschedule?cmd=addrenew&page=%2Fa%20b&cookie=x%2F1&delay=30\nContent-Length: 0\n\n");
    EXPECT_EQ(result, 4u);
  }
  for (auto [word, code] : {std::pair<std::string, uint32_t>{"bogus", 6}, {"", 5}, {"deleted", 1}}) {
    ScriptedServer collector(Reply(word), false, kCollector);
    uint32_t result = 99;
    EXPECT_TRUE(page.CancelWakeup("c", &result));
    EXPECT_EQ(collector.Received().rfind("POST /extschedule?cmd=del&page=%2Fa%20b&cookie=c&delay=0\n", 0), 0u);
    EXPECT_EQ(result, code) << word;
  }
  {
    ScriptedServer collector("HTTP/1.1 400 Bad Request\r\n\r\n", false, kCollector);
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
  ScriptedServer collector(Reply("<doc/>"), false, kCollector);
  std::string reply = "old";
  EXPECT_EQ(page.RequestDocumentFromCollector("/inventory", 7, "a=1", "", &reply, 5), 200);
  EXPECT_EQ(collector.Received(), "GET /inventory?a=1\nContent-Length: 0\n\n");
  EXPECT_EQ(reply, "<doc/>");
}

}  // namespace
