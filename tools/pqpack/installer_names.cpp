// Entry names: which are safe, and what a name becomes when stored and when installed.
#include <cstring>

#include "installer_image.h"
#include "platform/win_path.h"

namespace pqpack {

std::string entryLabel(int index, const TInstallFileInfo& entry) {
  const std::string name = entryName(entry);
  return "entry " + std::to_string(index) + (name.empty() ? "" : " (" + name + ")");
}

std::string unsafeNameReason(const std::string& name) {
  // The verdict is the installer's own rule; this only finds words for a refusal.
  if (pq::isSafeEntryName(name)) return "";
  if (name.empty()) return "the name is empty";
  const std::string quotedName = "the name '" + name + "'";
  if (name.size() > static_cast<size_t>(kEntryNameCapacity)) return quotedName + " is longer than 255 characters";
  if (name.find_first_not_of(". ") == std::string::npos) return quotedName + " names a directory, not a file";
  for (unsigned char c : name) {
    if (c < 32) return quotedName + " contains a control character";
    if (std::strchr("\\/:", c) != nullptr) {
      return quotedName + " contains '" + std::string(1, static_cast<char>(c)) + "': entry names are bare file names";
    }
    if (std::strchr("<>\"|?*", c) != nullptr) {
      return quotedName + " contains '" + std::string(1, static_cast<char>(c)) +
             "', which Windows does not allow in a file name";
    }
  }
  return quotedName + " is a reserved device name";
}

std::string libraryEntryName(const std::string& fileName) { return pq::changeFileExt(fileName, ".dat"); }

std::string installedLibraryName(const std::string& entryName) { return pq::changeFileExt(entryName, ".dll"); }

bool isScreenSaverName(const std::string& name) { return pq::normalizedExtension(name) == ".scr"; }

} // namespace pqpack
