#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "errors/messages.h"
#include "platform/sim/sim_os.h"
#include "support/sim_test.h"
#include "system/file_removal.h"

namespace {

class FileRemoval : public pqtest::SimTest<> {
protected:
  FileRemoval() : SimTest("file_removal") {}
};

TEST_F(FileRemoval, FileExistsSeesFilesButNotDirectories) {
  sim.putFile("C:\\WINDOWS\\Sunset.scr", "saver");
  sim.makeDirectory("C:\\WINDOWS\\Sunset dir");
  EXPECT_TRUE(fileExists("C:\\WINDOWS\\Sunset.scr"));
  EXPECT_TRUE(fileExists("c:\\windows\\SUNSET.SCR"));
  EXPECT_FALSE(fileExists("C:\\WINDOWS\\Sunset dir"));
  EXPECT_FALSE(fileExists("C:\\WINDOWS\\Missing.scr"));
  EXPECT_FALSE(fileExists("C:\\NoSuchFolder\\Missing.scr"));
}

TEST_F(FileRemoval, NothingAtThePathIsSuccessWithoutAMessage) {
  const std::string path = "C:\\WINDOWS\\Missing.scr";
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy(path, ShowError::Yes, kBusyFileAttempts), 0);
  EXPECT_EQ(myDeleteFile(path, ShowError::Yes), 0);
  EXPECT_EQ(deleteQuietly(path, ShowError::Yes), 0);
  EXPECT_EQ(myDeleteFile("C:\\NoSuchFolder\\Missing.scr", ShowError::Yes), 0);
  EXPECT_TRUE(sim.errorDialogs.empty());
  EXPECT_EQ(calls("deleteFile"), 0);
}

TEST_F(FileRemoval, ADirectoryCountsAsNothingAndStays) {
  const std::string path = "C:\\WINDOWS\\Sunset dir";
  sim.makeDirectory(path);
  sim.putFile(path + "\\inside.txt", "kept");
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy(path, ShowError::Yes, kBusyFileAttempts), 0);
  EXPECT_EQ(myDeleteFile(path, ShowError::Yes), 0);
  EXPECT_EQ(deleteQuietly(path, ShowError::Yes), 0);
  EXPECT_TRUE(sim.directoryExistsAt(path));
  EXPECT_TRUE(sim.fileExistsAt(path + "\\inside.txt"));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(FileRemoval, AReadOnlyFileGoesAfterItsAttributesAreReset) {
  for (int round = 0; round < 3; ++round) {
    const std::string path = "C:\\WINDOWS\\ReadOnly" + std::to_string(round) + ".ssd";
    sim.putFile(path, "data");
    sim.setReadOnly(path, true);
    sim.callLog.clear();
    TResult result = round == 0   ? myDeleteFile_WaitUntilNotBusy(path, ShowError::Yes, 1)
                     : round == 1 ? myDeleteFile(path, ShowError::Yes)
                                  : deleteQuietly(path, ShowError::Yes);
    EXPECT_EQ(result, 0) << round;
    EXPECT_FALSE(sim.fileExistsAt(path)) << round;
    EXPECT_EQ(calls("deleteFile"), 2) << round;
    EXPECT_EQ(calls("setFileAttributes"), 1) << round;
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(FileRemoval, ALockedSaverStaysBusyThroughEveryAttemptAndIsReportedOnce) {
  const std::string path = "C:\\WINDOWS\\Saver.SCR";
  sim.putFile(path, "saver");
  sim.lockFile(path);
  sim.callLog.clear();
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy(path, ShowError::Yes, kBusyFileAttempts), kErr_SaverBusy);
  EXPECT_EQ(calls("findFirstFile"), kBusyFileAttempts);
  EXPECT_EQ(calls("deleteFile"), 2 * kBusyFileAttempts);
  EXPECT_EQ(calls("setFileAttributes"), kBusyFileAttempts);
  ASSERT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.errorDialogs[0], installErrorMessage(kErr_SaverBusy, path));
  EXPECT_EQ(sim.fileContents(path), "saver");
}

TEST_F(FileRemoval, OtherLockedFilesAreGenerallyBusy) {
  sim.putFile("C:\\WINDOWS\\data.ssd", "data");
  sim.lockFile("C:\\WINDOWS\\data.ssd");
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy("C:\\WINDOWS\\data.ssd", ShowError::No, kBusyFileAttempts), kErr_FileBusy);

  // Only the last extension counts.
  sim.putFile("C:\\WINDOWS\\Saver.scr.bak", "backup");
  sim.lockFile("C:\\WINDOWS\\Saver.scr.bak");
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy("C:\\WINDOWS\\Saver.scr.bak", ShowError::No, 3), kErr_FileBusy);
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(FileRemoval, SingleAttemptRemovalCallsALockedSaverGenerallyBusy) {
  const std::string path = "C:\\WINDOWS\\Sunset.scr";
  sim.putFile(path, "saver");
  sim.lockFile(path);
  sim.callLog.clear();
  EXPECT_EQ(myDeleteFile(path, ShowError::Yes), kErr_FileBusy);
  EXPECT_EQ(deleteQuietly(path, ShowError::No), kErr_FileBusy);
  EXPECT_EQ(calls("deleteFile"), 4);
  ASSERT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.errorDialogs[0], installErrorMessage(kErr_FileBusy, path));
}

TEST_F(FileRemoval, AFileReleasedDuringTheRetriesIsRemovedSilently) {
  const std::string path = "C:\\WINDOWS\\Sunset.scr";
  sim.putFile(path, "saver");
  sim.lockFile(path, 7); // free after seven failed deletions: during the fourth attempt
  sim.callLog.clear();
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy(path, ShowError::Yes, kBusyFileAttempts), 0);
  EXPECT_FALSE(sim.fileExistsAt(path));
  EXPECT_EQ(calls("findFirstFile"), 4);
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(FileRemoval, NoAttemptsMeansUnspecifiedFailure) {
  const std::string path = "C:\\WINDOWS\\Sunset.scr";
  sim.putFile(path, "saver");
  sim.callLog.clear();
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy(path, ShowError::No, 0), kErr_Unspecified);
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy(path, ShowError::Yes, -5), kErr_Unspecified);
  EXPECT_EQ(calls("findFirstFile"), 0);
  EXPECT_EQ(calls("deleteFile"), 0);
  EXPECT_TRUE(sim.fileExistsAt(path));
  ASSERT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.errorDialogs[0], "Installation Error: Unspecified error.");
}

TEST_F(FileRemoval, ALockedReadOnlyFileLosesItsReadOnlyBitEvenThoughItStays) {
  const std::string path = "C:\\WINDOWS\\Locked.dll";
  sim.putFile(path, "library");
  sim.setReadOnly(path, true);
  sim.lockFile(path);
  EXPECT_EQ(myDeleteFile(path, ShowError::No), kErr_FileBusy);
  EXPECT_TRUE(sim.fileExistsAt(path));
  EXPECT_FALSE(sim.isReadOnly(path));
}

TEST_F(FileRemoval, AFailedAttributeResetLeavesTheDecisionToTheSecondDeletion) {
  const std::string path = "C:\\WINDOWS\\Plain.ssd";
  sim.putFile(path, "data");
  sim.failCall("deleteFile", pq::kWinErrorAccessDenied, "Plain.ssd", 0, 1);
  sim.failCall("setFileAttributes", pq::kWinErrorAccessDenied, "Plain.ssd", 0, 1);
  EXPECT_EQ(myDeleteFile(path, ShowError::Yes), 0);
  EXPECT_FALSE(sim.fileExistsAt(path));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

// A lookup that fails, with any error, finds nothing: no deletion, no message, no retries.
TEST_F(FileRemoval, ALookupThatFailsCountsAsNoFile) {
  const std::string path = "C:\\WINDOWS\\Hidden\\Sunset.ssd";
  sim.putFile(path, "data");
  sim.failCall("findFirstFile", pq::kWinErrorAccessDenied, "Sunset.ssd", 0, -1);
  sim.callLog.clear();
  EXPECT_EQ(myDeleteFile_WaitUntilNotBusy(path, ShowError::Yes, kBusyFileAttempts), 0);
  EXPECT_EQ(myDeleteFile(path, ShowError::Yes), 0);
  EXPECT_FALSE(fileExists(path));
  EXPECT_EQ(calls("findFirstFile"), 3);
  EXPECT_EQ(calls("deleteFile"), 0);
  EXPECT_TRUE(sim.errorDialogs.empty());
  EXPECT_TRUE(sim.fileExistsAt(path));
}

} // namespace
