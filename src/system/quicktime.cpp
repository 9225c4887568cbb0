#include "system/quicktime.h"

#include <cstdint>
#include <memory>
#include <string>

#include "compression/byte_order.h"
#include "errors/logFile.h"
#include "errors/messages.h"
#include "platform/os.h"
#include "platform/win_path.h"
#include "system/data_file_header.h"
#include "system/file_removal.h"

namespace {

// The System directory with its trailing backslash. The installer's run state keeps the
// same path; it is worked out here again so that this module does not depend on it.
std::string systemDirectoryPath() {
  return pq::includeTrailingBackslash(pq::os().systemDirectory(pq::kDirectoryBufferChars));
}

int32_t installedQuickTimeLevel() {
  const std::string pathSYS = systemDirectoryPath();
  if (fileExists(pathSYS + "QuickTime.qts")) return kQuickTimeLevel_3;
  if (fileExists(pathSYS + "QTim32.dll")) return kQuickTimeLevel_2;
  return kQuickTimeLevel_None;
}

int32_t readLevel(const std::string& dataFilePath) {
  // Other programs may hold the data file open meanwhile, for reading or for writing.
  std::unique_ptr<pq::OsFile> file =
      pq::os().openFile(dataFilePath, pq::FileAccess::Read, pq::FileShare::ReadWrite, pq::FileCreation::OpenExisting);
  if (!file) {
    showInstallError(failureCode(pq::os().lastError()), dataFilePath);
    return 0;
  }
  uint8_t header[kDataFileHeaderSize] = {};
  uint32_t bytesRead = 0;
  if (!file->read(header, kDataFileHeaderSize, &bytesRead)) {
    showInstallError(failureCode(pq::os().lastError()), dataFilePath);
    return 0;
  }
  if (bytesRead < static_cast<uint32_t>(kDataFileHeaderSize)) {
    showInstallError(kIoErr_ReadBeyondEnd, dataFilePath);
    return 0;
  }
  // The file is only read, so a failing close loses nothing.
  file->close();
  return static_cast<int32_t>(pq::loadLittleEndian32(header + kDataFileLevelOffset));
}

} // namespace

int32_t readRequiredQuickTimeLevel(const std::string& dataFilePath) {
  int32_t level = 0;
  LogOperation trace("readRequiredQuickTimeLevel", dataFilePath, &level);
  level = readLevel(dataFilePath);
  return level;
}

TResult checkQuickTime(int32_t level) {
  TResult result = kErr_None;
  LogOperation trace("checkQuickTime", std::to_string(level), &result);
  result = level > installedQuickTimeLevel() ? kErr_QuickTimeRequired : kErr_None;
  return result;
}
