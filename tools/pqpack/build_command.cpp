#include "build_command.h"

#include <array>
#include <filesystem>
#include <map>

#include "data_file.h"
#include "default_inputs.h"
#include "file_io.h"
#include "installer_image.h"
#include "platform/win_path.h"

namespace pqpack {

const char kBuildHelp[] =
    "usage: pqpack build -o OUT [--stub EXE] [--library DLL] [--level fast|best] [--compress-data]\n"
    "                    MAIN DATA [LIB [LIB]]\n"
    "\n"
    "Writes an installer to OUT: the installer program padded to 478208 bytes, the directory\n"
    "table, then entries 1 to 5.\n"
    "\n"
    "  entry 1  the compression library, stored as impborl.dat (lands as impborl.dll)\n"
    "  entry 2  MAIN, the screen saver (.scr: a screen-saver installer) or the movie\n"
    "  entry 3  DATA, the data file (its 64-byte header holds the QuickTime level; see\n"
    "           pqpack ssd)\n"
    "  entry 4, 5  the support libraries LIB, stored under .dat names (foo.dll as foo.dat)\n"
    "\n"
    "An installer always has five entries. With fewer than two LIBs, each free slot holds the\n"
    "compression library again: it lands on the same impborl.dll, and un-installing leaves it.\n"
    "\n"
    "options:\n"
    "  -o OUT           the installer to write (replaced whole, or left as it was on failure)\n"
    "  --stub EXE       the installer program (default: pqsetup.exe beside pqpack or in\n"
    "                   dist/win32/)\n"
    "  --library DLL    the compression library (default: impborl.dll, found the same way)\n"
    "  --level L        fast or best (default best): how hard MAIN and the LIBs are compressed;\n"
    "                   an entry that does not get smaller is stored\n"
    "  --compress-data  compress DATA too (stored by default)\n";

namespace {

// Entries this large get a progress line while they are compressed.
constexpr size_t kProgressThreshold = 1u << 20;

std::string fileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

bool readInput(const char* role, const std::string& path, std::vector<uint8_t>* bytes, std::string* problem) {
  if (!readWholeFile(path, kMaximumInstallerSize, bytes, problem)) {
    *problem = std::string(role) + ": " + *problem;
    return false;
  }
  if (bytes->empty()) {
    *problem = std::string(role) + ": '" + path + "' is empty; every installed file needs at least one byte";
    return false;
  }
  return true;
}

bool resolveDefault(const std::string& given, const char* fileName, const char* option, std::string* path,
                    std::string* problem) {
  if (!given.empty()) {
    *path = given;
    return true;
  }
  *path = findDefaultInput(fileName);
  if (path->empty()) {
    *problem = std::string("no ") + fileName + " beside pqpack or in dist/win32/; name one with " + option;
    return false;
  }
  return true;
}

PayloadEntry compressedEntry(const std::string& name, int32_t fileType, const std::vector<uint8_t>& bytes,
                             Compression compression, pq::ImplodeLevel level, std::FILE* progress) {
  const bool announce = progress != nullptr && compression != Compression::Store && bytes.size() >= kProgressThreshold;
  if (announce) {
    std::fprintf(progress, "pqpack: compressing %s (%zu bytes)...", name.c_str(), bytes.size());
    std::fflush(progress);
  }
  PayloadEntry entry = makePayloadEntry(name, fileType, bytes, compression, level);
  if (announce) {
    if (entry.isZipped) {
      std::fprintf(progress, " %zu bytes\n", entry.stored.size());
    } else {
      std::fprintf(progress, " stored, compression does not make it smaller\n");
    }
  }
  return entry;
}

// Two entries that land on the same file would silently replace one another at install time.
bool checkLandingNames(const std::array<PayloadEntry, 5>& payload, std::string* problem) {
  std::map<std::string, std::string> landings;  // lower-cased landing name -> entry name
  for (size_t slot = 0; slot < payload.size(); ++slot) {
    const PayloadEntry& entry = payload[slot];
    // The free slots repeat entry 1 on purpose.
    if (slot > 0 && entry.name == payload[0].name && entry.stored == payload[0].stored) continue;
    std::string landing = entry.fileType == kFileType_Library ? installedLibraryName(entry.name) : entry.name;
    const std::string key = pq::asciiLower(landing);
    auto [found, inserted] = landings.emplace(key, entry.name);
    if (!inserted) {
      *problem = "'" + entry.name + "' and '" + found->second + "' would both be installed as '" + landing + "'" +
                 (key == kLibraryFileName ? ", replacing the compression library" : "");
      return false;
    }
  }
  return true;
}

} // namespace

bool parseBuildArguments(const Args& args, BuildRequest* request, bool* wantsHelp, std::string* problem) {
  *wantsHelp = false;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* into) {
      if (i + 1 >= args.size()) {
        *problem = "option " + arg + " needs a value";
        return false;
      }
      *into = args[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      *wantsHelp = true;
      return true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(&request->output)) return false;
    } else if (arg == "--stub") {
      if (!value(&request->stub)) return false;
    } else if (arg == "--library") {
      if (!value(&request->library)) return false;
    } else if (arg == "--level") {
      std::string level;
      if (!value(&level)) return false;
      if (level == "fast") {
        request->level = pq::ImplodeLevel::Fast;
      } else if (level == "best") {
        request->level = pq::ImplodeLevel::Best;
      } else {
        *problem = "--level takes fast or best, not '" + level + "'";
        return false;
      }
    } else if (arg == "--compress-data") {
      request->compressData = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *problem = "unknown option '" + arg + "'";
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (request->output.empty()) {
    *problem = "no output named: give -o OUT";
    return false;
  }
  if (positional.size() < 2) {
    *problem = positional.empty() ? "no MAIN and DATA files given" : "no DATA file given";
    return false;
  }
  if (positional.size() > 4) {
    *problem = "at most two support libraries fit (entries 4 and 5), " + std::to_string(positional.size() - 2) +
               " given";
    return false;
  }
  request->mainFile = positional[0];
  request->dataFile = positional[1];
  request->libraries.assign(positional.begin() + 2, positional.end());
  return true;
}

bool buildInstaller(const BuildRequest& request, std::FILE* progress, std::string* problem) {
  std::string stubPath, libraryPath;
  if (!resolveDefault(request.stub, "pqsetup.exe", "--stub", &stubPath, problem) ||
      !resolveDefault(request.library, "impborl.dll", "--library", &libraryPath, problem)) {
    return false;
  }

  std::vector<uint8_t> program, library, mainBytes, dataBytes;
  if (!readInput("installer program", stubPath, &program, problem)) return false;
  if (program.size() > static_cast<size_t>(DIRECTORY_OFFSET)) {
    *problem = "installer program: '" + stubPath + "' is " + std::to_string(program.size()) +
               " bytes, longer than the " + std::to_string(DIRECTORY_OFFSET) + " bytes before the directory table";
    return false;
  }
  if (!readInput("compression library", libraryPath, &library, problem) ||
      !readInput("MAIN", request.mainFile, &mainBytes, problem) ||
      !readInput("DATA", request.dataFile, &dataBytes, problem)) {
    return false;
  }
  std::vector<std::vector<uint8_t>> libraryBytes(request.libraries.size());
  for (size_t i = 0; i < request.libraries.size(); ++i) {
    if (!readInput("LIB", request.libraries[i], &libraryBytes[i], problem)) return false;
  }

  const std::string mainName = fileNameOf(request.mainFile);
  const std::string dataName = fileNameOf(request.dataFile);
  std::vector<std::string> libraryNames;
  for (const std::string& path : request.libraries) libraryNames.push_back(libraryEntryName(fileNameOf(path)));
  auto checkName = [&](const char* role, const std::string& path, const std::string& name) {
    const std::string reason = unsafeNameReason(name);
    if (reason.empty()) return true;
    *problem = std::string(role) + " '" + path + "': " + reason;
    return false;
  };
  if (!checkName("MAIN", request.mainFile, mainName) || !checkName("DATA", request.dataFile, dataName)) return false;
  for (size_t i = 0; i < libraryNames.size(); ++i) {
    if (!checkName("LIB", request.libraries[i], libraryNames[i])) return false;
  }

  if (progress != nullptr && dataBytes.size() < static_cast<size_t>(kDataFileHeaderSize)) {
    std::fprintf(progress,
                 "pqpack: warning: DATA '%s' is %zu bytes; the installer reads a %zu-byte header from it and will "
                 "report an error (pqpack ssd makes a data file)\n",
                 request.dataFile.c_str(), dataBytes.size(), static_cast<size_t>(kDataFileHeaderSize));
  }

  const Compression implode = Compression::ImplodeWhenSmaller;
  std::array<PayloadEntry, 5> payload;
  payload[0] = makePayloadEntry(kLibraryEntryName, kFileType_Library, library, Compression::Store, request.level);
  payload[1] = compressedEntry(mainName, kFileType_Main, mainBytes, implode, request.level, progress);
  payload[2] = compressedEntry(dataName, kFileType_Data, dataBytes,
                               request.compressData ? implode : Compression::Store, request.level, progress);
  for (size_t slot = 3; slot < 5; ++slot) {
    const size_t given = slot - 3;
    payload[slot] = given < libraryBytes.size()
                        ? compressedEntry(libraryNames[given], kFileType_Library, libraryBytes[given], implode,
                                          request.level, progress)
                        : payload[0];
  }
  if (!checkLandingNames(payload, problem)) return false;
  return writeInstaller(request.output, program, payload, problem);
}

} // namespace pqpack

int commandBuild(const Args& args) {
  pqpack::BuildRequest request;
  bool wantsHelp = false;
  std::string problem;
  if (!pqpack::parseBuildArguments(args, &request, &wantsHelp, &problem)) {
    std::fprintf(stderr, "pqpack build: %s\n\n%s", problem.c_str(), pqpack::kBuildHelp);
    return 2;
  }
  if (wantsHelp) {
    std::fputs(pqpack::kBuildHelp, stdout);
    return 0;
  }
  if (!pqpack::buildInstaller(request, stderr, &problem)) {
    std::fprintf(stderr, "pqpack build: %s\n", problem.c_str());
    return 1;
  }
  return 0;
}
