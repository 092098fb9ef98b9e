#include "platform/exclusive_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/process_info.h"
#include "platform/whole_file.h"

namespace {

namespace fs = std::filesystem;

fs::path TempDir(const char* name) {
  fs::path dir = fs::temp_directory_path() / (std::string(name) + "." + std::to_string(platform::ProcessId()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(ExclusiveFile, CreatesLocksAndExcludesOtherOpeners) {
  fs::path dir = TempDir("exclusive_file_test");
  platform::ExclusiveFile a(dir.string(), "f.txt");
  EXPECT_EQ(a.Path(), (dir / "f.txt").string());
  ASSERT_TRUE(a.Open(0));
  EXPECT_TRUE(fs::exists(dir / "f.txt"));
  EXPECT_EQ(fs::status(dir / "f.txt").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  platform::ExclusiveFile b(dir.string() + "/", "f.txt");
  EXPECT_EQ(b.Path(), a.Path());
  EXPECT_EQ(b.TryOpen(), platform::ExclusiveFile::kBusy);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(b.Open(1));
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.9);
  EXPECT_LT(waited, 2.0);

  // The second opener gets the file as soon as the first lets go.
  std::thread releaser([&a] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    a.Close();
  });
  EXPECT_TRUE(b.Open(5));
  releaser.join();
  fs::remove_all(dir);
}

TEST(ExclusiveFile, FailuresOtherThanTheLockFailAtOnce) {
  platform::ExclusiveFile empty("", "");
  EXPECT_EQ(empty.TryOpen(), platform::ExclusiveFile::kFailed);
  EXPECT_FALSE(empty.Open(5));
  platform::ExclusiveFile missing("/nonexistent-folder-velmora", "f");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(missing.Open(5));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST(ExclusiveFile, ReplaceHandsTheLockToTheNewFile) {
  fs::path dir = TempDir("exclusive_file_replace");
  platform::ExclusiveFile a(dir.string(), "f");
  ASSERT_TRUE(a.Open(0));
  ASSERT_TRUE(a.Append("one\n"));
  ASSERT_TRUE(a.Append("two\n"));
  std::string text;
  ASSERT_TRUE(a.ReadAll(&text));
  EXPECT_EQ(text, "one\ntwo\n");
  ASSERT_TRUE(a.Rewrite("x"));
  ASSERT_TRUE(a.ReadAll(&text));
  EXPECT_EQ(text, "x");

  // b opened the old file before the replace: once it gets a lock it must
  // notice that the name moved on and end up holding the new file.
  platform::ExclusiveFile b(dir.string(), "f");
  std::string seen;
  std::thread waiter([&] {
    if (b.Open(10)) b.ReadAll(&seen);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(a.ReplaceContents("replaced"));
  // Still held by a: the new file is locked too.
  platform::ExclusiveFile c(dir.string(), "f");
  EXPECT_EQ(c.TryOpen(), platform::ExclusiveFile::kBusy);
  a.Close();
  waiter.join();
  EXPECT_EQ(seen, "replaced");
  int files = 0;
  for (auto& entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);  // no temporary left behind

  int error = 0;
  EXPECT_EQ(platform::ReplaceWholeFile((dir / "w").string(), "whole", &error), platform::kFileOk);
  EXPECT_EQ(platform::ReadWholeFile((dir / "w").string(), &text, &error), platform::kFileOk);
  EXPECT_EQ(text, "whole");
  EXPECT_EQ(platform::ReadWholeFile((dir / "none").string(), &text, &error), platform::kFileOpenFailed);
  fs::remove_all(dir);
}

// Openers that retry at once (no 500 ms pause) meet the window between one
// opener's open and its lock while another renames a new file over the name;
// without the inode check both would hold "the" file and increments would be
// lost.
TEST(ExclusiveFile, ReadModifyReplaceUnderContentionLosesNothing) {
  fs::path dir = TempDir("exclusive_file_stress");
  const int kThreads = 4, kEach = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&dir] {
      for (int done = 0; done < kEach;) {
        platform::ExclusiveFile file(dir.string(), "counter");
        if (file.TryOpen() != platform::ExclusiveFile::kLocked) {
          std::this_thread::yield();
          continue;
        }
        std::string text;
        file.ReadAll(&text);
        long value = text.empty() ? 0 : std::stol(text);
        if (file.ReplaceContents(std::to_string(value + 1))) ++done;
      }
    });
  }
  for (auto& t : threads) t.join();
  std::string text;
  int error = 0;
  ASSERT_EQ(platform::ReadWholeFile((dir / "counter").string(), &text, &error), platform::kFileOk);
  EXPECT_EQ(text, std::to_string(kThreads * kEach));
  fs::remove_all(dir);
}

}  // namespace
