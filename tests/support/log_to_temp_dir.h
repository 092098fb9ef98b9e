// A GoogleTest environment for tests that read the log: a fresh temporary
// folder, the log opened on a file in it at every level, and the folder
// removed at the end. The log opens once per process, so one per binary.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime/log.h"

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
  std::string LogText() const { return ReadFile(dir_ + "/test.log"); }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string prefix_;
  std::string dir_;
};
