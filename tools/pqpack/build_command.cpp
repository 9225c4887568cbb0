#include "build_command.h"

#include <array>
#include <filesystem>
#include <map>
#include <system_error>

#include "ansi_text.h"
#include "data_file.h"
#include "default_inputs.h"
#include "file_io.h"
#include "installer_image.h"
#include "pe_image.h"
#include "compression/worker_threads.h"
#include "platform/win_path.h"

namespace pqpack {

namespace {

// Entries this large get a progress line while they are compressed.
constexpr size_t kProgressThreshold = 1u << 20;

using Input = NamedInput;

bool readInput(const Input& input, std::vector<uint8_t>* bytes, std::string* problem) {
  if (!readWholeFile(input.path, kMaximumInstallerSize, bytes, problem)) {
    *problem = input.role + ": " + *problem;
    return false;
  }
  if (bytes->empty()) {
    *problem = input.role + ": '" + input.path + "' is empty; every installed file needs at least one byte";
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

// A program or library the user's Windows could not run: today it would ship and fail there.
bool checkProgramAndLibrary(const Input& stub, const std::vector<uint8_t>& program, const Input& library,
                            const std::vector<uint8_t>& libraryBytes, std::string* problem) {
  if (program.size() > static_cast<size_t>(DIRECTORY_OFFSET)) {
    *problem = stub.role + ": '" + stub.path + "' is " + std::to_string(program.size()) + " bytes, longer than the " +
               std::to_string(DIRECTORY_OFFSET) + " bytes before the directory table: give pqsetup.exe";
    return false;
  }
  std::string reason = installerProgramProblem(program);
  if (!reason.empty()) {
    *problem = stub.role + ": '" + stub.path + "' " + reason +
               "; the installer must be a 32-bit Windows GUI program: give pqsetup.exe";
    return false;
  }
  reason = compressionLibraryProblem(libraryBytes);
  if (!reason.empty()) {
    *problem = library.role + ": '" + library.path + "' " + reason +
               "; the installer loads it as impborl.dll and calls its _implode, _explode and _crc32, so it must "
               "be a 32-bit Windows DLL exporting them: give the impborl.dll built with pqpack";
    return false;
  }
  return true;
}

// The entry name of an input, checked for everything the installer needs of a name.
bool nameOf(const Input& input, int32_t fileType, std::string* name, std::string* problem) {
  std::string reason;
  if (entryNameOfPath(input.path, name, &reason)) {
    if (fileType == kFileType_Library) *name = libraryEntryName(*name);
    reason = storedNameProblem(*name, fileType);
  }
  if (reason.empty()) return true;
  *problem = input.role + " '" + input.path + "': " + reason;
  return false;
}

// One entry as the build makes it.
struct EntryJob {
  std::string name;
  int32_t fileType;
  const std::vector<uint8_t>* bytes;
  Compression compression;
};

// Makes the entries side by side, each compressed with `threads` threads of its own; the bytes
// of each are the same whatever runs beside it. Large entries get a line when they start and
// one when they are done, each line written whole.
std::vector<PayloadEntry> makeEntries(const std::vector<EntryJob>& jobs, pq::ImplodeLevel level, unsigned threads,
                                      std::FILE* progress) {
  std::vector<PayloadEntry> entries(jobs.size());
  pq::runInParallel(jobs.size(), threads, [&](size_t index) {
    const EntryJob& job = jobs[index];
    const bool announce =
        progress != nullptr && job.compression != Compression::Store && job.bytes->size() >= kProgressThreshold;
    const std::string name = displayName(job.name);
    if (announce) std::fprintf(progress, "pqpack: compressing %s (%zu bytes)\n", name.c_str(), job.bytes->size());
    entries[index] = makePayloadEntry(job.name, job.fileType, *job.bytes, job.compression, level, threads);
    if (announce && entries[index].isZipped) {
      std::fprintf(progress, "pqpack: %s compressed to %zu bytes\n", name.c_str(), entries[index].stored.size());
    } else if (announce) {
      std::fprintf(progress, "pqpack: %s stored, compression does not make it smaller\n", name.c_str());
    }
  });
  return entries;
}

// Two entries that land on the same file would silently replace one another at install time.
bool checkLandingNames(const std::array<PayloadEntry, 5>& payload, std::string* problem) {
  std::map<std::string, std::string> landings;  // lower-cased landing name -> entry name
  for (size_t slot = 0; slot < payload.size(); ++slot) {
    const PayloadEntry& entry = payload[slot];
    // The free slots repeat entry 1 on purpose.
    if (slot > 0 && entry.name == payload[0].name && entry.stored == payload[0].stored) continue;
    const std::string landing = landingName(entry.name, entry.fileType);
    const std::string key = pq::asciiLower(landing);
    auto [found, inserted] = landings.emplace(key, entry.name);
    if (!inserted) {
      *problem = "'" + displayName(entry.name) + "' and '" + displayName(found->second) +
                 "' would both be installed as '" + displayName(landing) + "'" +
                 (key == kLibraryFileName ? ", replacing the compression library" : "");
      return false;
    }
  }
  return true;
}

// The files signing needs, added to the build's inputs: osslsigncode reads them at the end,
// so they are checked before any work starts.
bool addSigningInputs(const SigningRequest& signing, std::vector<Input>* inputs, std::string* problem) {
  if (!signing.wanted()) return true;
  *problem = signingProgramMissing();
  if (!problem->empty()) {
    *problem += "; build without --sign-cert and --sign-key, or install it";
    return false;
  }
  std::vector<Input> files = {{"--sign-cert", signing.certificate}, {"--sign-key", signing.key}};
  if (!signing.passwordFile.empty()) files.push_back({"--sign-pass-file", signing.passwordFile});
  for (const Input& file : files) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(pathOf(file.path), error)) {
      *problem = file.role + ": '" + file.path + "' is not a file";
      return false;
    }
  }
  inputs->insert(inputs->end(), files.begin(), files.end());
  return true;
}

// Writes the installer, has osslsigncode sign it, and puts the signed one in place only when
// its signature sits where verify and the installer expect it.
bool writeSignedInstaller(const BuildRequest& request, const std::vector<uint8_t>& program,
                          const std::array<PayloadEntry, 5>& payload, std::string* problem) {
  AtomicOutput unsignedOutput(request.output, "unsigned");
  AtomicOutput signedOutput(request.output, "signed");
  if (!writeInstallerTo(unsignedOutput, program, payload, problem) || !unsignedOutput.close(problem) ||
      !signedOutput.clearTemporary(problem) ||
      !signInstaller(request.signing, unsignedOutput.temporaryPath(), signedOutput.temporaryPath(), problem)) {
    return false;
  }
  InstallerImage image;
  if (!readInstallerImage(signedOutput.temporaryPath(), &image, problem)) return false;
  // A missing table is the one problem to name: measured against it, every place is wrong.
  const std::vector<std::string> misplaced =
      image.certificate.present() ? certificateTableProblems(signedOutput.temporaryPath(), image)
                                  : std::vector<std::string>{"there is no certificate table"};
  if (!misplaced.empty()) {
    *problem = std::string(kSigningProgram) + " wrote a signature the installer's layout does not allow: " + misplaced[0];
    return false;
  }
  return signedOutput.commit(problem);
}

} // namespace

bool buildInstaller(const BuildRequest& request, std::FILE* progress, std::string* problem) {
  Input stub{"--stub", ""};
  Input library{"--library", ""};
  if (!resolveDefault(request.stub, "pqsetup.exe", "--stub", &stub.path, problem) ||
      !resolveDefault(request.library, kLibraryFileName, "--library", &library.path, problem)) {
    return false;
  }
  const Input main{"MAIN", request.mainFile};
  const Input data{"DATA", request.dataFile};
  std::vector<Input> libraries;
  for (const std::string& path : request.libraries) libraries.push_back({"LIB", path});
  std::vector<Input> inputs = {stub, library, main, data};
  inputs.insert(inputs.end(), libraries.begin(), libraries.end());
  if (!addSigningInputs(request.signing, &inputs, problem) ||
      !checkOutputIsNoInput(request.output, inputs, problem)) {
    return false;
  }

  std::vector<uint8_t> program, libraryBytes, mainBytes, dataBytes;
  if (!readInput(stub, &program, problem) || !readInput(library, &libraryBytes, problem) ||
      !checkProgramAndLibrary(stub, program, library, libraryBytes, problem) || !readInput(main, &mainBytes, problem) ||
      !readInput(data, &dataBytes, problem)) {
    return false;
  }
  std::vector<std::vector<uint8_t>> supportBytes(libraries.size());
  for (size_t i = 0; i < libraries.size(); ++i) {
    if (!readInput(libraries[i], &supportBytes[i], problem)) return false;
  }

  std::string mainName, dataName;
  std::vector<std::string> libraryNames(libraries.size());
  if (!nameOf(main, kFileType_Main, &mainName, problem) || !nameOf(data, kFileType_Data, &dataName, problem)) {
    return false;
  }
  for (size_t i = 0; i < libraries.size(); ++i) {
    if (!nameOf(libraries[i], kFileType_Library, &libraryNames[i], problem)) return false;
  }
  const std::string dataProblem = dataFileProblem(dataBytes);
  if (!dataProblem.empty()) {
    *problem = "DATA '" + data.path + "': " + dataProblem;
    return false;
  }
  const std::string dataWarning = dataFileWarning(dataBytes);
  if (progress != nullptr && !dataWarning.empty()) {
    std::fprintf(progress, "pqpack build: warning: DATA '%s': %s\n", data.path.c_str(), dataWarning.c_str());
  }

  const Compression implode = Compression::ImplodeWhenSmaller;
  std::vector<EntryJob> jobs = {{mainName, kFileType_Main, &mainBytes, implode},
                                {dataName, kFileType_Data, &dataBytes, request.compressData ? implode : Compression::Store}};
  for (size_t i = 0; i < supportBytes.size(); ++i) {
    jobs.push_back({libraryNames[i], kFileType_Library, &supportBytes[i], implode});
  }
  std::vector<PayloadEntry> made = makeEntries(jobs, request.level, pq::threadsFor(request.threads), progress);

  std::array<PayloadEntry, 5> payload;
  payload[0] = makePayloadEntry(kLibraryEntryName, kFileType_Library, libraryBytes, Compression::Store, request.level);
  for (size_t slot = 1; slot < payload.size(); ++slot) {
    // With fewer than two support libraries, the free slots hold the compression library again.
    payload[slot] = slot - 1 < made.size() ? std::move(made[slot - 1]) : payload[0];
  }
  if (!checkLandingNames(payload, problem)) return false;
  if (request.signing.wanted()) return writeSignedInstaller(request, program, payload, problem);
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
