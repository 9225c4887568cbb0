#include <gtest/gtest.h>

#include "archive/entry_rules.h"

namespace pqtest {
namespace {

TEST(EntryRules, LibrariesAreStoredUnderDatNamesAndLandUnderDllNames) {
  const struct {
    const char* fileName;
    const char* stored;
  } libraries[] = {{"foo.dll", "foo.dat"}, {"QTIM32.DLL", "QTIM32.dat"}, {"noext", "noext.dat"}, {"a.b.dll", "a.b.dat"}};
  for (const auto& library : libraries) EXPECT_EQ(libraryEntryName(library.fileName), library.stored);
  EXPECT_EQ(landingName("impborl.dat", kFileType_Library), "impborl.dll");
  EXPECT_EQ(landingName("Sunset.ssd", kFileType_Data), "Sunset.ssd");
  // A tail no file name keeps goes before the extension is replaced.
  EXPECT_EQ(landingName(std::string("impborl.dat\0", 12), kFileType_Library), "impborl.dll");
  EXPECT_EQ(landingName("Sunset.scr  ", kFileType_Main), "Sunset.scr");
}

TEST(EntryRules, TheMainEntrysExtensionPicksTheModeAndItsNameTheSaversName) {
  EXPECT_TRUE(isScreenSaverName("Sunset.SCR "));
  EXPECT_FALSE(isScreenSaverName("Show.exe"));
  EXPECT_FALSE(isScreenSaverName("scr"));
  EXPECT_EQ(screenSaverName("C:\\WINDOWS\\Sun.set.scr"), "Sun.set");
  EXPECT_EQ(screenSaverName("Sunset"), "Sunset");
}

TEST(EntryRules, EachKindLandsInItsFolderForTheMode) {
  const struct {
    int32_t fileType;
    InstallMode mode;
    const char* destination;
  } cases[] = {
      {kFileType_Main, InstallMode::ScreenSaver, "W\\x.y"}, {kFileType_Main, InstallMode::Movie, "I\\x.y"},
      {kFileType_Plain, InstallMode::Movie, "I\\x.y"},      {kFileType_Data, InstallMode::Movie, "I\\x.y"},
      {kFileType_Library, InstallMode::Movie, "W\\x.dll"},  {7, InstallMode::ScreenSaver, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(entryDestination("x.y", c.fileType, c.mode, "W\\", "I\\"), c.destination);
}

} // namespace
} // namespace pqtest
