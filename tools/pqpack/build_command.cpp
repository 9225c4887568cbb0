#include "build_command.h"

#include <array>
#include <filesystem>
#include <map>
#include <system_error>

#include "ansi_text.h"
#include "authenticode.h"
#include "console_text.h"
#include "data_file.h"
#include "default_inputs.h"
#include "file_io.h"
#include "installer_image.h"
#include "pe_image.h"
#include "compression/worker_threads.h"
#include "platform/win_path.h"

namespace pqpack {

namespace {

using Input = NamedInput;

// The size of an input, known before anything is read: it must hold at least one byte and
// stay below 2 GiB, as every installed file must.
bool inputSize(const Input& input, uint64_t* size, std::string* problem) {
  if (!inputFileSize(input.path, kMaximumInstallerSize, size, problem)) {
    *problem = input.role + ": " + *problem;
    return false;
  }
  if (*size == 0) {
    *problem = input.role + ": '" + input.path + "' is empty; every installed file needs at least one byte";
    return false;
  }
  return true;
}

// An input pqpack reads whole to check it: the program and the compression library.
bool readSmallInput(const Input& input, uint64_t maximumSize, std::vector<uint8_t>* bytes, std::string* problem) {
  if (!readWholeFile(input.path, maximumSize, bytes, problem)) {
    *problem = input.role + ": " + *problem;
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
    *problem = std::string("no ") + fileName + " beside pqpack, in " + kInstalledWindowsFiles +
               "/ beside its folder or in dist/win32/; name one with " + option;
    return false;
  }
  return true;
}

// The program and the compression library, read whole (both are small, or refused unread)
// and checked: one the user's Windows could not run would ship and fail there.
bool readProgramAndLibrary(const Input& stub, const Input& library, std::vector<uint8_t>* program,
                           std::vector<uint8_t>* libraryBytes, uint64_t* librarySize, std::string* problem) {
  uint64_t programSize = 0;
  if (!inputSize(stub, &programSize, problem) || !inputSize(library, librarySize, problem)) return false;
  if (programSize > static_cast<uint64_t>(DIRECTORY_OFFSET)) {
    *problem = stub.role + ": '" + stub.path + "' is " + std::to_string(programSize) + " bytes, longer than the " +
               std::to_string(DIRECTORY_OFFSET) + " bytes before the directory table: give pqsetup.exe";
    return false;
  }
  std::string reason = compressionLibrarySizeProblem(*librarySize);
  if (!reason.empty()) {
    *problem = library.role + ": '" + library.path + "' " + reason + ": give the impborl.dll built with pqpack";
    return false;
  }
  if (!readSmallInput(stub, DIRECTORY_OFFSET, program, problem) ||
      !readSmallInput(library, kMaximumLibrarySize, libraryBytes, problem)) {
    return false;
  }
  reason = installerProgramProblem(*program);
  if (!reason.empty()) {
    *problem = stub.role + ": '" + stub.path + "' " + reason +
               "; the installer must be a 32-bit Windows GUI program: give pqsetup.exe";
    return false;
  }
  reason = compressionLibraryProblem(*libraryBytes);
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

// Makes the entries side by side, each compressed with `threads` threads of its own; the bytes
// of each are the same whatever runs beside it. A compressed entry's stream waits in a
// temporary file beside the output until the installer is written.
bool makeEntries(const std::vector<FileEntrySpec>& specs, const BuildRequest& request, unsigned threads,
                 ProgressMeter* progress, std::vector<PayloadEntry>* entries, std::string* problem) {
  entries->assign(specs.size(), PayloadEntry{});
  std::vector<std::string> problems(specs.size());
  uint64_t compressed = 0;
  for (const FileEntrySpec& spec : specs) compressed += spec.compression != Compression::Store ? spec.size : 0;
  if (progress != nullptr) progress->begin("compressing", compressed);
  pq::runInParallel(specs.size(), threads, [&](size_t index) {
    makeFileEntry(specs[index], request.level, threads, request.output, "entry" + std::to_string(index + 2),
                  &(*entries)[index], &problems[index], progress);
  });
  for (const std::string& failure : problems) {
    if (!failure.empty()) {
      *problem = failure;
      return false;
    }
  }
  return true;
}

// Two entries that land on the same file would silently replace one another at install time.
// `entries` are the first entries of the payload; the free slots after them repeat entry 1
// on purpose.
bool checkLandingNames(const std::array<EntryPlan, 5>& plans, size_t entries, std::string* problem) {
  std::map<std::string, std::string> landings;  // lower-cased landing name -> entry name
  for (size_t slot = 0; slot < entries; ++slot) {
    const EntryPlan& entry = plans[slot];
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

// What the installer is known to be before any entry is read: its names, and its size but for
// what compression saves (each compressed entry counted as one byte). An installer that would
// pass 2 GiB, or whose entries would land on one file, is refused at once.
bool checkLayoutBeforeReading(uint64_t programSize, const FileEntrySpec& library,
                              const std::vector<FileEntrySpec>& specs, std::string* problem) {
  auto planOf = [](const FileEntrySpec& spec) {
    const bool compressed = spec.compression != Compression::Store;
    return EntryPlan{spec.name, spec.fileType, compressed, compressed ? 1 : spec.size, spec.size};
  };
  std::array<EntryPlan, 5> plans;
  plans.fill(planOf(library));
  for (size_t i = 0; i < specs.size(); ++i) plans[i + 1] = planOf(specs[i]);
  std::array<TInstallFileInfo, kDirectoryEntryCount> directory;
  uint64_t leastSize = 0;
  return checkLandingNames(plans, specs.size() + 1, problem) &&
         layOutDirectory(programSize, plans, &directory, &leastSize, problem);
}

// Reads the data file through once, for the problems that stop the build and the warnings
// its author should hear.
bool checkDataFile(const Input& data, uint64_t size, std::FILE* warnings, std::string* problem) {
  FileSource source(data.path, 0, size);
  DataFileScan scan;
  uint64_t count = 0;
  if (!source.open(problem) || !copyBytes(source, scan, &count, problem)) {
    *problem = data.role + ": " + *problem;
    return false;
  }
  const std::string dataProblem = scan.problem();
  if (!dataProblem.empty()) {
    *problem = data.role + " '" + data.path + "': " + dataProblem;
    return false;
  }
  const std::string warning = scan.warning();
  if (warnings != nullptr && !warning.empty()) {
    printLine(warnings, "pqpack build: warning: " + data.role + " '" + data.path + "': " + warning);
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
  *problem = signingPasswordProblem(signing, isTerminal(stdin));
  if (!problem->empty()) return false;
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
                          const std::array<PayloadEntry, 5>& payload, ProgressMeter* progress, std::string* problem) {
  AtomicOutput unsignedOutput(request.output, "unsigned");
  AtomicOutput signedOutput(request.output, "signed");
  if (!writeInstallerTo(unsignedOutput, program, payload, problem) || !unsignedOutput.close(problem) ||
      !signedOutput.clearTemporary(problem)) {
    return false;
  }
  // osslsigncode may ask for the key's password on the terminal: the line must be clear.
  if (progress != nullptr) progress->end();
  if (!signInstaller(request.signing, unsignedOutput.temporaryPath(), signedOutput.temporaryPath(), problem)) {
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

bool buildInstaller(const BuildRequest& request, std::FILE* warnings, ProgressMeter* progress, std::string* problem) {
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

  std::vector<uint8_t> program;
  uint64_t librarySize = 0;
  {
    std::vector<uint8_t> libraryBytes;
    if (!readProgramAndLibrary(stub, library, &program, &libraryBytes, &librarySize, problem)) return false;
  }

  // Entries 2 to 5 by their sizes and names, before any of them is read.
  const Compression implode = Compression::ImplodeWhenSmaller;
  std::vector<Input> contents = {main, data};
  contents.insert(contents.end(), libraries.begin(), libraries.end());
  std::vector<FileEntrySpec> specs(contents.size());
  for (size_t i = 0; i < contents.size(); ++i) {
    specs[i].path = contents[i].path;
    specs[i].fileType = i == 0 ? kFileType_Main : i == 1 ? kFileType_Data : kFileType_Library;
    specs[i].compression = i == 1 && !request.compressData ? Compression::Store : implode;
    if (!inputSize(contents[i], &specs[i].size, problem)) return false;
  }
  for (size_t i = 0; i < contents.size(); ++i) {
    if (!nameOf(contents[i], specs[i].fileType, &specs[i].name, problem)) return false;
  }
  const FileEntrySpec libraryEntry{kLibraryEntryName, kFileType_Library, library.path, librarySize,
                                   Compression::Store};
  if (!checkLayoutBeforeReading(program.size(), libraryEntry, specs, problem)) return false;

  const FileEntrySpec& dataEntry = specs[1];
  if (!checkDataFile(data, dataEntry.size, warnings, problem)) return false;

  std::vector<PayloadEntry> made;
  if (!makeEntries(specs, request, pq::threadsFor(request.threads), progress, &made, problem)) return false;
  if (progress != nullptr) progress->begin("writing the installer", 0);
  std::array<PayloadEntry, 5> payload;
  if (!makeFileEntry(libraryEntry, request.level, 1, request.output, "", &payload[0], problem)) return false;
  for (size_t slot = 1; slot < payload.size(); ++slot) {
    // With fewer than two support libraries, the free slots hold the compression library again.
    payload[slot] = slot - 1 < made.size() ? std::move(made[slot - 1]) : payload[0];
  }
  if (request.signing.wanted()) return writeSignedInstaller(request, program, payload, progress, problem);
  return writeInstaller(request.output, program, payload, problem);
}

std::vector<std::string> buildSummary(const std::string& output, const std::string& signer) {
  InstallerImage image;
  std::string ignored;
  if (!readInstallerImage(output, &image, &ignored)) return {};
  const auto percent = [](uint64_t part, uint64_t whole) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", whole == 0 ? 100.0 : 100.0 * static_cast<double>(part) / whole);
    return std::string(text);
  };
  const auto row = [](const std::string& first, uint64_t size, uint64_t stored, const std::string& ratio,
                      const std::string& name) {
    char text[96];
    std::snprintf(text, sizeof text, "%-5s %12llu %12llu %7s  ", first.c_str(), static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(stored), ratio.c_str());
    return text + name;
  };
  std::vector<std::string> lines = {output + ": " + installerMode(image) + " installer, " +
                                    std::to_string(image.fileSize) + " bytes"};
  char head[96];
  std::snprintf(head, sizeof head, "%-5s %12s %12s %7s  %s", "entry", "size", "stored", "ratio", "name");
  lines.push_back(head);
  uint64_t sizes = 0, stored = 0;
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const TInstallFileInfo& entry = image.entries[index];
    const auto size = static_cast<uint64_t>(static_cast<uint32_t>(entry.unzippedSize));
    const auto kept = static_cast<uint64_t>(static_cast<uint32_t>(storedSize(entry)));
    lines.push_back(row(std::to_string(index), size, kept, entry.isZipped != 0 ? percent(kept, size) : "stored",
                        displayName(entryName(entry))));
    sizes += size;
    stored += kept;
  }
  lines.push_back(row("total", sizes, stored, percent(stored, sizes), ""));
  lines.back().erase(lines.back().find_last_not_of(' ') + 1);
  lines.push_back("signer: " + (signer.empty() ? std::string("none (unsigned)") : signer));
  return lines;
}

int runBuild(const BuildRequest& request) {
  std::string problem;
  bool built = false;
  {
    ProgressMeter progress(!request.quiet && isTerminal(stderr) ? stderr : nullptr, "pqpack build");
    built = buildInstaller(request, stderr, &progress, &problem);
  }
  if (!built) {
    printLine(stderr, "pqpack build: " + problem);
    return kExit_Failure;
  }
  if (!request.quiet) {
    std::string signer;
    if (request.signing.wanted()) {
      signer = certificateSubject(request.signing.certificate);
      if (signer.empty()) signer = "signed with '" + request.signing.certificate + "'";
    }
    for (const std::string& line : buildSummary(request.output, signer)) printLine(stdout, line);
  }
  return kExit_Done;
}

} // namespace pqpack
