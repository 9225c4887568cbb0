// The version information of a Windows file (its RT_VERSION resource) as Explorer shows it:
// the fixed file version and the texts of the first string table, read with every length
// checked against the resource's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pqpack {

struct VersionInfo {
  bool hasFixedInfo = false;
  uint16_t fileVersion[4] = {0, 0, 0, 0}; // major, minor, patch, build
  // Name and text of each string of the first string table ("ProductName", ...), in order.
  std::vector<std::pair<std::string, std::string>> strings;

  // The text under `name`, or empty.
  std::string text(const std::string& name) const;
};

// Reads a VS_VERSIONINFO block. False, with `problem` set, when its lengths do not fit its
// bytes or its root is not "VS_VERSION_INFO". Texts are given in UTF-8.
bool parseVersionInfo(const std::vector<uint8_t>& data, VersionInfo* info, std::string* problem);

} // namespace pqpack
