// The version information of the program at the front of an installer (or of any Windows
// file), and pqpack's own version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "version_resource.h"

namespace pqpack {

// The project version pqpack was built with, e.g. "1.0.0".
const char* projectVersion();
// The build type it was built as, e.g. "Release", or "Debug, ASan+UBSan".
const char* buildType();

// Reads the version information of the Windows program or library `image`. False when it is
// no PE image or carries no readable version resource.
bool readVersionInfo(const std::vector<uint8_t>& image, VersionInfo* info);
// Reads the version information of the Windows program at the start of the file at `path`
// (only the bytes before DIRECTORY_OFFSET: the payload is no part of the program). False
// when the file cannot be read, is no PE image, or carries no readable version resource.
bool readProgramVersion(const std::string& path, VersionInfo* info);

// `ProductName "Panoquill Installer", FileVersion "1.0.0"`: what `list` shows of it.
std::string versionSummary(const VersionInfo& info);

} // namespace pqpack
