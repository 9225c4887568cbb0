#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "errors/messages.h"
#include "platform/sim/sim_os.h"
#include "support/sim_test.h"
#include "system/data_file_header.h"
#include "system/quicktime.h"

namespace {

const char* const kDataFile = "C:\\WINDOWS\\Sunset.ssd";

// Records how files are opened, so the sharing mode can be checked.
class OpenRecordingOs : public pq::SimOs {
public:
  using SimOs::SimOs;
  struct Open { std::string path; pq::FileAccess access; pq::FileShare share; pq::FileCreation creation; };
  std::vector<Open> opens;

  std::unique_ptr<pq::OsFile> openFile(const std::string& path, pq::FileAccess access, pq::FileShare share,
                                       pq::FileCreation creation) override {
    opens.push_back({path, access, share, creation});
    return SimOs::openFile(path, access, share, creation);
  }
};

// A data file header of `size` bytes with the level's four bytes where the reader looks, as
// given: the reader's byte order is what is tested, not a writer's.
std::string header(const uint8_t levelBytes[4], std::size_t size = 64) {
  std::string bytes(size, '\x5a');
  for (int i = 0; i < 4; ++i) bytes[kDataFileLevelOffset + i] = static_cast<char>(levelBytes[i]);
  return bytes;
}

class QuickTime : public pqtest::SimTest<OpenRecordingOs> {
protected:
  QuickTime() : SimTest("quicktime") {}

  int32_t levelFromBytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    const uint8_t bytes[4] = {b0, b1, b2, b3};
    sim.putFile(kDataFile, header(bytes));
    return readRequiredQuickTimeLevel(kDataFile);
  }
};

TEST_F(QuickTime, LevelIsTheSignedLittleEndianIntegerAtOffsetEight) {
  EXPECT_EQ(levelFromBytes(0, 0, 0, 0), 0);
  EXPECT_EQ(levelFromBytes(0xFF, 0xFF, 0xFF, 0xFF), -1);
  EXPECT_EQ(levelFromBytes(2, 0, 0, 0), 2);
  EXPECT_EQ(levelFromBytes(3, 0, 0, 0), 3);
  EXPECT_EQ(levelFromBytes(4, 0, 0, 0), 4);
  EXPECT_EQ(levelFromBytes(0x04, 0x03, 0x02, 0x01), 0x01020304);
  EXPECT_EQ(levelFromBytes(0x00, 0x00, 0x00, 0x80), INT32_MIN);
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(QuickTime, DataFileIsOpenedReadOnlyWhileOthersMayReadAndWrite) {
  levelFromBytes(3, 0, 0, 0);
  ASSERT_EQ(sim.opens.size(), 1u);
  EXPECT_EQ(sim.opens[0].path, kDataFile);
  EXPECT_EQ(sim.opens[0].access, pq::FileAccess::Read);
  EXPECT_EQ(sim.opens[0].share, pq::FileShare::ReadWrite);
  EXPECT_EQ(sim.opens[0].creation, pq::FileCreation::OpenExisting);
  EXPECT_EQ(sim.fileContents(kDataFile)->size(), 64u); // reading changed nothing
}

TEST_F(QuickTime, OnlyTheFirstSixtyFourBytesMatter) {
  const uint8_t bytes[4] = {2, 0, 0, 0};
  sim.putFile(kDataFile, header(bytes, 100000));
  EXPECT_EQ(readRequiredQuickTimeLevel(kDataFile), 2);
}

// 100 is the run-time library's number, shown with its own words rather than the system's
// text for 100, which is about semaphores.
TEST_F(QuickTime, AShortDataFileIsReadBeyondItsEnd) {
  const uint8_t bytes[4] = {3, 0, 0, 0};
  sim.putFile(kDataFile, header(bytes, 63));
  EXPECT_EQ(readRequiredQuickTimeLevel(kDataFile), 0);
  ASSERT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.errorDialogs[0],
            "Installation Error: Problem using C:\\WINDOWS\\Sunset.ssd. \r\n\r\nRead beyond end of file");
}

TEST_F(QuickTime, AMissingDataFileIsReportedWithTheOpenError) {
  EXPECT_EQ(readRequiredQuickTimeLevel(kDataFile), 0);
  ASSERT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.errorDialogs[0],
            "Installation Error: Problem using C:\\WINDOWS\\Sunset.ssd. \r\n\r\n" + systemErrorText(2));
  EXPECT_NE(systemErrorText(2), "");
}

TEST_F(QuickTime, AFailedOpenOrReadIsReportedWithItsNumberOrAsUnspecified) {
  // A failure for which the system keeps no number is still a failure: "Unspecified error".
  struct Row { const char* call; uint32_t error; TResult shown; };
  const std::vector<Row> rows = {
      {"read", pq::kWinErrorAccessDenied, 5}, {"read", 0, kErr_Unspecified}, {"openFile", 0, kErr_Unspecified}};
  const uint8_t bytes[4] = {3, 0, 0, 0};
  sim.putFile(kDataFile, header(bytes));
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.call) + " " + std::to_string(row.error));
    sim.errorDialogs.clear();
    sim.failCall(row.call, row.error);
    EXPECT_EQ(readRequiredQuickTimeLevel(kDataFile), 0);
    EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(row.shown, kDataFile)});
    sim.clearFailures();
  }
}

struct Installed {
  bool qts;
  bool qtim32;
};

TEST_F(QuickTime, RequiredLevelIsComparedWithTheFilesInTheSystemDirectory) {
  // Installed level: 3 with QuickTime.qts, 2 with QTim32.dll only, 0 with neither.
  struct Row { Installed installed; int32_t level; TResult expected; };
  const std::vector<Row> rows = {
      {{false, false}, -1, 0}, {{false, false}, 0, 0}, {{false, false}, 1, -200}, {{false, false}, 2, -200},
      {{false, true}, 1, 0},   {{false, true}, 2, 0},  {{false, true}, 3, -200},  {{true, false}, 3, 0},
      {{true, false}, 2, 0},   {{true, true}, 3, 0},   {{true, true}, 4, -200},   {{true, false}, INT32_MAX, -200},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.installed.qts) + std::to_string(row.installed.qtim32) + " level " +
                 std::to_string(row.level));
    std::error_code ignored;
    std::filesystem::remove(*sim.hostPath("C:\\WINDOWS\\SYSTEM32\\QuickTime.qts"), ignored);
    std::filesystem::remove(*sim.hostPath("C:\\WINDOWS\\SYSTEM32\\QTim32.dll"), ignored);
    if (row.installed.qts) sim.putFile("C:\\WINDOWS\\SYSTEM32\\QuickTime.qts", "qt");
    if (row.installed.qtim32) sim.putFile("C:\\WINDOWS\\SYSTEM32\\QTim32.dll", "qt");
    EXPECT_EQ(checkQuickTime(row.level), row.expected);
  }
}

TEST_F(QuickTime, DirectoriesNamedLikeQuickTimeFilesDoNotCount) {
  sim.makeDirectory("C:\\WINDOWS\\SYSTEM32\\QuickTime.qts");
  sim.makeDirectory("C:\\WINDOWS\\SYSTEM32\\QTim32.dll");
  EXPECT_EQ(checkQuickTime(1), kErr_QuickTimeRequired);
}

TEST_F(QuickTime, SystemDirectoryReportedWithItsBackslashIsUsedAsItIs) {
  sim.setSystemDirectoryReported("C:\\WINDOWS\\SYSTEM32\\");
  sim.putFile("C:\\WINDOWS\\SYSTEM32\\QuickTime.qts", "qt");
  EXPECT_EQ(checkQuickTime(3), 0);
  EXPECT_EQ(checkQuickTime(4), kErr_QuickTimeRequired);
}

TEST_F(QuickTime, TheFilesAreLookedForInTheReportedSystemDirectoryOnly) {
  sim.putFile("C:\\WINDOWS\\QuickTime.qts", "qt in the wrong place");
  EXPECT_EQ(checkQuickTime(1), kErr_QuickTimeRequired);
  sim.setSystemDirectoryReported("C:\\WINDOWS");
  EXPECT_EQ(checkQuickTime(3), 0);
}

} // namespace
