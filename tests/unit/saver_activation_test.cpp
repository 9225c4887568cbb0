#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

#include "platform/sim/sim_os.h"
#include "platform/win_path.h"
#include "support/sim_test.h"
#include "system/saver_activation.h"

namespace {

const char* const kLongSaver = "C:\\WINDOWS\\Long Saver Name.scr";

class SaverActivation : public pqtest::SimTest<> {
protected:
  SaverActivation() : SimTest("saver_activation") {}
  std::optional<std::string> currentSaver() const { return sim.profileValue("system.ini", "boot", "SCRNSAVE.EXE"); }
  void setCurrentSaver(const std::string& value) {
    sim.writePrivateProfileString("boot", "SCRNSAVE.EXE", value, "system.ini");
    sim.callLog.clear();
  }
  bool called(const std::string& call) const {
    for (const std::string& line : sim.callLog) {
      if (line.rfind(call, 0) == 0) return true;
    }
    return false;
  }
  bool logged(const std::string& line) const {
    return std::find(sim.callLog.begin(), sim.callLog.end(), line) != sim.callLog.end();
  }
};

// Profile lookups ignore case, so the call log checks file, section and key letter for letter.
TEST_F(SaverActivation, ActivationWritesTheShortPathAndSwitchesSaversOn) {
  sim.putFile(kLongSaver, "saver");
  const std::string shortPath = sim.shortPathName(kLongSaver, 260);
  ASSERT_NE(shortPath, "");
  ASSERT_NE(shortPath, kLongSaver);
  EXPECT_EQ(shortPath.find(' '), std::string::npos);

  EXPECT_EQ(makeActiveSaver(kLongSaver), 0);
  EXPECT_TRUE(logged("writePrivateProfileString system.ini [boot] SCRNSAVE.EXE=" + shortPath));
  EXPECT_EQ(currentSaver(), shortPath);
  ASSERT_EQ(sim.spiCalls.size(), 1u);
  EXPECT_TRUE(sim.spiCalls[0].active);
  EXPECT_EQ(sim.spiCalls[0].flags, 2u);
  EXPECT_TRUE(sim.screenSaveActive());
}

TEST_F(SaverActivation, ActivationReplacesAnEarlierSaver) {
  sim.putFile("C:\\WINDOWS\\Sunset.scr", "saver");
  setCurrentSaver("C:\\WINDOWS\\OTHER.SCR");
  EXPECT_EQ(makeActiveSaver("C:\\WINDOWS\\Sunset.scr"), 0);
  EXPECT_EQ(currentSaver(), sim.shortPathName("C:\\WINDOWS\\Sunset.scr", 260));
}

TEST_F(SaverActivation, AMissingSaverIsNotFoundAndChangesNothing) {
  EXPECT_EQ(makeActiveSaver(kLongSaver), kErr_FileNotFound);
  EXPECT_EQ(currentSaver(), std::nullopt);
  EXPECT_TRUE(sim.spiCalls.empty());
  EXPECT_FALSE(called("writePrivateProfileString"));
}

TEST_F(SaverActivation, ARefusedSwitchFailsButLeavesTheProfileWritten) {
  sim.putFile(kLongSaver, "saver");
  sim.refuseScreenSaveActive(true);
  EXPECT_EQ(makeActiveSaver(kLongSaver), kErr_CannotActivate);
  EXPECT_EQ(currentSaver(), sim.shortPathName(kLongSaver, 260));
  EXPECT_FALSE(sim.screenSaveActive());
}

TEST_F(SaverActivation, AFailedProfileWriteFailsWithoutSwitchingSaversOn) {
  sim.putFile(kLongSaver, "saver");
  sim.failCall("writePrivateProfileString", pq::kWinErrorAccessDenied);
  TResult result = makeActiveSaver(kLongSaver);
  EXPECT_NE(result, 0);
  EXPECT_EQ(result, static_cast<TResult>(pq::kWinErrorAccessDenied));
  EXPECT_TRUE(sim.spiCalls.empty());
  EXPECT_FALSE(sim.screenSaveActive());
}

// Savers go off only for the exact long or short path; other savers and near misses (another
// letter case) stay on.
TEST_F(SaverActivation, DeactivationSwitchesOffForTheExactLongOrShortPathOnly) {
  sim.putFile(kLongSaver, "saver");
  const std::string shortPath = sim.shortPathName(kLongSaver, 260);
  const std::string lowerShort = pq::asciiLower(shortPath);
  ASSERT_NE(lowerShort, shortPath);
  const std::pair<std::string, bool> cases[] = {
      {kLongSaver, true}, {shortPath, true}, {"c:\\windows\\long saver name.scr", false}, {lowerShort, false},
      {"C:\\WINDOWS\\OTHER.SCR", false}, {"", false}};
  for (const auto& [current, switchedOff] : cases) {
    SCOPED_TRACE(current);
    setCurrentSaver(current);
    sim.setScreenSaveActiveState(true);
    sim.spiCalls.clear();
    deactivateSaver(kLongSaver);
    EXPECT_EQ(sim.screenSaveActive(), !switchedOff);
    EXPECT_EQ(currentSaver(), current); // the profile entry itself stays
    if (!switchedOff) {
      EXPECT_TRUE(sim.spiCalls.empty());
      continue;
    }
    ASSERT_EQ(sim.spiCalls.size(), 1u);
    EXPECT_FALSE(sim.spiCalls[0].active);
    EXPECT_EQ(sim.spiCalls[0].flags, 2u);
  }
}

TEST_F(SaverActivation, DeactivatingAMissingSaverReadsNothingAndSwitchesNothing) {
  setCurrentSaver(kLongSaver);
  sim.setScreenSaveActiveState(true);
  deactivateSaver(kLongSaver);
  EXPECT_FALSE(called("getPrivateProfileString"));
  EXPECT_TRUE(sim.spiCalls.empty());
  EXPECT_TRUE(sim.screenSaveActive());
}

TEST_F(SaverActivation, ClosingTheControlPanelClicksItsCancelButton) {
  pq::WindowHandle panel = sim.addTopLevelWindow("Display Properties");
  pq::WindowHandle other = sim.addTopLevelWindow("Display Properties - Notes");
  closeDisplayControlPanel();
  EXPECT_TRUE(logged("findWindow Display Properties"));  // as titled, though the lookup is case-blind
  ASSERT_EQ(sim.clicks.size(), 1u);
  EXPECT_EQ(sim.clicks[0].window, panel);
  EXPECT_EQ(sim.clicks[0].itemId, 2);
  EXPECT_FALSE(sim.windowIsOpen(panel));
  EXPECT_TRUE(sim.windowIsOpen(other));
}

TEST_F(SaverActivation, ClosingWithoutAControlPanelDoesNothing) {
  sim.addTopLevelWindow("Display");
  sim.addTopLevelWindow("Display Properties - Notes");
  closeDisplayControlPanel();
  EXPECT_TRUE(sim.clicks.empty());
}

TEST_F(SaverActivation, OpeningTheControlPanelStopsLookingOnceItsWindowIsThere) {
  sim.onWinExec = [this](const std::string&) { sim.addTopLevelWindow("Display Properties"); };
  openScreenSaverControlPanel();
  EXPECT_EQ(sim.winExecCalls.size(), 1u);
  EXPECT_EQ(sim.findWindowCount, 1);
}

// rundll32.exe by its quoted full path in the System directory, never by a bare name that the
// installer's own folder could answer; nothing is started when that directory is unknown.
TEST_F(SaverActivation, TheControlPanelStartsOnlyFromTheSystemDirectory) {
  openScreenSaverControlPanel();
  sim.setSystemDirectoryReported("");
  openScreenSaverControlPanel();
  ASSERT_EQ(sim.winExecCalls.size(), 1u);
  EXPECT_EQ(sim.winExecCalls[0].commandLine,
            "\"C:\\WINDOWS\\SYSTEM32\\rundll32.exe\" shell32.dll,Control_RunDLL desk.cpl,,1");
  EXPECT_EQ(sim.winExecCalls[0].showMode, 1);
}

TEST_F(SaverActivation, OpeningTheControlPanelGivesUpAfterAThousandLookups) {
  openScreenSaverControlPanel();
  EXPECT_EQ(sim.winExecCalls.size(), 1u);
  EXPECT_EQ(sim.findWindowCount, 1000);
}

TEST_F(SaverActivation, OpenPathUsesTheDefaultVerbShownNormally) {
  openPath("C:\\Movies\\");
  ASSERT_EQ(sim.shellExecuteCalls.size(), 1u);
  EXPECT_EQ(sim.shellExecuteCalls[0].verb, "");
  EXPECT_EQ(sim.shellExecuteCalls[0].file, "C:\\Movies\\");
  EXPECT_EQ(sim.shellExecuteCalls[0].showMode, 1);
}

} // namespace
