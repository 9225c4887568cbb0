// The run state every action works from, and the window's fixed texts.
#include <cstring>

#include "installer/fInstall.h"
#include "platform/win_path.h"

const char* const kMakerHost = "www.panoquill.com";
const char* const kProductPageUrl = "http://www.panoquill.com/Panoquill_ZBNA/zbna_home.html?s=KWRX_104";
const char* const kQuickTimeVendorHost = "www.apple.com";

std::string pathInstaller;
std::string pathInstallerDir;
std::string pathWindows;
std::string pathSYS;
std::string pathTempFile;
std::string pathUninstall;
TInstallerDirectory installerDirectory{};
// The mode bytes live behind the table, where the rest of the program expects them.
uint8_t& isScreenSaver = installerDirectory.isScreenSaver;
uint8_t& completionKind = installerDirectory.completionKind;
uint8_t isBusy = 0;
pq::AppCursor savedCursor = pq::AppCursor::Default;
pq::AppCursor savedLinkCursor = pq::AppCursor::Default;
uint8_t isOverLink = 0;
std::vector<std::string> claimedDestinations;

void resetRunState() {
  pathInstaller.clear();
  pathInstallerDir.clear();
  pathWindows.clear();
  pathSYS.clear();
  pathTempFile.clear();
  pathUninstall.clear();
  std::memset(&installerDirectory, 0, sizeof installerDirectory);
  isBusy = 0;
  savedCursor = pq::AppCursor::Default;
  savedLinkCursor = pq::AppCursor::Default;
  isOverLink = 0;
  claimedDestinations.clear();
}

std::string entryNameAt(int index) {
  if (index < 0 || index >= kDirectoryEntryCount) return std::string();
  return entryName(installerDirectory.entries[index]);
}

std::string installedNameAt(int index) { return pq::createdFileName(entryNameAt(index)); }

std::string saverPathFromDirectory() { return pathWindows + installedNameAt(kMainEntry); }
