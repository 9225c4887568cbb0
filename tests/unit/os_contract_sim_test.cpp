// The seam's shared contract, run against the simulated Windows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "contract/os_contract.h"
#include "platform/sim/sim_os.h"

namespace pqtest {
namespace {

using namespace pq;

TEST(OsContract, SimulatedWindowsKeepsTheContract) {
  // Per process: other worktrees may run the same test at once.
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("pq_os_contract_sim_" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  std::vector<std::string> failures;
  {
    SimOs sim(root);
    sim.makeDirectory("C:\\Contract Scratch");
    failures = runOsContract(sim, "C:\\Contract Scratch\\");
  }
  std::filesystem::remove_all(root);
  for (const std::string& failure : failures) ADD_FAILURE() << failure;
  EXPECT_TRUE(failures.empty());
}

} // namespace
} // namespace pqtest
