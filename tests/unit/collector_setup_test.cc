// The collector's initialization: working directory, flags and the page table.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "collector/collector_setup.h"
#include "collector/started_file.h"
#include "pages/monitor_page.h"
#include "runtime/monitor_server.h"
#include "runtime/page_registry.h"
#include "runtime/process_globals.h"
#include "tests/support/log_to_temp_dir.h"

namespace {

LogToTempDir* const g_env = AddLogToTempDir("velmora-setup-");
std::vector<std::string> built;

ServedPage* Build(const char* path, bool hidden) {
  built.push_back(path);
  return new MonitorPage(path, hidden);
}

ServedPage* Fail(const char* path, bool) {
  built.push_back(path);
  return nullptr;
}

TEST(CollectorInitialize, ThirdPageFailsLaterPagesNeverBuilt) {
  const std::filesystem::path dir = g_env->Dir();
  TheServer().options.configDirectory = g_env->Dir() + "/";
  const CollectorPageRow rows[] = {
      {"/one", false, Build}, {"/skipped", false, nullptr}, {"/two", true, Build},
      {"/three", false, Fail}, {"/four", false, Build},     {"/five", false, Build},
  };
  EXPECT_EQ(CollectorInitialize(rows, 6), 1);
  EXPECT_EQ(built, (std::vector<std::string>{"/one", "/two", "/three"}));
  EXPECT_EQ(std::filesystem::current_path(), dir);
  EXPECT_TRUE(TheServer().isCollector);
  EXPECT_EQ(Globals().firstStartFunction, &CheckFirstStart);
  ASSERT_NE(FindPage("/two"), nullptr);
  EXPECT_TRUE(FindPage("/two")->IsHidden());
  EXPECT_EQ(FindPage("/four"), nullptr);

  built.clear();
  const CollectorPageRow taken[] = {{"/one", false, Build}, {"/six", false, Build}};
  EXPECT_EQ(RegisterCollectorPages(taken, 2), 1);  // a path already registered
  EXPECT_EQ(built, (std::vector<std::string>{"/one"}));
  CleanUpAllPages();
}

}  // namespace
