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

int runBuild(const BuildRequest& request) {
  std::string problem;
  if (!buildInstaller(request, stderr, &problem)) {
    std::fprintf(stderr, "pqpack build: %s\n", problem.c_str());
    return kExit_Failure;
  }
  return kExit_Done;
}

} // namespace pqpack

