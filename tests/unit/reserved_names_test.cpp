// The reserved names: each group where it is reserved and for which kinds, and the numbered
// and short-name forms that only look alike.
#include "archive/reserved_names.h"

#include <gtest/gtest.h>

#include "archive/directory.h"

namespace {

TEST(ReservedNames, EachGroupIsTakenWhereItsFilesLive) {
  constexpr int32_t kMain = kFileType_Main, kData = kFileType_Data, kLibrary = kFileType_Library;
  const struct {
    const char* landing;
    int32_t fileType;
    bool inWindowsDirectory;
    bool reserved;
  } cases[] = {
      {"SYSTEM.INI", kData, true, true},         {"system.ini", kData, false, false},
      {"notepad.exe", kMain, true, true},        {"user32.dll", kLibrary, true, true},
      {"version.dll", kData, false, true},       {"uxtheme.dll", kLibrary, true, true},
      {"kwrxtemp12.DAT", kData, true, true},     {"KWRXtemp12.dat", kData, false, false},
      {"KWRXtemp012.dat", kData, true, false},   {"PanoquillPartial2.tmp", kMain, false, true},
      {"PanoquillInstallerAction.lock", kData, true, true},
      {"impborl.dll", kMain, false, true},       {"impborl.dll", kLibrary, true, false},
      {"EXPLOR~1.EXE", kMain, true, true},       {"my~file.dll", kLibrary, true, false},
      {"Sunset~1.scr.bak", kMain, true, false},  {"qtlib.dll", kLibrary, true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(!reservedNameHolder(c.landing, c.fileType, c.inWindowsDirectory).empty(), c.reserved) << c.landing;
  }
}

} // namespace
