// Entry names: which are safe, how messages name them, and which pqpack refuses to store.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ansi_text.h"
#include "archive/reserved_names.h"
#include "file_io.h"
#include "installer_image.h"
#include "platform/win_path.h"

namespace pqpack {

std::string entryLabel(int index, const TInstallFileInfo& entry) {
  const std::string name = entryName(entry);
  return "entry " + std::to_string(index) + (name.empty() ? "" : " (" + displayName(name) + ")");
}

std::string unsafeNameReason(const std::string& name) {
  // The verdict is the installer's own rule; this only finds words for a refusal.
  if (pq::isSafeEntryName(name)) return "";
  if (name.empty()) return "the name is empty";
  const std::string quotedName = "the name '" + displayName(name) + "'";
  if (name.size() > static_cast<size_t>(kEntryNameCapacity)) return quotedName + " is longer than 255 characters";
  if (pq::createdFileName(name).empty()) return quotedName + " names a directory, not a file";
  // A tail of control characters and blanks is dropped when the file is created; one inside stays.
  for (unsigned char c : pq::trimTrailingControl(name)) {
    if (c < 32) return quotedName + " contains a control character";
  }
  for (unsigned char c : name) {
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

bool entryNameOfPath(const std::string& path, std::string* name, std::string* problem) {
  const std::string fileName = composeAccents(textOf(pathOf(path).filename()));
  std::string offending;
  if (utf8ToWindows1252(fileName, name, &offending)) return true;
  if (!isUtf8(fileName)) {
    *problem = "the name is not UTF-8 text, so it cannot be stored as a Windows name; rename the file";
  } else if (isCombiningAccent(firstCharacter(offending))) {
    char character[16];
    std::snprintf(character, sizeof character, "U+%04X", firstCharacter(offending));
    *problem = std::string("the name holds a separate accent (the combining character ") + character +
               ") that Windows code page 1252 has no accented letter for: the installer would show and write "
               "another name; rename the file with the letters of Western European languages";
  } else {
    *problem = "the name holds '" + offending +
               "', which Windows code page 1252 cannot hold: the installer would show and write another name; "
               "rename the file with the letters of Western European languages, digits and punctuation";
  }
  return false;
}

namespace {

// For a stored name that reads as UTF-8 text, what the installer shows instead; empty for any
// other name.
std::string utf8NameWarning(const std::string& name) {
  // Plain ASCII reads the same either way; only bytes from 0x80 up can be taken two ways.
  const bool hasHighBytes =
      std::any_of(name.begin(), name.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; });
  if (!hasHighBytes || !isUtf8(name)) return "";
  return "the name is stored as UTF-8 text for '" + name + "', but the installer shows and writes it as '" +
         displayName(name) + "'; build it again with a current pqpack";
}

std::string tailOf(unsigned char last) {
  if (last == '.') return "a dot";
  if (last == ' ') return "a blank";
  return "a control character";
}

} // namespace

void checkStoredName(int index, const std::string& name, int32_t fileType, InstallMode mode,
                     Findings* findings) {
  const std::string unsafe = unsafeNameReason(name);
  if (!unsafe.empty()) {
    addProblem(findings, FindingCode::EntryName, index, unsafe);
    return;
  }
  const std::string quotedName = "the name '" + displayName(name) + "'";
  const auto last = static_cast<unsigned char>(name.back());
  if (last == '.' || last <= ' ') {
    // The installer's own mode test ignores such a tail, Windows drops it: the file would not
    // be what its name says ("dot.scr." is a movie that lands as the saver dot.scr).
    addProblem(findings, FindingCode::EntryNameTrailing, index,
               quotedName + " ends in " + tailOf(last) + ", which Windows drops: the file would be created as '" +
                   displayName(pq::createdFileName(name)) + "'; rename it");
    return;
  }
  const std::string landing = landingName(name, fileType);
  if (landing.size() > kLongestLandingName) {
    addProblem(findings, FindingCode::EntryName, index,
               "the name is " + std::to_string(landing.size()) + " characters: in a Windows folder of " +
                   std::to_string(kLongestDestinationFolder) +
                   " characters its path would pass Windows' limit of " + std::to_string(kLongestPath) +
                   " (MAX_PATH); shorten it to " + std::to_string(kLongestLandingName) + " characters at most");
    return;
  }
  const bool inWindowsDirectory = landsInWindowsDirectory(fileType, mode);
  const std::string holder = reservedNameHolder(landing, fileType, inWindowsDirectory);
  if (!holder.empty()) {
    addProblem(findings, FindingCode::EntryNameReserved, index,
               "it would be installed as '" + displayName(landing) + "'" +
                   (inWindowsDirectory ? " in the Windows directory" : " beside the installer") + ", " + holder +
                   "; rename it");
  }
  const std::string warning = utf8NameWarning(name);
  if (!warning.empty()) addWarning(findings, FindingCode::EntryNameEncoding, index, warning);
}

} // namespace pqpack
