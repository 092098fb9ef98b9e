// Async cookies: unique values, completion and aging on a fake clock, the
// result texts, the archive file, and the page's async request handling.
#include "pages/async_cookie_archive.h"

#include <gtest/gtest.h>

#include <tuple>

#include "pages/monitor_page.h"
#include "pages/provider_error_list.h"
#include "tests/support/log_to_temp_dir.h"
#include "tests/support/memory_channel.h"
#include "xml/xml_accumulator.h"

namespace {

LogToTempDir* const g_env = AddLogToTempDir("velmora-cookies-");

// An archive on a clock the test moves by hand.
class Archive : public ::testing::Test {
 protected:
  void SetUp() override { archive.SetClock([this] { return now; }); }
  std::string File(const char* name) { return g_env->Dir() + "/" + name; }

  uint32_t now = 1700000000;
  AsyncCookieArchive archive;
};

TEST_F(Archive, UniqueValuesCountDownWithinASecond) {
  AsyncCookie a = archive.CreateCookie("job", 30, 100);
  EXPECT_EQ(archive.CreateCookie("job", 30, 100).uniquetimet, now - 1);
  EXPECT_EQ(std::tie(a.uniquetimet, a.id, a.expiretime), std::make_tuple(now, std::string("job!00") + "6553f100",
                                                                         now + 100));
  EXPECT_FALSE(a.Complete());

  // The next second starts at that second again and walks past every value
  // still in use.
  archive.CreateCookie("job", 30, 100);  // now - 2
  ++now;
  EXPECT_EQ(archive.CreateCookie("x", 30, 100).uniquetimet, now);
  EXPECT_EQ(archive.CreateCookie("x", 30, 100).uniquetimet, now - 4);
}

TEST_F(Archive, CompleteCookieIsHeldThenDiscarded) {
  AsyncCookie c = archive.CreateCookie("job", 30, 5);
  now += 2;  // T
  ASSERT_TRUE(archive.SetCookieResult(c.id, "<r/>", 100));
  AsyncCookie held;
  ASSERT_TRUE(archive.Find(c.id, &held));
  EXPECT_EQ(std::tie(held.completiontime, held.holduntil), std::make_tuple(now, now + 30));
  now += 30;  // T + 30: past the expiry, but a complete cookie keeps its hold
  archive.AgeCookies();
  std::string text;
  EXPECT_TRUE(archive.GetResultXML(c.id, &text));
  EXPECT_EQ(text, "<async-result id=\"" + c.id + "\" ><async-complete><r/></async-complete></async-result>");
  now += 1;
  archive.AgeCookies();
  EXPECT_FALSE(archive.Find(c.id, nullptr));
  EXPECT_EQ(archive.LastAged(), now);
  EXPECT_TRUE(g_env->Logged("AsyncCookieArchive::AgeCookies cookie[" + c.id + "] is beyond hold time"));
  now -= 33;  // its value is free again
  EXPECT_EQ(archive.CreateCookie("again", 30, 5).uniquetimet, now);
}

TEST_F(Archive, UnfinishedCookieExpiresWithOrWithoutAResult) {
  AsyncCookie quiet = archive.CreateCookie("quiet", 30, 60);
  AsyncCookie busy = archive.CreateCookie("busy", 30, 60);
  ASSERT_TRUE(archive.SetCookieResult(busy.id, "half", 50));
  for (size_t left : {2u, 0u}) {  // at the expiry, then a second past it
    now += left == 2 ? 60 : 1;
    archive.AgeCookies();
    EXPECT_EQ(archive.Size(), left);
  }
  EXPECT_TRUE(g_env->Logged("cookie[" + quiet.id + "] is expired"));
  EXPECT_TRUE(g_env->Logged("cookie[" + busy.id + "] discard"));
  EXPECT_FALSE(archive.SetCookieResult(busy.id, "late", 100));
  EXPECT_TRUE(g_env->Logged("AsyncCookieArchive::SetCookieResult found no match for [" + busy.id + "]"));
}

TEST_F(Archive, ResultTextsAndStatusWithoutArchive) {
  AsyncCookie c = archive.CreateCookie("job", 30, 60);
  ASSERT_TRUE(archive.SetCookieResult(c.id, "r", 40));
  // The whole async-result text of an unfinished job: test_batch.py.
  std::string text;
  EXPECT_TRUE(archive.GetCookieResult(c.id, &text));
  EXPECT_EQ(text, "<async-inprogress progress=\"40\">r</async-inprogress>");
  EXPECT_FALSE(archive.GetResultXML("x", &text) || archive.GetCookieResult("x", &text));

  archive.CreateCookie("other", 30, 60);
  AsyncCookie second = archive.CreateCookie("job", 30, 60);
  XMLAccumulator xml;
  archive.GetMatchesXML("job", &xml);
  xml.GetXML(&text, -1);
  // In id order: the later cookie has the lower unique value.
  EXPECT_EQ(text, "<async-id-matches><async-cookie>" + second.id + "</async-cookie><async-cookie>" + c.id +
                      "</async-cookie></async-id-matches>");

  // No archive name: nothing is written, and the status names none.
  archive.Term();
  EXPECT_TRUE(g_env->Logged("AsyncCookieArchive::Term has cookies to serialize but no archive name is configured!"));
  archive.GetStatusXML(&text);
  EXPECT_EQ(text.rfind("\t<async-results time-now=\"" + std::to_string(now) + "\" last-aged=\"0\">", 0), 0u) << text;
}

TEST_F(Archive, ArchiveRoundTripAndRewriteOnlyWhenChanged) {
  const std::string path = File("roundtrip.xml");
  std::remove(path.c_str());
  archive.SetArchive(path);
  AsyncCookie done = archive.CreateCookie("done", 45, 600);
  AsyncCookie open = archive.CreateCookie("open & <odd>", 30, 600);
  ASSERT_TRUE(archive.SetCookieResult(done.id, "<result a=\"1\">x &amp; y</result>", 100));
  ASSERT_TRUE(archive.SetCookieResult(open.id, "partial", 70));
  archive.Term();
  const std::string written = ReadFile(path), t = std::to_string(now);
  EXPECT_EQ(written.rfind("\t<async last-aged=\"", 0), 0u) << written;
  EXPECT_NE(written.find("<async-cookie holdtime=\"45\" holduntil=\"" + std::to_string(now + 45) +
                         "\" creationtime=\"" + t + "\" completiontime=\"" + t + "\" uniquetimet=\"" + t +
                         "\" progress=\"100\" expiretime=\"" + std::to_string(now + 600) + "\">"),
            std::string::npos)
      << written;

  // Nothing changed since: no rewrite (the file is left as replaced here).
  WriteFile(path, written + "<!-- untouched -->");
  archive.Term();
  archive.AgeCookies();
  EXPECT_NE(ReadFile(path).find("untouched"), std::string::npos);

  AsyncCookieArchive loaded;
  loaded.SetClock([this] { return now; });
  loaded.SetArchive(path);
  AsyncCookie a, b;
  ASSERT_TRUE(loaded.Find(done.id, &a) && loaded.Find(open.id, &b));
  EXPECT_EQ(std::tie(a.result, a.holdtime, a.completiontime),
            std::make_tuple(std::string("<result a=\"1\">x &amp; y</result>"), 45u, now));
  EXPECT_EQ(std::tie(b.outside, b.progress, b.uniquetimet), std::make_tuple(std::string("open & <odd>"), 70, now - 1));
  EXPECT_EQ(loaded.CreateCookie("new", 30, 60).uniquetimet, now - 2);  // loaded values stay in use
}

// A file that does not parse reads as a missing one: XMLNode::LoadFile
// fails either way (xml_node_test).
TEST_F(Archive, MissingAndForeignFiles) {
  archive.SetArchive(File("missing.xml"));
  EXPECT_EQ(std::make_pair(archive.Size(), archive.LastAged()), std::make_pair(size_t{0}, now));  // aged after it
  EXPECT_TRUE(g_env->Logged("AsyncCookieArchive::LoadCookies couldn't parse contents of " + File("missing.xml") +
                     " (perhaps it was not there at all)"));

  // No async element: nothing is loaded; the cookies are still aged, and
  // with nothing changed the file is kept.
  WriteFile(File("foreign.xml"), "<other><async-cookie/></other>");
  AsyncCookieArchive foreign;
  foreign.SetClock([this] { return now; });
  foreign.SetArchive(File("foreign.xml"));
  EXPECT_EQ(std::make_pair(foreign.Size(), foreign.LastAged()), std::make_pair(size_t{0}, now));
  EXPECT_TRUE(g_env->Logged("AsyncCookieArchive::LoadCookies XML parse failed to find async tag"));
  EXPECT_EQ(ReadFile(File("foreign.xml")), "<other><async-cookie/></other>");
}

TEST_F(Archive, DefaultsOfMissingAttributes) {
  // No holdtime: 30. No expiretime on an unfinished cookie: it expired at
  // 0, so the load's own aging drops it. Other children are skipped.
  WriteFile(File("defaults.xml"),
            "<async last-aged=\"1\"><async-cookie completiontime=\"" + std::to_string(now) +
                "\" uniquetimet=\"7\" progress=\"100\" holduntil=\"" + std::to_string(now + 30) +
                "\"><outside>kept</outside><unique>0000000007</unique><result>ok</result></async-cookie>"
                "<async-cookie uniquetimet=\"8\" progress=\"10\"><outside>gone</outside><unique>0000000008</unique>"
                "</async-cookie><stray/></async>");
  archive.SetArchive(File("defaults.xml"));
  AsyncCookie kept;
  ASSERT_TRUE(archive.Find("kept!0000000007", &kept));
  EXPECT_EQ(std::tie(kept.holdtime, kept.expiretime, kept.result), std::make_tuple(30u, 0u, std::string("ok")));
  EXPECT_EQ(archive.Size(), 1u);
  EXPECT_TRUE(g_env->Logged("AsyncCookie construct XML parse failed to attribute holdtime"));
  EXPECT_TRUE(g_env->Logged("AsyncCookieArchive::LoadCookies adds cookie [kept!0000000007,7]"));
  EXPECT_TRUE(g_env->Logged("XML parse failed to find async-cookie tag"));
  // The discard made the archive dirty: it was rewritten without "gone".
  EXPECT_EQ(ReadFile(File("defaults.xml")).find("gone"), std::string::npos);
}

// The page's side: operations and the query forms HandleAsyncRequest takes.
class AsyncPage : public MonitorPage {
 public:
  AsyncPage() : MonitorPage("/async", false) {}
  AsyncCookieArchive& Archive() { return Cookies(); }
};

TEST(AsyncRequests, PageOperationsAndQueries) {
  AsyncPage page;
  uint32_t now = 1700000000;
  page.Archive().SetClock([&] { return now; });
  std::string id, reply, text;
  page.CreateAsyncOperation("job", 30, 60, &id, &reply);
  EXPECT_EQ(reply, "<async-operation async-id=\"" + id + "\"/>");
  page.SetAsyncProgress(id, 40);
  page.Archive().GetCookieResult(id, &text);
  EXPECT_EQ(text, "<async-inprogress progress=\"40\"></async-inprogress>");

  ProviderErrorList errors;
  errors.getErrors.push_back({"E1", {}});
  XMLAccumulator doc;
  doc.AddElement("done", "yes");
  page.CompleteAsyncOperation(id, &errors, &doc);
  page.Archive().GetCookieResult(id, &text);
  EXPECT_EQ(text.rfind("<async-complete><providererrorlist>", 0), 0u) << text;
  EXPECT_NE(text.find("</providererrorlist><done>yes</done></async-complete>"), std::string::npos) << text;

  // Each query: the body sent, or "-" when the page must handle the request
  // itself (nothing written). test_batch.py reads results and matches and
  // sees a bare async-id refused.
  auto handle = [&](const char* query) {
    MemoryChannel io("");
    if (!page.HandleAsyncRequest(query, &io)) return io.Output().empty() ? std::string("-") : io.Output();
    EXPECT_EQ(io.Output().rfind("HTTP/1.1 200 OK", 0), 0u);
    return io.Body();
  };
  EXPECT_EQ(handle("AsyncStatus=1").rfind("\t<async-results time-now=", 0), 0u);
  EXPECT_EQ(handle(nullptr), "-");
  EXPECT_EQ(handle("async-result-request=&async-id=x"), "-");
  EXPECT_EQ(handle("async-result-request=1&async-id=x"), "<async-result-nomatch id=\"x\" ></async-result-nomatch>");
  EXPECT_TRUE(MonitorPage::IsAsyncStatusRequest("ASYNCSTATUS="));
  EXPECT_FALSE(MonitorPage::IsAsyncStatusRequest("asyncstatus") || MonitorPage::IsAsyncStatusRequest(nullptr));
}

}  // namespace
