#include "archive/entry_rules.h"

#include "platform/win_path.h"

bool isScreenSaverName(const std::string& mainEntryName) { return pq::normalizedExtension(mainEntryName) == ".scr"; }

InstallMode installModeOf(const std::string& mainEntryName) {
  return isScreenSaverName(mainEntryName) ? InstallMode::ScreenSaver : InstallMode::Movie;
}

std::string screenSaverName(const std::string& saverPath) {
  return pq::changeFileExt(pq::extractFileName(saverPath), "");
}

std::string libraryEntryName(const std::string& fileName) {
  return pq::changeFileExt(fileName, kStoredLibraryExtension);
}

std::string landingName(const std::string& entryName, int32_t fileType) {
  const std::string created = pq::createdFileName(entryName);
  return fileType == kFileType_Library ? pq::changeFileExt(created, kInstalledLibraryExtension) : created;
}

bool landsInWindowsDirectory(int32_t fileType, InstallMode mode) {
  switch (fileType) {
  case kFileType_Plain:
  case kFileType_Main:
  case kFileType_Data:
    return mode == InstallMode::ScreenSaver;
  case kFileType_Library:
    return true;
  default:
    return false;
  }
}

std::string entryDestination(const std::string& entryName, int32_t fileType, InstallMode mode,
                             const std::string& windowsDirectory, const std::string& installerDirectory) {
  if (fileType < kFileType_Plain || fileType > kFileType_Data) return std::string();
  return (landsInWindowsDirectory(fileType, mode) ? windowsDirectory : installerDirectory) +
         landingName(entryName, fileType);
}
