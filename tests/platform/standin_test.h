/*
 * standin_test.h - the fixture every stand-in test uses: a fresh temporary
 * MOVRELA_WINROOT folder (removed afterwards), the stand-in's hooks reset,
 * and a check that no local-memory block, file handle or DC was left behind.
 */
#ifndef MOVRELA_TESTS_PLATFORM_STANDIN_TEST_H
#define MOVRELA_TESTS_PLATFORM_STANDIN_TEST_H

#include "platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/standin-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    root_ = buf.data();
    const char *old = std::getenv("MOVRELA_WINROOT");
    hadOldRoot_ = old != nullptr;
    if (old) oldRoot_ = old;
    setenv("MOVRELA_WINROOT", root_.c_str(), 1);
    StandinSetRegistryDenied(0);
    StandinFailLocalAllocAt(0);
    StandinSetDisplayProfile(nullptr);
    blocks_ = StandinLiveLocalBlocks();
    files_ = StandinOpenFiles();
    dcs_ = StandinLiveDCs();
  }

  void TearDown() override {
    EXPECT_EQ(StandinLiveLocalBlocks(), blocks_) << "local-memory blocks left behind";
    EXPECT_EQ(StandinOpenFiles(), files_) << "file handles left open";
    EXPECT_EQ(StandinLiveDCs(), dcs_) << "DCs not released";
    StandinSetRegistryDenied(0);
    StandinFailLocalAllocAt(0);
    StandinSetDisplayProfile(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    if (hadOldRoot_)
      setenv("MOVRELA_WINROOT", oldRoot_.c_str(), 1);
    else
      unsetenv("MOVRELA_WINROOT");
  }

  /* A path below the test's root folder. */
  std::string Path(const std::string &relative) const { return root_ + "/" + relative; }

  static void WriteText(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }

  static std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }

  /* Runs a shell command; returns its standard output. */
  static std::string Run(const std::string &command) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return "popen failed";
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    pclose(pipe);
    return out;
  }

  std::string root_;

 private:
  bool hadOldRoot_ = false;
  std::string oldRoot_;
  long blocks_ = 0;
  long files_ = 0;
  long dcs_ = 0;
};

#endif
