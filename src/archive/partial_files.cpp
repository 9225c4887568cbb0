#include "archive/partial_files.h"

#include "platform/os.h"
#include "platform/win_path.h"
#include "system/file_removal.h"
#include "system/numbered_files.h"

std::string partialPathFor(const std::string& destination) {
  return firstFreeNumberedPath(pq::extractFilePath(destination), kPartialFileName, destination);
}

bool movePartialIntoPlace(const std::string& partial, const std::string& destination) {
  return pq::os().moveFileEx(partial, destination, pq::kMoveFileReplaceExisting | pq::kMoveFileWriteThrough);
}

void removeAbandonedPartialFiles(const std::vector<std::string>& folders) {
  for (size_t index = 0; index < folders.size(); ++index) {
    bool seen = false;
    for (size_t earlier = 0; earlier < index; ++earlier) seen = seen || pq::pathsEqual(folders[earlier], folders[index]);
    if (seen) continue;
    for (const pq::FoundFile& file : numberedFiles(folders[index], kPartialFileName)) {
      myDeleteFile(folders[index] + file.name, ShowError::No);
    }
  }
}
