#include "build_command.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "ansi_text.h"
#include "authenticode.h"
#include "console_text.h"
#include "data_file.h"
#include "default_inputs.h"
#include "file_io.h"
#include "installer_image.h"
#include "installer_rules.h"
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

// The program and the compression library, read whole: both are small, or refused unread
// (what else pqpack wants of them is a rule of installer_rules.h).
bool readProgramAndLibrary(const Input& stub, const Input& library, std::vector<uint8_t>* program,
                           std::vector<uint8_t>* libraryBytes, std::string* problem) {
  uint64_t programSize = 0;
  uint64_t librarySize = 0;
  if (!inputSize(stub, &programSize, problem) || !inputSize(library, &librarySize, problem)) return false;
  if (programSize > static_cast<uint64_t>(DIRECTORY_OFFSET)) {
    *problem = stub.role + " '" + stub.path + "': it is " + std::to_string(programSize) + " bytes, longer than the " +
               std::to_string(DIRECTORY_OFFSET) + " bytes before the directory table: give pqsetup.exe";
    return false;
  }
  const std::string reason = compressionLibrarySizeProblem(librarySize);
  if (!reason.empty()) {
    *problem = library.role + " '" + library.path + "': the compression library " + reason +
               ": give the impborl.dll built with pqpack";
    return false;
  }
  return readSmallInput(stub, DIRECTORY_OFFSET, program, problem) &&
         readSmallInput(library, kMaximumLibrarySize, libraryBytes, problem);
}

// The inputs by the entry each becomes: the program for the file as a whole and entry 0, the
// compression library for entry 1 and the free slots.
using EntryInputs = std::array<Input, kDirectoryEntryCount>;

// What the rules found, said of the inputs: the first problem refuses the build, and only a
// build that goes on tells its author the warnings.
bool accepted(const Findings& found, const EntryInputs& inputs, std::FILE* warnings, std::string* problem) {
  const auto inputOf = [&](const Finding& finding) -> const Input& {
    return inputs[finding.entry == kNoEntry ? kProgramEntry : finding.entry];
  };
  if (!found.problems.empty()) {
    const Finding& first = found.problems.front();
    *problem = inputOf(first).role + " '" + inputOf(first).path + "': " + first.message;
    return false;
  }
  for (const Finding& warning : found.warnings) {
    if (warnings == nullptr) break;
    printLine(warnings, "pqpack build: warning: " + inputOf(warning).role + " '" + inputOf(warning).path + "': " +
                            warning.message);
  }
  return true;
}

// The entry name of an input: its file name in code page 1252, a library's with ".dat". What
// else a name must be is a rule of the directory.
bool nameOf(const Input& input, int32_t fileType, std::string* name, std::string* problem) {
  std::string reason;
  if (!entryNameOfPath(input.path, name, &reason)) {
    *problem = input.role + " '" + input.path + "': " + reason;
    return false;
  }
  if (fileType == kFileType_Library) *name = libraryEntryName(*name);
  return true;
}

// Makes the entries one after the other, each compressed with all `threads` threads: side by
// side, each with threads of its own, they would run threads times over and hold the work of
// as many encoders. A compressed entry's stream waits in a temporary file beside the output
// until the installer is written.
bool makeEntries(const std::vector<FileEntryInput>& entryFiles, const BuildRequest& request, unsigned threads,
                 ProgressMeter* progress, std::vector<PayloadEntry>* entries, std::string* problem) {
  entries->assign(entryFiles.size(), PayloadEntry{});
  uint64_t compressed = 0;
  for (const FileEntryInput& entryFile : entryFiles) {
    if (entryFile.compression != Compression::Store) compressed += entryFile.size;
  }
  if (progress != nullptr) progress->begin("compressing", compressed);
  for (size_t index = 0; index < entryFiles.size(); ++index) {
    if (!makeFileEntry(entryFiles[index], request.level, threads, request.output, "entry" + std::to_string(index + 2),
                       &(*entries)[index], problem, progress)) {
      return false;
    }
  }
  return true;
}

// The directory the installer will have, known before any entry is read but for what
// compression saves (each compressed entry counted as one byte), put to the rules of a
// directory: an installer that would pass 2 GiB, or one of whose names would harm or fail, is
// refused at once.
bool checkDirectoryBeforeReading(uint64_t programSize, const FileEntryInput& library,
                                 const std::vector<FileEntryInput>& entryFiles, const EntryInputs& inputs,
                                 std::FILE* warnings, Directory* directory, std::string* problem) {
  auto planOf = [](const FileEntryInput& entryFile) {
    const bool compressed = entryFile.compression != Compression::Store;
    return EntryPlan{entryFile.name, entryFile.fileType, compressed, compressed ? 1 : entryFile.size, entryFile.size};
  };
  std::array<EntryPlan, 5> plans;
  plans.fill(planOf(library));
  for (size_t i = 0; i < entryFiles.size(); ++i) plans[i + 1] = planOf(entryFiles[i]);
  uint64_t leastSize = 0;
  if (!layOutDirectory(programSize, plans, directory, &leastSize, problem)) return false;
  Findings found;
  checkDirectory(*directory, leastSize, false, &found);
  return accepted(found, inputs, warnings, problem);
}

// Puts the file of each entry to the rules of its contents: the compression library (read
// whole already), the first bytes of the main file and the support libraries, then the whole
// data file, the one input that is read through for its checks.
bool checkContents(const Directory& directory, const std::vector<uint8_t>& libraryBytes, const EntryInputs& inputs,
                   size_t libraries, std::FILE* warnings, std::string* problem) {
  EntryScan library(kLibraryEntry);
  library.write(libraryBytes.data(), libraryBytes.size(), problem);
  Findings found;
  checkEntryFile(directory, kLibraryEntry, library, &library, &found);
  const int lastLibrary = kDataEntry + static_cast<int>(libraries);
  for (int index : {static_cast<int>(kMainEntry), 4, 5, static_cast<int>(kDataEntry)}) {
    if (index > lastLibrary) {
      checkEntryFile(directory, index, library, &library, &found);  // a free slot: the library again
      continue;
    }
    EntryScan scan(index);
    FileSource source(inputs[index].path, 0, index == kDataEntry ? FileSource::kToTheEnd : kImageHeadSize);
    uint64_t count = 0;
    if (!source.open(problem) || !copyBytes(source, scan, &count, problem)) {
      *problem = inputs[index].role + ": " + *problem;
      return false;
    }
    checkEntryFile(directory, index, scan, &library, &found);
  }
  return accepted(found, inputs, warnings, problem);
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
  std::vector<uint8_t> libraryBytes;
  if (!readProgramAndLibrary(stub, library, &program, &libraryBytes, problem)) return false;
  EntryInputs entryInputs = {stub, library, main, data, library, library};
  for (size_t i = 0; i < libraries.size(); ++i) entryInputs[4 + i] = libraries[i];
  Findings programFindings;
  checkProgram(program, &programFindings);
  if (!accepted(programFindings, entryInputs, warnings, problem)) return false;

  // Entries 2 to 5 by their sizes and names, before any of them is read.
  const Compression implode = Compression::ImplodeWhenSmaller;
  std::vector<Input> contents = {main, data};
  contents.insert(contents.end(), libraries.begin(), libraries.end());
  std::vector<FileEntryInput> entryFiles(contents.size());
  for (size_t i = 0; i < contents.size(); ++i) {
    entryFiles[i].path = contents[i].path;
    entryFiles[i].fileType = i == 0 ? kFileType_Main : i == 1 ? kFileType_Data : kFileType_Library;
    entryFiles[i].compression = i == 1 && !request.compressData ? Compression::Store : implode;
    if (!inputSize(contents[i], &entryFiles[i].size, problem)) return false;
  }
  for (size_t i = 0; i < contents.size(); ++i) {
    if (!nameOf(contents[i], entryFiles[i].fileType, &entryFiles[i].name, problem)) return false;
  }
  const FileEntryInput libraryEntry{kLibraryEntryName, kFileType_Library, library.path, libraryBytes.size(),
                                   Compression::Store};
  Directory directory;
  if (!checkDirectoryBeforeReading(program.size(), libraryEntry, entryFiles, entryInputs, warnings, &directory,
                                   problem) ||
      !checkContents(directory, libraryBytes, entryInputs, libraries.size(), warnings, problem)) {
    return false;
  }
  libraryBytes = {};

  std::vector<PayloadEntry> made;
  if (!makeEntries(entryFiles, request, pq::threadsFor(request.threads), progress, &made, problem)) return false;
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
