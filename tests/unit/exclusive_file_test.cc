#include "platform/exclusive_file.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/whole_file.h"
#include "tests/support/log_to_temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Run once inside the next flock call, before the lock is taken.
std::atomic<bool> g_lockHookArmed{false};
std::function<void()> g_beforeLock;
std::atomic<int> g_locksDone{0};  // flock calls returned so far

}  // namespace

// Every flock of this program (the platform code's too) comes here, so a
// test can act between an opener's open and its lock.
extern "C" int flock(int fd, int operation) {
  if (g_lockHookArmed.exchange(false)) g_beforeLock();
  int result = static_cast<int>(syscall(SYS_flock, fd, operation));
  ++g_locksDone;
  return result;
}

namespace {

LogToTempDir* g_env = AddLogToTempDir("exclusive_file_test.");

TEST(ExclusiveFile, CreatesLocksExcludesOtherOpenersAndFailsAtOnceOtherwise) {
  fs::path dir = g_env->TestDir();
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

  // The second opener, seen failing once and so waiting to retry, gets the
  // file as soon as the first lets go.
  const int locks = g_locksDone;
  std::thread releaser([&a, locks] {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_locksDone == locks && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    a.Close();
  });
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(b.Open(5));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  releaser.join();

  // Failures other than the lock fail at once.
  platform::ExclusiveFile empty("", "");
  EXPECT_EQ(empty.TryOpen(), platform::ExclusiveFile::kFailed);
  platform::ExclusiveFile missing("/nonexistent-folder-velmora", "f");
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(missing.Open(5));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST(ExclusiveFile, ReplaceHandsTheLockToTheNewFile) {
  fs::path dir = g_env->TestDir();
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

  // Between b's open and its lock, a renames a new file over the name and
  // lets the old one go: b locks a file that no longer has the name. It must
  // notice, and find the new file still held by a.
  platform::ExclusiveFile b(dir.string(), "f");
  g_beforeLock = [&a] { ASSERT_TRUE(a.ReplaceContents("replaced")); };
  g_lockHookArmed = true;
  EXPECT_EQ(b.TryOpen(), platform::ExclusiveFile::kBusy);
  EXPECT_FALSE(g_lockHookArmed);
  a.Close();
  ASSERT_TRUE(b.Open(0));
  ASSERT_TRUE(b.ReadAll(&text));
  EXPECT_EQ(text, "replaced");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temporary left

  int error = 0;
  EXPECT_EQ(platform::ReplaceWholeFile((dir / "w").string(), "whole", &error), platform::kFileOk);
  EXPECT_EQ(platform::ReadWholeFile((dir / "w").string(), &text, &error), platform::kFileOk);
  EXPECT_EQ(text, "whole");
  EXPECT_EQ(platform::ReadWholeFile((dir / "none").string(), &text, &error), platform::kFileOpenFailed);
}

}  // namespace
