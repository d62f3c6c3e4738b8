#pragma once
// Kills a child process that rewrites one file over and over at random
// moments, and checks after every kill that the folder holds that file
// whole, in one of the versions the child writes, and nothing else.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

inline std::string KillRoundsFileText(const std::filesystem::path &path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// write(i) writes version i % versions.size() of target, which must be
// exactly versions[i % versions.size()] once complete; target already holds
// versions[0]. The delays spread over twice the time one write takes.
// recover, when given, is what the program does at its next start after a
// kill; the folder is checked after it.
inline void RunKillRounds(const std::filesystem::path &target,
                          const std::vector<std::string> &versions,
                          const std::function<void(std::size_t)> &write, int rounds,
                          const std::function<void()> &recover = {}) {
  ASSERT_EQ(KillRoundsFileText(target), versions[0]);
  // One child writes every version once, ending on the first again: what a
  // write takes in a child, fork included.
  const auto started = std::chrono::steady_clock::now();
  const pid_t timed = fork();
  ASSERT_GE(timed, 0);
  if (timed == 0) {
    for (std::size_t i = 1; i <= versions.size(); ++i)
      write(i % versions.size());
    _exit(0);
  }
  int timedStatus = 0;
  ASSERT_EQ(waitpid(timed, &timedStatus, 0), timed);
  ASSERT_TRUE(WIFEXITED(timedStatus) && WEXITSTATUS(timedStatus) == 0);
  const auto once = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - started) /
                    versions.size();
  const std::set<std::string> whole(versions.begin(), versions.end());
  std::mt19937 random(20261211);
  std::uniform_int_distribution<long> delay(0, 2 * once.count() + 200);
  int interrupted = 0;
  for (int round = 0; round < rounds; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (std::size_t i = 1;; ++i)
        write(i % versions.size());
    }
    usleep(static_cast<useconds_t>(delay(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself in round " << round;
    const std::string text = KillRoundsFileText(target);
    ASSERT_TRUE(whole.count(text) == 1) << "round " << round << ": the file holds " << text.size()
                                        << " bytes that are none of the versions written";
    if (text != versions[0])
      ++interrupted;
    if (recover)
      recover();
    for (const auto &entry : std::filesystem::directory_iterator(target.parent_path()))
      ASSERT_EQ(entry.path(), target) << "round " << round << " left " << entry.path();
  }
  // The kills must land among the writes, or the test proves nothing.
  EXPECT_GT(interrupted, 0);
}
