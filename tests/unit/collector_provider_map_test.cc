// The provider map: filling it from index replies, status reports, lookups
// and concurrent use.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "collector/provider_map.h"

namespace {

std::string Reply(const std::string& version, const std::string& pages, bool lateInitDone = false) {
  return "<table version=\"" + version + "\" date=\"9 Feb 2007\"" + (lateInitDone ? " lateinitdone=\"1\"" : "") +
         ">" + pages + "</table>";
}

uint32_t StateOf(ProviderMap& map, const char* name) {
  ProviderCopies copies;
  map.copyProviders(&copies);
  return copies.count(name) ? copies[name]->LaunchData().state.load() : 99u;
}

void Add(ProviderMap& map, const char* name, const std::string& reply, bool* matched = nullptr) {
  bool ignored = false;
  map.addProvider(name, "21600", "", "", false, reply, "", false, matched ? matched : &ignored);
}

TEST(ProviderMap, LongestPrefixAtSlash) {
  ProviderMap map;
  bool matched = false;
  map.addProvider("p", "21600", "7", "p.log", true,
                  Reply("1.2.0.1", "<page path=\"/p\" metadata=\"y\" iconID=\"i\"/><page path=\"/x/y\"/>"), "10", true,
                  &matched);
  EXPECT_TRUE(matched);
  Add(map, "q", Reply("1.2.0.1", "<page path=\"/p\"/><page path=\"/pq\"/>"));
  std::string name;
  for (const char* path : {"/p", "/p/q/r", "/p/"}) {
    EXPECT_TRUE(map.findProviderName(path, &name)) << path;
    EXPECT_EQ(name, "p");  // the first provider keeps a shared path
  }
  EXPECT_TRUE(map.findProviderName("/pq", &name));
  EXPECT_EQ(name, "q");
  EXPECT_FALSE(map.findProviderName("/pz", &name));
  EXPECT_FALSE(map.findProviderName("/x", &name));
  EXPECT_FALSE(map.findProviderName(("/p/" + std::string(257, 'a')).c_str(), &name));  // 260 characters
  EXPECT_TRUE(map.findProviderName(("/p/" + std::string(256, 'a')).c_str(), &name));
  CProviderCon* con = nullptr;
  ASSERT_TRUE(map.findProviderForPage("/x/y/z", &con));
  EXPECT_EQ(con->Port(), 21600u);
  EXPECT_STREQ(con->LaunchData().logto, "p.log");
  EXPECT_TRUE(con->LaunchData().noidle && con->LaunchData().stats);
  std::vector<std::string> paths;
  map.ForEachPage([&](const ProviderPage& page) {
    paths.push_back(page.path + (page.metadata ? "+m" : "") + page.iconID);
  });
  EXPECT_EQ(paths, (std::vector<std::string>{"/p+mi", "/pq", "/x/y"}));
}

TEST(ProviderMap, VersionsLateInitAndDeferredReports) {
  ProviderMap map;
  bool matched = true;
  for (const std::string& reply : {Reply("1.2.0.10", ""), std::string("not xml <"), std::string("<table/>")}) {
    Add(map, "v", reply, &matched);
    EXPECT_FALSE(matched) << reply;
  }
  EXPECT_EQ(StateOf(map, "v"), kProviderVersionMismatch);
  Add(map, "late", Reply("1.2.0.2", "", true));
  EXPECT_EQ(StateOf(map, "late"), kProviderVersionMismatch);
  Add(map, "ok", Reply("1.2.0.1", "", true));
  EXPECT_EQ(StateOf(map, "ok"), kProviderReady);
  Add(map, "loading", Reply("1.2.0.1", ""));
  EXPECT_EQ(StateOf(map, "loading"), kProviderLoading);

  map.reportProviderReady("r");
  Add(map, "r", Reply("9", ""));
  EXPECT_EQ(StateOf(map, "r"), kProviderVersionMismatch);
  map.reportProviderError("e");
  Add(map, "e", Reply("1.2.0.1", "", true));
  EXPECT_EQ(StateOf(map, "e"), kProviderError);
  map.reportProviderError("d");
  map.reportProviderReady("d");  // the later report replaces the earlier
  Add(map, "d", Reply("1.2.0.1", ""));
  EXPECT_EQ(StateOf(map, "d"), kProviderReady);
  map.reportProviderError("ok");
  EXPECT_EQ(StateOf(map, "ok"), kProviderError);

  // A repeated add keeps the one record; new pages refer to it.
  CProviderCon* first = nullptr;
  Add(map, "again", Reply("1.2.0.1", "<page path=\"/a1\"/>"));
  ASSERT_TRUE(map.findProviderForPage("/a1", &first));
  map.addProvider("again", "1", "", "", false, Reply("1.2.0.1", "<page path=\"/a2\"/>", true), "", false, &matched);
  CProviderCon* second = nullptr;
  ASSERT_TRUE(map.findProviderForPage("/a2", &second));
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->Port(), 21600u);
  EXPECT_EQ(first->LaunchData().state.load(), kProviderReady);

  ProviderCopies copies;
  map.copyProvidersForShutdown(&copies);
  EXPECT_FALSE(copies["again"]->LaunchData().shutdownSent);
  EXPECT_TRUE(first->LaunchData().shutdownSent);
}

TEST(ProviderMap, ConcurrentAddsReportsAndLookups) {
  ProviderMap map;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&map, t] {
      for (int i = 0; i < 25; ++i) {
        std::string name = "p" + std::to_string(t) + "_" + std::to_string(i);
        bool ready = (i % 2) == 0;
        if (i % 3 == 0) ready ? map.reportProviderReady(name.c_str()) : map.reportProviderError(name.c_str());
        Add(map, name.c_str(), Reply("1.2.0.1", "<page path=\"/" + name + "\"/>"));
        if (i % 3 != 0) ready ? map.reportProviderReady(name.c_str()) : map.reportProviderError(name.c_str());
        CProviderCon* con = nullptr;
        if (map.findProviderForPage(("/" + name + "/x").c_str(), &con)) (void)con->LaunchData().state.load();
        ProviderCopies copies;
        map.copyProviders(&copies);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ProviderCopies copies;
  map.copyProviders(&copies);
  ASSERT_EQ(copies.size(), 200u);
  for (auto& [name, con] : copies) {
    int i = std::stoi(name.substr(name.find('_') + 1));
    EXPECT_EQ(con->LaunchData().state.load(), i % 2 == 0 ? kProviderReady : kProviderError) << name;
  }
}

}  // namespace
