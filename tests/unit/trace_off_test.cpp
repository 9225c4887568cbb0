// The support trace is compiled to nothing in an ordinary build: a whole installation writes
// no log file and asks the system for nothing on its behalf.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/installer_fixture.h"

namespace pqtest {
namespace {

class TraceOff : public InstallerTest {};

TEST_F(TraceOff, AWholeRunWritesNoLogFileAndMakesNoCallForOne) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  form.butDoneClick(nullptr);

  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\KWRXtemp1.log"));
  EXPECT_TRUE(std::none_of(sim.callLog.begin(), sim.callLog.end(),
                           [](const std::string& call) { return call.find(".log") != std::string::npos; }));
}

} // namespace
} // namespace pqtest
