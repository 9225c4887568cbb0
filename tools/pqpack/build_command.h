// pqpack build: an installer from the program, the compression library, the main file, the
// data file and up to two support libraries.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "compression/implode.h"
#include "signature.h"

namespace pqpack {

struct BuildRequest {
  std::string output;
  std::string stub;     // empty: the default pqsetup.exe
  std::string library;  // empty: the default impborl.dll
  pq::ImplodeLevel level = pq::ImplodeLevel::Best;
  unsigned threads = 0;  // 0: every core
  bool compressData = false;
  std::string mainFile;
  std::string dataFile;
  std::vector<std::string> libraries;  // 0 to 2
  SigningRequest signing;              // none unless a certificate is named
};

// The most support libraries an installer holds: entries 4 and 5.
constexpr size_t kMaximumSupportLibraries = 2;

// Builds the installer the request describes; warnings and progress lines for large entries
// go to `progress` (may be null). False, with `problem` set, when it is refused or fails;
// nothing is left at the output path then.
bool buildInstaller(const BuildRequest& request, std::FILE* progress, std::string* problem);

int runBuild(const BuildRequest& request);

} // namespace pqpack
