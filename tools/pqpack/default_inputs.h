// Where pqpack finds the installer program and the compression library when the author
// names none: beside pqpack itself, or in a dist/win32/ folder of the project it was built in.
#pragma once

#include <string>
#include <vector>

namespace pqpack {

// Where an installed pqpack keeps them, from its own folder: cmake --install and the Debian
// package put pqpack in bin/ and them in share/panoquill/ (tools/pqpack/CMakeLists.txt).
extern const char kInstalledWindowsFiles[];

// The places looked at for `fileName`, in order: pqpack's own folder, its win32/ subfolder,
// kInstalledWindowsFiles, dist/win32/ in pqpack's folder and each folder above it, and
// dist/win32/ in the current folder.
std::vector<std::string> defaultInputCandidates(const std::string& fileName);
// The first candidate that is a regular file, or empty.
std::string findDefaultInput(const std::string& fileName);

} // namespace pqpack
