// Files the installer names itself, prefix + a decimal number from 1 up + suffix, in a folder:
// the temporary copies of the installer and the partial files of an installation. A run takes
// the first free number; the next run finds what a killed run left by the same names.
#pragma once

#include <string>
#include <vector>

#include "platform/os.h"

struct NumberedName {
  const char* prefix;
  const char* suffix;
};

// True when `name` is one of this kind: exactly the prefix, a number without leading zeros and
// the suffix, in any letter case.
bool isNumberedName(const std::string& name, const NumberedName& kind);

// `folder` (ending in '\') + prefix + number + suffix.
std::string numberedPath(const std::string& folder, const NumberedName& kind, int number);

// The first path of this kind in `folder` at which no file exists, from number 1 upwards,
// other than `taken` (compared case-blind), which a file is about to take.
std::string firstFreeNumberedPath(const std::string& folder, const NumberedName& kind,
                                  const std::string& taken = std::string());

// The files of this kind in `folder`: exactly the prefix, a number without leading zeros and
// the suffix, in any letter case. Folders, and names that only look alike, are not among them.
std::vector<pq::FoundFile> numberedFiles(const std::string& folder, const NumberedName& kind);
