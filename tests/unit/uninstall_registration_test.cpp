#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/sim/sim_os.h"
#include "support/sim_test.h"
#include "system/uninstall_registration.h"

namespace {

const std::string kRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kSaverX = "C:\\WINDOWS\\x.scr";
// What a failed installation of x.scr claims once it has reached its data file.
const std::vector<std::string> kAllOfX = {kSaverX, "C:\\WINDOWS\\x.ssd"};

class UninstallRegistration : public pqtest::SimTest<> {
protected:
  UninstallRegistration() : SimTest("uninstall_registration") {
    // Another program's entry, which nothing here may touch.
    sim.putRegistryValue(kRoot + "Other", "DisplayName", "Other Program");
  }
  void expectOtherProgramUntouched() const {
    EXPECT_EQ(sim.registryValue(kRoot + "Other", "DisplayName"), "Other Program");
  }

  std::vector<std::string> callsNamed(const std::string& call) const {
    std::vector<std::string> lines;
    for (const std::string& line : sim.callLog) {
      if (line.rfind(call + " ", 0) == 0) lines.push_back(line.substr(call.size() + 1));
    }
    return lines;
  }
};

// The key goes into the system's list of installed software (the call log keeps the path
// letter for letter; lookups ignore case). The command must run as the system runs it: the
// saver's full path, quoted for blanks.
TEST_F(UninstallRegistration, CreateWritesDisplayNameAndTheSaversQuotedPathWithSlashU) {
  EXPECT_EQ(createUninstallKey(kSaverX), 0);
  EXPECT_EQ(callsNamed("regCreateKey"), std::vector<std::string>(2, kRoot + "x"));
  EXPECT_EQ(sim.registryValue(kRoot + "x", "DisplayName"), "x Screen Saver");
  EXPECT_EQ(sim.registryValue(kRoot + "x", "UninstallString"), "\"C:\\WINDOWS\\x.scr\" /u");
  EXPECT_EQ(createUninstallKey("C:\\Program Files\\Sun Set.scr"), 0);
  EXPECT_EQ(sim.registryValue(kRoot + "Sun Set", "DisplayName"), "Sun Set Screen Saver");
  EXPECT_EQ(sim.registryValue(kRoot + "Sun Set", "UninstallString"), "\"C:\\Program Files\\Sun Set.scr\" /u");
  expectOtherProgramUntouched();
}

TEST_F(UninstallRegistration, CreateOverwritesEarlierValues) {
  sim.putRegistryValue(kRoot + "x", "DisplayName", "stale");
  EXPECT_EQ(createUninstallKey(kSaverX), 0);
  EXPECT_EQ(sim.registryValue(kRoot + "x", "DisplayName"), "x Screen Saver");
}

TEST_F(UninstallRegistration, CreateReportsAKeyThatCannotBeCreated) {
  sim.failCall("regCreateKey", pq::kWinErrorAccessDenied);
  EXPECT_EQ(createUninstallKey(kSaverX), static_cast<TResult>(pq::kWinErrorAccessDenied));
  EXPECT_FALSE(sim.registryKeyExists(kRoot + "x"));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(UninstallRegistration, CreateStopsAtTheFirstValueThatCannotBeSet) {
  sim.failCall("setString", pq::kWinErrorAccessDenied, "", 1, 1);
  EXPECT_EQ(createUninstallKey(kSaverX), static_cast<TResult>(pq::kWinErrorAccessDenied));
  EXPECT_EQ(sim.registryValue(kRoot + "x", "DisplayName"), "x Screen Saver");
  EXPECT_EQ(sim.registryValue(kRoot + "x", "UninstallString"), std::nullopt);
}

TEST_F(UninstallRegistration, DeleteRemovesTheKeyWithAddedValuesAndSubkeys) {
  ASSERT_EQ(createUninstallKey(kSaverX), 0);
  sim.putRegistryValue(kRoot + "x", "InstallLocation", "C:\\WINDOWS");
  sim.putRegistryValue(kRoot + "x\\A", "v", "1");
  sim.putRegistryValue(kRoot + "x\\B\\Deep", "v", "2");
  sim.callLog.clear();
  deleteUninstallKey("x");
  EXPECT_FALSE(sim.registryKeyExists(kRoot + "x"));
  expectOtherProgramUntouched();
  // The system deletes only keys without subkeys, so each key's subkeys go first, the last
  // enumerated first.
  const std::vector<std::string> deleted = callsNamed("regDeleteKey");
  ASSERT_EQ(deleted.size(), 4u);
  EXPECT_EQ(deleted[0], kRoot + "x\\B\\Deep");
  EXPECT_EQ(deleted[1], kRoot + "x\\B");
  EXPECT_EQ(deleted[2], kRoot + "x\\A");
  EXPECT_EQ(deleted[3], kRoot + "x");
}

TEST_F(UninstallRegistration, DeleteOfAMissingKeyDoesNothing) {
  sim.callLog.clear();
  deleteUninstallKey("Missing");
  EXPECT_TRUE(callsNamed("regDeleteKey").empty());
  EXPECT_TRUE(sim.errorDialogs.empty());
  expectOtherProgramUntouched();
}

// A saver file named ".scr" has an empty name; the key path would be the whole list.
TEST_F(UninstallRegistration, AnEmptyNameNeverReachesTheListItself) {
  const std::string list = kRoot.substr(0, kRoot.size() - 1);
  EXPECT_NE(createUninstallKey("C:\\WINDOWS\\.scr"), 0);
  EXPECT_EQ(sim.registryValue(list, "DisplayName"), std::nullopt);
  deleteUninstallKey("");
  doQuietUninstall("C:\\WINDOWS\\.scr", {"C:\\WINDOWS\\.scr"});
  EXPECT_TRUE(sim.registryKeyExists(list));
  expectOtherProgramUntouched();
}

TEST_F(UninstallRegistration, ADottedSaverNameKeepsAllButItsLastExtension) {
  ASSERT_EQ(createUninstallKey("C:\\WINDOWS\\a.scr"), 0);
  ASSERT_EQ(createUninstallKey("C:\\WINDOWS\\a.b.scr"), 0);
  doQuietUninstall("C:\\WINDOWS\\a.b.scr", {"C:\\WINDOWS\\a.b.scr"});
  EXPECT_FALSE(sim.registryKeyExists(kRoot + "a.b"));
  EXPECT_TRUE(sim.registryKeyExists(kRoot + "a"));
}

TEST_F(UninstallRegistration, RollbackRemovesTheSaverItsDirPathItsDataFileAndItsKey) {
  putFiles({{"C:\\WINDOWS\\x.scr", "saver"}, {"C:\\WINDOWS\\x dir", "stray file"}, {"C:\\WINDOWS\\x.ssd", "data"},
            {"C:\\WINDOWS\\impborl.dll", "library"}, {"C:\\WINDOWS\\x.dat", "support library"}});
  ASSERT_EQ(createUninstallKey(kSaverX), 0);
  doQuietUninstall(kSaverX, kAllOfX);
  expectFiles({{"C:\\WINDOWS\\x.scr", false}, {"C:\\WINDOWS\\x dir", false}, {"C:\\WINDOWS\\x.ssd", false}});
  EXPECT_FALSE(sim.registryKeyExists(kRoot + "x"));
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\impborl.dll"));
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\x.dat"));
  EXPECT_TRUE(sim.errorDialogs.empty());
  expectOtherProgramUntouched();
}

// Another installation's saver, data file and entry outlive a failed installation that never
// replaced them (the saver was busy, or the failure came first).
TEST_F(UninstallRegistration, RollbackRemovesOnlyWhatTheFailedInstallationClaimed) {
  const struct {
    const char* name;
    std::vector<std::string> claimed;
    bool saverGoes, dataGoes;
  } cases[] = {
      {"nothing claimed", {}, false, false},
      {"only the data file", {"C:\\WINDOWS\\x.ssd"}, false, true},
      {"only the saver, named in another case", {"c:\\windows\\X.SCR"}, true, false},
      {"a library", {"C:\\WINDOWS\\impborl.dll"}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    putFiles({{kSaverX, "saver"}, {"C:\\WINDOWS\\x dir", "stray file"}, {"C:\\WINDOWS\\x.ssd", "data"},
              {"C:\\WINDOWS\\impborl.dll", "library"}});
    ASSERT_EQ(createUninstallKey(kSaverX), 0);
    doQuietUninstall(kSaverX, c.claimed);
    EXPECT_EQ(sim.fileExistsAt(kSaverX), !c.saverGoes);
    EXPECT_EQ(sim.fileExistsAt("C:\\WINDOWS\\x dir"), !c.saverGoes);
    EXPECT_EQ(sim.registryKeyExists(kRoot + "x"), !c.saverGoes);
    EXPECT_EQ(sim.fileExistsAt("C:\\WINDOWS\\x.ssd"), !c.dataGoes);
    EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\impborl.dll"));
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(UninstallRegistration, RollbackLeavesADirectoryAtTheDirPathAlone) {
  sim.putFile("C:\\WINDOWS\\x dir\\notes.txt", "someone else's");
  doQuietUninstall(kSaverX, kAllOfX);
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\x dir\\notes.txt"));
}

TEST_F(UninstallRegistration, RollbackWithNothingInPlaceStillRemovesTheKey) {
  ASSERT_EQ(createUninstallKey(kSaverX), 0);
  const auto before = sim.snapshot();
  doQuietUninstall(kSaverX, kAllOfX);
  EXPECT_EQ(sim.snapshot(), before);
  EXPECT_FALSE(sim.registryKeyExists(kRoot + "x"));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(UninstallRegistration, RollbackPassesOverABusySaverSilently) {
  sim.putFile("C:\\WINDOWS\\x.scr", "saver");
  sim.putFile("C:\\WINDOWS\\x.ssd", "data");
  sim.lockFile("C:\\WINDOWS\\x.scr");
  ASSERT_EQ(createUninstallKey(kSaverX), 0);
  doQuietUninstall(kSaverX, kAllOfX);
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\x.scr"));
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\x.ssd"));
  EXPECT_FALSE(sim.registryKeyExists(kRoot + "x"));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

} // namespace
