// A fresh simulated Windows for each test, installed as the backend while the test runs and
// removed with its folder afterwards. The folder is named after the process and the test, so
// several checkouts can run the same tests at once.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_os.h"

namespace pqtest {

// An empty folder for the running test: temp/pq_<tag>_<pid>_<suite>_<test>.
inline std::filesystem::path freshSimRoot(const std::string& tag) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path root = std::filesystem::temp_directory_path() /
                               ("pq_" + tag + "_" + std::to_string(::getpid()) + "_" + info->test_suite_name() +
                                "_" + info->name());
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return root;
}

// How many seam calls named `call` the simulation has logged.
inline long countCalls(const pq::SimOs& sim, const std::string& call) {
  return std::count_if(sim.callLog.begin(), sim.callLog.end(),
                       [&](const std::string& line) { return line.rfind(call + " ", 0) == 0 || line == call; });
}

template <class Sim = pq::SimOs>
class SimTest : public ::testing::Test {
protected:
  explicit SimTest(const std::string& tag) : root(freshSimRoot(tag)), sim(root), scope(sim) {}
  ~SimTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  long calls(const std::string& call) const { return countCalls(sim, call); }

  // Checks, path by path, that each file is there (true) or not (false).
  void expectFiles(const std::vector<std::pair<std::string, bool>>& presence) const {
    for (const auto& [path, present] : presence) EXPECT_EQ(sim.fileExistsAt(path), present) << path;
  }

  // Puts each {path, contents} on the machine.
  void putFiles(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [path, contents] : files) sim.putFile(path, contents);
  }

  std::filesystem::path root;
  Sim sim;
  pq::ScopedSimOs scope;
};

} // namespace pqtest
