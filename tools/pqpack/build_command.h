// pqpack build: an installer from the program, the compression library, the main file, the
// data file and up to two support libraries.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "compression/implode.h"

namespace pqpack {

struct BuildRequest {
  std::string output;
  std::string stub;     // empty: the default pqsetup.exe
  std::string library;  // empty: the default impborl.dll
  pq::ImplodeLevel level = pq::ImplodeLevel::Best;
  bool compressData = false;
  std::string mainFile;
  std::string dataFile;
  std::vector<std::string> libraries;  // 0 to 2
};

// False, with `problem` set, for arguments that do not make a request. `wantsHelp` is set
// for --help.
bool parseBuildArguments(const Args& args, BuildRequest* request, bool* wantsHelp, std::string* problem);

// Builds the installer the request describes; progress lines for large entries go to
// `progress` (may be null). False, with `problem` set, when it is refused or fails; nothing
// is left at the output path then.
bool buildInstaller(const BuildRequest& request, std::FILE* progress, std::string* problem);

extern const char kBuildHelp[];

} // namespace pqpack
