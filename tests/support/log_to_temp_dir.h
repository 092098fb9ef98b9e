// A GoogleTest environment for tests that read the log: a fresh temporary
// folder, the log opened on a file in it at every level, and the folder
// removed at the end. The log opens once per process, so one per binary.
// Also the folder, file, polling and counting helpers such tests share.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "runtime/log.h"

// The whole file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Writes `text` as the whole file, making its folder first when missing.
inline void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  std::ofstream(path, std::ios::binary) << text;
}

class LogToTempDir : public ::testing::Environment {
 public:
  explicit LogToTempDir(const char* prefix) : prefix_(prefix) {}

  void SetUp() override {
    auto dir = std::filesystem::temp_directory_path() /
               (prefix_ + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    dir_ = dir.string();
    LogOpen((dir_ + "/test.log").c_str(), 1u << 30);
    SetVerbosityMask(0xFFFFFFFFu);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  const std::string& Dir() const { return dir_; }
  // A fresh folder for the running test, named after it.
  std::string TestDir() const {
    std::string dir = dir_ + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
  }
  static std::string ReadFile(const std::string& path) { return ::ReadFile(path); }  // the older spelling
  std::string LogText() const { return ReadFile(dir_ + "/test.log"); }
  bool Logged(const std::string& text) const { return LogText().find(text) != std::string::npos; }


 private:
  std::string prefix_;
  std::string dir_;
};

// Registers the environment for this test binary; the result lives as long.
inline LogToTempDir* AddLogToTempDir(const char* prefix) {
  return static_cast<LogToTempDir*>(::testing::AddGlobalTestEnvironment(new LogToTempDir(prefix)));
}

// Polls `condition` until it holds or `seconds` pass; true when it held.
inline bool WaitFor(const std::function<bool()>& condition, double seconds = 10) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// How often `part` occurs in `text`.
inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}
