// Paths and names derived from the directory's entry names, shared by the install and
// uninstall actions.
#pragma once

#include <string>

#include "installer/fInstall.h"

// pathWindows + entry 2's name.
inline std::string saverPathFromDirectory() { return pathWindows + entryNameAt(2); }

// Entry 2's name without its extension: everything before its last ".", or the whole name.
inline std::string screenSaverNameFromDirectory() {
  const std::string name = entryNameAt(2);
  const std::string::size_type dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}
