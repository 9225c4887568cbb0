#include <gtest/gtest.h>

#include "support/installer_fixture.h"

namespace pqtest {
namespace {

using Form = InstallerTest;

TEST_F(Form, StatusBarUpdateRepaintsAtOnceAndStepsOnlyBelowTheMaximum) {
  form.updateStatusBar("Updating system parameters...", false);
  EXPECT_EQ(form.statusLabel.caption, "Updating system parameters...");
  EXPECT_EQ(view.repaintedStatusTexts, std::vector<std::string>{"Updating system parameters..."});
  EXPECT_EQ(form.progressBar.position, 0);

  form.updateStatusBar("step", true);
  EXPECT_EQ(form.progressBar.position, 10);

  form.setProgressMax(5);
  form.setProgressPosition(5);
  form.updateStatusBar("at the end", true);
  EXPECT_EQ(form.progressBar.position, 5);
}

TEST_F(Form, InstallationStartShowsCopyingAndHidesTheDetail) {
  form.setVisible(form.statusLabel, false);
  form.initInstallerProgressBarInfo();
  EXPECT_TRUE(form.statusLabel.visible);
  EXPECT_EQ(form.statusLabel.caption, "Copying...");
  EXPECT_FALSE(form.labStatus.visible);
}

TEST_F(Form, SuccessShowsTheDetailOnlyInMovieMode) {
  startScreenSaver();
  form.setProgressPosition(5);
  form.setFinalInstallerProgressBarInfo(0);
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_FALSE(form.labStatus.visible);
  EXPECT_EQ(form.progressBar.position, 0);
}

// The detail label is shared with failures: a success after a failure must not show the
// failure's text.
TEST_F(Form, AMovieSuccessAfterAFailureShowsWhereTheMovieIs) {
  startMovie();
  form.setFinalInstallerProgressBarInfo(kErr_QuickTimeRequired);
  form.setFinalInstallerProgressBarInfo(0);
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_TRUE(form.labStatus.visible);
  EXPECT_EQ(form.labStatus.caption, "Movie installed as: \r\n\tC:\\Setup\\Show.exe");
}

TEST_F(Form, FailureShowsTheDetailTextOfItsCode) {
  const struct {
    TResult code;
    const char* detail;
  } cases[] = {
      {kErr_QuickTimeRequired,
       "Requires QuickTime. Please download the latest version of QuickTime, available free from www.apple.com, "
       "and try again."},
      {kErr_CannotActivate, "Cannot activate screen saver."},
      {kErr_ShortTransfer, "File may be corrupted."},
      {kErr_SaverBusy, "File may be corrupted."},
      {kErr_FileNotFound, "File may be corrupted."},
      {112, "File may be corrupted."},
  };
  for (const auto& c : cases) {
    form.setVisible(form.labStatus, false);
    form.setProgressMax(5);
    form.setProgressPosition(3);
    form.setFinalInstallerProgressBarInfo(c.code);
    EXPECT_EQ(form.statusLabel.caption, "Installation Failed.") << c.code;
    EXPECT_EQ(form.labStatus.caption, c.detail) << c.code;
    EXPECT_TRUE(form.labStatus.visible) << c.code;
    EXPECT_EQ(form.progressBar.position, 0) << c.code;
  }
}

// Through the desktop shell, as the signed-in user, where there is one; else by the installer.
TEST_F(Form, TheLinkOpensTheProductPageWithTheDefaultVerb) {
  EXPECT_STREQ(kProductPageUrl, "http://www.panoquill.com/Panoquill_ZBNA/zbna_home.html?s=KWRX_104");
  for (const bool shell : {true, false}) {
    sim.shellExecuteCalls.clear();
    if (!shell) sim.failCall("shellExecuteAsUser", pq::kWinErrorFileNotFound);
    form.madeWithLabelClick(nullptr);
    ASSERT_EQ(sim.shellExecuteCalls.size(), 1u);
    EXPECT_EQ(sim.shellExecuteCalls[0].asUser, shell);
    EXPECT_EQ(sim.shellExecuteCalls[0].verb, "");
    EXPECT_EQ(sim.shellExecuteCalls[0].file, kProductPageUrl);
    EXPECT_EQ(sim.shellExecuteCalls[0].showMode, 1);
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(Form, HoveringTheLinkDuringAnActionKeepsTheWaitCursorsRestore) {
  setCursorToWaitCursor();
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Wait);

  form.madeWithLabelMouseEnter(nullptr);
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::HandPoint);
  EXPECT_EQ(form.madeWithLabelFont.color, pq::SystemColor::Highlight);

  form.madeWithLabelMouseLeave(nullptr);
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Wait);
  EXPECT_EQ(form.madeWithLabelFont.color, pq::SystemColor::WindowText);

  resetCursor();
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);
}

// An action that starts or ends while the pointer rests on the link: the hand belongs to the
// link and the hourglass to the action, so neither outlives its cause.
TEST_F(Form, TheLinksHandAndTheActionsHourglassNeverOutliveTheirCause) {
  // Entered during the action, left after it.
  setCursorToWaitCursor();
  form.madeWithLabelMouseEnter(nullptr);
  resetCursor();
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::HandPoint);
  form.madeWithLabelMouseLeave(nullptr);
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);

  // Entered before the action, left during it.
  form.madeWithLabelMouseEnter(nullptr);
  setCursorToWaitCursor();
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Wait);
  form.madeWithLabelMouseLeave(nullptr);
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Wait);
  resetCursor();
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);

  // Entered before the action, left after it.
  form.madeWithLabelMouseEnter(nullptr);
  setCursorToWaitCursor();
  resetCursor();
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::HandPoint);
  form.madeWithLabelMouseLeave(nullptr);
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);
}

TEST_F(Form, LeavingTheLinkWithoutEnteringItRestoresTheDefaultCursor) {
  sim.setAppCursor(pq::AppCursor::Wait);
  form.madeWithLabelMouseLeave(nullptr);
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);
}

// The renderer repaints only what it is told about, so every start-up change must reach it.
TEST_F(Form, StartUpAnnouncesEveryControlItChanges) {
  startMovie();
  for (ControlId id : {ControlId::Form, ControlId::butInstall, ControlId::labStatus, ControlId::statusLabel,
                       ControlId::progressBar}) {
    EXPECT_NE(std::find(view.changes.begin(), view.changes.end(), id), view.changes.end()) << static_cast<int>(id);
  }
  view.changes.clear();
  form.madeWithLabelMouseEnter(nullptr);
  EXPECT_EQ(view.changes, std::vector<ControlId>{ControlId::madeWithLabel});
}

TEST_F(Form, DoneClosesTheWindowOnceAndRemovesTheTemporaryCopy) {
  startScreenSaver();
  ASSERT_TRUE(sim.fileExistsAt(kTempCopyPath));
  form.butDoneClick(nullptr);
  EXPECT_TRUE(form.closed());
  EXPECT_EQ(view.closeCount, 1);
  EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
  form.Close();
  EXPECT_EQ(view.closeCount, 1);
  EXPECT_TRUE(sim.errorDialogs.empty());
}

} // namespace
} // namespace pqtest
