#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "errors/messages.h"
#include "platform/sim/sim_os.h"
#include "support/sim_test.h"

namespace {

// The simulated Windows with a message table the test writes, so that the trimming is
// checked against texts chosen for it rather than whatever the table happens to hold.
class ScriptedMessagesOs : public pq::SimOs {
public:
  using SimOs::SimOs;
  std::map<uint32_t, std::string> table;
  struct Request { uint32_t code; uint32_t bufferChars; };
  std::vector<Request> requests;

  std::string systemMessage(uint32_t code, uint32_t bufferChars) override {
    requests.push_back({code, bufferChars});
    auto found = table.find(code);
    return found == table.end() ? std::string() : found->second;
  }
};

class Messages : public pqtest::SimTest<ScriptedMessagesOs> {
protected:
  Messages() : SimTest("messages") {
    sim.table[2] = "The system cannot find the file specified.\r\n";
    sim.table[5] = "Access is denied.\r\n";
  }
  // The one dialog shown since the test began.
  std::string onlyDialog() const {
    EXPECT_EQ(sim.errorDialogs.size(), 1u);
    return sim.errorDialogs.empty() ? std::string() : sim.errorDialogs.back();
  }
};

TEST_F(Messages, SystemTextLosesTrailingFullStopsBlanksAndControlCharacters) {
  sim.table[7] = "Ends with noise. . \t\r\n";
  sim.table[8] = "Version 1.2 of v.b failed.\r\n";
  sim.table[9] = std::string("Nul and bell\0\a", 14);
  sim.table[10] = ".\r\n";
  EXPECT_EQ(systemErrorText(5), "Access is denied");
  EXPECT_EQ(systemErrorText(7), "Ends with noise");
  EXPECT_EQ(systemErrorText(8), "Version 1.2 of v.b failed");
  EXPECT_EQ(systemErrorText(9), "Nul and bell");
  EXPECT_EQ(systemErrorText(10), "");
  EXPECT_EQ(systemErrorText(11), ""); // no text in the table
  ASSERT_FALSE(sim.requests.empty());
  EXPECT_EQ(sim.requests.front().bufferChars, 256u);
}

TEST_F(Messages, NegativeCodesHaveNoSystemTextAndAreNeverLookedUp) {
  for (TResult code : {-1, -7, -13, -16, -25, -30, -31, -32, -34, -35, -38, -200}) {
    EXPECT_EQ(systemErrorText(code), "") << code;
  }
  EXPECT_TRUE(sim.requests.empty());
}

TEST_F(Messages, SaverBusyTextIsTheSameWhateverTheFile) {
  const std::string expected =
      "Setup Error: Screen Saver file is busy.\r\n\r\nPlease close the screen saver control panel and try again.";
  EXPECT_EQ(installErrorMessage(-38, "C:\\WINDOWS\\Sunset.scr"), expected);
  EXPECT_EQ(installErrorMessage(-38, ""), expected);
}

TEST_F(Messages, CorruptedTextNamesTheFile) {
  EXPECT_EQ(installErrorMessage(-34, "C:\\Setup\\Setup.exe"),
            "Installation Error: \r\n\r\nFile C:\\Setup\\Setup.exe may be corrupted. Please get a new copy and try "
            "installation again.");
}

TEST_F(Messages, BusyTextNamesTheFile) {
  EXPECT_EQ(installErrorMessage(-32, "C:\\WINDOWS\\Sunset.scr"),
            "Installation Error: \r\n\r\nFile C:\\WINDOWS\\Sunset.scr is busy and cannot be replaced. Please close "
            "any other application that may be using this file and try again.");
}

TEST_F(Messages, UnspecifiedTextLeavesTheFileOut) {
  EXPECT_EQ(installErrorMessage(-1, "C:\\WINDOWS\\Sunset.scr"), "Installation Error: Unspecified error.");
}

TEST_F(Messages, InstallerCodesWithoutOwnTextEndAfterTheEmptyLine) {
  for (TResult code : {-7, -13, -16, -25, -30, -31, -35, -200}) {
    EXPECT_EQ(installErrorMessage(code, "C:\\WINDOWS\\Sunset.ssd"),
              "Installation Error: Problem using C:\\WINDOWS\\Sunset.ssd. \r\n\r\n")
        << code;
  }
}

TEST_F(Messages, SystemNumbersEndWithTheSystemText) {
  EXPECT_EQ(installErrorMessage(5, "C:\\WINDOWS\\Sunset.scr"),
            "Installation Error: Problem using C:\\WINDOWS\\Sunset.scr. \r\n\r\nAccess is denied");
}

TEST_F(Messages, ShowInstallErrorShowsExactlyTheBuiltTextOnce) {
  showInstallError(-32, "C:\\WINDOWS\\Sunset.scr");
  EXPECT_EQ(onlyDialog(), installErrorMessage(-32, "C:\\WINDOWS\\Sunset.scr"));
}

TEST_F(Messages, SystemErrorFollowsTheSentenceWithAnEmptyLineAndTheSystemText) {
  const std::string sentence = "Problem copying C:\\Setup\\Setup.exe to C:\\WINDOWS\\KWRXtemp1.dat. ";
  EXPECT_EQ(systemErrorMessage(2, sentence),
            "System Error: Problem copying C:\\Setup\\Setup.exe to C:\\WINDOWS\\KWRXtemp1.dat. \r\n\r\n"
            "The system cannot find the file specified");
  showSystemError(2, sentence);
  EXPECT_EQ(onlyDialog(), systemErrorMessage(2, sentence));
}

TEST_F(Messages, SystemErrorWithoutSystemTextHasAnEmptyTail) {
  EXPECT_EQ(systemErrorMessage(-35, "Nothing to add."), "System Error: Nothing to add.\r\n\r\n");
}

} // namespace
