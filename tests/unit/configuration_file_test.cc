#include "xml/configuration_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/log_to_temp_dir.h"
#include "xml/cached_configuration_file.h"
#include "xml/configuration_state.h"
#include "xml/unlocked_configuration_file.h"

namespace {

namespace fs = std::filesystem;

LogToTempDir* g_env = AddLogToTempDir("configuration_file_test.");

class ConfigurationFileTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = g_env->TestDir(); }
  std::string Read(const std::string& name) { return ReadFile(dir_ / name); }
  void Write(const std::string& name, const std::string& text) { WriteFile(dir_ / name, text); }

  fs::path dir_;
};

TEST_F(ConfigurationFileTest, OpenWriteOnMissingFileCreatesItAndSaveIndentedWrites) {
  ConfigurationFile file(dir_.c_str(), "stats.xml");
  ASSERT_TRUE(file.OpenWrite(20));
  EXPECT_TRUE(fs::exists(dir_ / "stats.xml") && file.IsNew() && file.IsOpenForWrite());
  XMLNode* section = file.GetSection(file.GetRoot(), "Stats", true);
  file.SetKeyNumber(section, "hits", 3);
  file.SetKey(file.GetRoot(), "a", "1");
  file.SetKey(file.GetRoot(), "a", "2");
  ASSERT_TRUE(file.SaveIndented());
  EXPECT_TRUE(file.IsClosed() && !file.SaveCompact());  // no longer open for writing
  EXPECT_EQ(Read("stats.xml"),
            "\t<section name=\"Stats\">\n\t\t<key name=\"hits\" value=\"3\"/>\n\t</section>\n"
            "\t<key name=\"a\" value=\"2\"/>\n");

  ConfigurationFile again(dir_.c_str(), "stats.xml");
  ASSERT_TRUE(again.OpenRead(5));
  unsigned long hits = 0;
  EXPECT_TRUE(again.GetKeyUnsigned(again.FindSection(again.GetRoot(), "Stats"), "hits", &hits) && hits == 3);
  EXPECT_FALSE(again.IsNew() || again.SaveCompact());  // OpenRead never allows a save

  // A read open releases the file at once; a write open holds it.
  ConfigurationFile other(dir_.c_str(), "stats.xml");
  ASSERT_TRUE(other.OpenWrite(0));
  EXPECT_FALSE(again.OpenRead(0));
  ASSERT_TRUE(other.SaveCompact());
  EXPECT_TRUE(again.OpenRead(0));
}

// Each writer holds its own open file, as separate processes do: the lock
// is taken per open, so threads stand in for processes.
TEST_F(ConfigurationFileTest, ConcurrentWritersLoseNoUpdate) {
  const std::string path = (dir_ / "shared.xml").string();
  auto add = [&](char prefix) {
    for (int i = 0; i < 100; ++i) {
      ConfigurationFile file(nullptr, path);
      ASSERT_TRUE(file.OpenWrite(20));
      if (file.GetRoot() == nullptr) file.NewDocument();
      file.SetKeyNumber(file.GetRoot(), prefix + std::to_string(i), static_cast<unsigned long>(i));
      ASSERT_TRUE(file.SaveCompact());
    }
  };
  std::thread a(add, 'a'), b(add, 'b');
  a.join(), b.join();
  ConfigurationFile result(nullptr, path);
  ASSERT_TRUE(result.OpenRead(1));
  std::vector<std::string> keys;
  result.ListKeyNames(result.GetRoot(), &keys);
  EXPECT_EQ(keys.size(), 200u);
  unsigned long value = 0;
  EXPECT_TRUE(result.GetKeyUnsigned(result.GetRoot(), "b99", &value) && value == 99);
  // Every save went through a temporary file that was renamed away.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ConfigurationFileTest, UnparsedFileKeepsItsTextAndHealsOnSave) {
  Write("bad.xml", "<stats><unclosed></stats>");
  ConfigurationFile file(dir_.c_str(), "bad.xml");
  ASSERT_TRUE(file.OpenWrite(1));
  EXPECT_TRUE(file.GetRoot() == nullptr && !file.IsNew() && file.StoredTextUnparsed());
  // Nothing to write: the stored text stays as it was.
  EXPECT_FALSE(file.SetKey(file.GetRoot(), "a", "1") || file.SaveCompact());
  EXPECT_EQ(Read("bad.xml"), "<stats><unclosed></stats>");
  EXPECT_FALSE(fs::exists(dir_ / "bad.xml.bad"));

  // A caller that starts a new document heals the file; the old text is kept.
  ASSERT_TRUE(file.OpenWrite(1));
  file.NewDocument();
  file.SetKey(file.GetRoot(), "a", "1");
  ASSERT_TRUE(file.SaveCompact());
  EXPECT_EQ(Read("bad.xml.bad"), "<stats><unclosed></stats>");
  EXPECT_EQ(Read("bad.xml"), "<key name=\"a\" value=\"1\"/>");
  EXPECT_FALSE(file.StoredTextUnparsed());

  // The state functions heal by themselves.
  Write("state.xml", "<<<");
  ASSERT_TRUE(WriteLast((dir_ / "state.xml").string(), 42));
  EXPECT_EQ(Read("state.xml.bad"), "<<<");
  unsigned long last = 0;
  EXPECT_TRUE(ReadLast((dir_ / "state.xml").string(), &last) && last == 42);
}

TEST_F(ConfigurationFileTest, CachedViewNeverTouchesTheFile) {
  ConfigurationFile file(dir_.c_str(), "c.xml");
  ASSERT_TRUE(file.OpenWrite(1));
  file.SetKey(file.GetRoot(), "k", "v");
  {
    // It borrows the document: Configuration.BorrowedDocumentIsReadOnly.
    CachedConfigurationFile view(file);
    EXPECT_EQ(view.GetRoot(), file.GetRoot());
    EXPECT_FALSE(view.IsOpenForWrite() || view.OpenRead(0) || view.OpenWrite(0) || view.SaveCompact() ||
                 view.SaveIndented());
  }
  ASSERT_TRUE(file.SaveCompact());
  EXPECT_EQ(Read("c.xml"), "<key name=\"k\" value=\"v\"/>");
}

TEST_F(ConfigurationFileTest, UnlockedFileDoesNotWait) {
  UnlockedConfigurationFile file(dir_.c_str(), "u.xml");
  ASSERT_TRUE(file.Open(true) && file.IsNew());
  file.SetKey(file.GetRoot(), "x", "1");

  UnlockedConfigurationFile other(dir_.c_str(), "u.xml");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(other.Open(false));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  ASSERT_TRUE(file.SaveIndented());
  EXPECT_FALSE(file.SaveIndented());

  ASSERT_TRUE(other.Open(false));
  EXPECT_FALSE(other.IsNew() || other.SaveCompact());  // not kept open
  std::string v;
  EXPECT_TRUE(other.GetKey(other.GetRoot(), "x", &v) && v == "1");
}

TEST_F(ConfigurationFileTest, StateFunctions) {
  std::string path = (dir_ / "rules.xml").string();
  unsigned long last = 7;
  EXPECT_FALSE(ReadLast(path, &last));  // reads create no sections
  EXPECT_EQ(last, 7u);
  EXPECT_EQ(Read("rules.xml"), "");
  ASSERT_TRUE(WriteLast(path, 12) && WriteRule(path, "cpu", 3, "on") && WriteRule(path, "cpu", -1, "off") &&
              WriteRule(path, "disk", 3, "x"));
  EXPECT_TRUE(ReadLast(path, &last) && last == 12);
  std::string value;
  EXPECT_TRUE(ReadRule(path, "cpu", 3, &value) && value == "on");
  EXPECT_FALSE(ReadRule(path, "CPU", 3, &value));
  std::vector<std::string> names;
  ASSERT_TRUE(ListRules(path, "cpu", &names));
  EXPECT_EQ(names, (std::vector<std::string>{"3", "-1"}));
  EXPECT_TRUE(RemoveRule(path, "cpu", 3) && !RemoveRule(path, "cpu", 3) && ListRules(path, "cpu", &names));
  EXPECT_EQ(names, std::vector<std::string>{"-1"});
  EXPECT_TRUE(RemoveRules(path, "cpu") && !ListRules(path, "cpu", &names));
  EXPECT_TRUE(ReadRule(path, "disk", 3, &value));
  EXPECT_EQ(Read("rules.xml"),
            "<section name=\"state\"><section name=\"configuration\"><key name=\"last\" value=\"12\"/></section>"
            "<section name=\"rules\"><section name=\"disk\"><key name=\"3\" value=\"x\"/></section></section>"
            "</section>");
}

}  // namespace
