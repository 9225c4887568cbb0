// Shared helpers of the pqpack tests: a scratch folder per test, small input files, and
// running a command with its output captured.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commands.h"
#include "data_file.h"
#include "installer/program_identity.h"
#include "pe_resources.h"
#include "run_program.h"
#include "pe_image_builder.h"
#include "seeded_bytes.h"

namespace pqtest {

using Bytes = std::vector<uint8_t>;
using pqpack::Args;

// A folder of its own for the running test, removed afterwards.
class ScratchFolder {
public:
  ScratchFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("pqpack_") + std::to_string(getpid()) + "_" + info->test_suite_name() + "_" +
                       info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  // Names of everything in the folder, or in `folder` (none when it is missing), sorted.
  std::vector<std::string> names() const { return namesIn(path); }
  static std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> result;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
      result.push_back(item.path().filename().string());
    }
    std::sort(result.begin(), result.end());
    return result;
  }
  std::filesystem::path path;
};

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Bytes that compress well, and bytes no compressor can shrink.
inline Bytes compressibleBytes(size_t size, uint32_t seed) { return seededBytes(size, seed, Repetition::Most); }
inline Bytes noiseBytes(size_t size, uint32_t seed) { return seededBytes(size, seed, Repetition::None); }

// The shape of a Windows image as the builder's checks see it.
struct PeShape {
  bool dll = false;
  uint16_t subsystem = 2;  // Windows GUI
  std::vector<std::string> exports;
  uint16_t machine = 0x014C;  // x86
  bool pe32Plus = false;
};

// A small but well-formed PE image of that shape: headers, one section holding the export
// table, then `filler` bytes of noise.
inline Bytes exportingImage(const PeShape& shape, size_t filler) {
  // The export directory, the name pointers, then the names.
  Bytes section(40, 0);
  const uint32_t count = static_cast<uint32_t>(shape.exports.size());
  const uint32_t pointers = kSectionRva + 40;
  uint32_t nameRva = pointers + 4 * count;
  Bytes names;
  for (uint32_t index = 0; index < count; ++index) {
    put32(&section, section.size(), nameRva);
    names.insert(names.end(), shape.exports[index].begin(), shape.exports[index].end());
    names.push_back(0);
    nameRva = pointers + 4 * count + static_cast<uint32_t>(names.size());
  }
  section.insert(section.end(), names.begin(), names.end());
  put32(&section, 24, count);
  put32(&section, 32, pointers);
  Bytes image = peImage(section, count > 0 ? kExportDirectory : kNoDirectory,
                                 {shape.machine, shape.pe32Plus, shape.dll, shape.subsystem});
  const Bytes noise = noiseBytes(filler, 99);
  image.insert(image.end(), noise.begin(), noise.end());
  return image;
}

// The version information by which pqpack knows the installer program.
inline Bytes installerVersionInfo(const std::string& productName = kInstallerProductName,
                                  const std::string& internalName = kInstallerInternalName) {
  return versionInfo(fixedFileInfo(1, 0, 0, 0), {{"040904B0",
                                                  {textValueBlock("ProductName", productName),
                                                   textValueBlock("InternalName", internalName)}}});
}

// Stand-ins for pqsetup.exe and impborl.dll: the builder checks only their headers, exports and
// version information.
inline Bytes fakeProgram(const PeHeader& header = {}, const Bytes& version = installerVersionInfo()) {
  Bytes image =
      peImage(resourceSection({{pqpack::kResourceType_Version, 1, 0x409, version}}), kResourceDirectory, header);
  const Bytes noise = noiseBytes(400, 99);
  image.insert(image.end(), noise.begin(), noise.end());
  return image;
}
inline Bytes fakeLibrary() { return exportingImage({true, 2, {"_crc32", "_explode", "_implode"}}, 3000); }

// A 32-bit Windows program, or with `dll` a DLL, of `size` bytes: its headers, then bytes that
// compress well (or, with Repetition::None, not at all). Savers and support libraries are these.
inline Bytes windowsImage(size_t size, uint32_t seed, bool dll = false, Repetition repetition = Repetition::Most) {
  Bytes image = peImage({}, kNoDirectory, {0x14C, false, dll, 2});
  const Bytes content = seededBytes(size - image.size(), seed, repetition);
  image.insert(image.end(), content.begin(), content.end());
  return image;
}

// Data files the installer would trip over, or whose QuickTime level deserves a word, and what
// build and verify say of them: the same findings from both.
struct DataFileCase {
  const char* label;
  Bytes bytes;
  const char* message;  // null: nothing to say
  bool refused;         // a problem that stops build and fails verify; otherwise a warning, if any
};

// Bytes of another tool's data file, whose header is not ours, asking for QuickTime 3.
inline Bytes withLevel3(Bytes bytes) {
  put32(&bytes, kDataFileLevelOffset, 3);
  return bytes;
}

inline std::vector<DataFileCase> dataFileCases() {
  const Bytes content = compressibleBytes(1000, 21);
  Bytes changed = pqpack::makeDataFile(0, content);
  changed[100] ^= 0x20;
  Bytes cut = pqpack::makeDataFile(0, content);
  cut.pop_back();
  return {
      {"ShorterThanItsHeader", Bytes(63, 7), "63 bytes, fewer than the 64-byte header", true},
      {"ContentChanged", changed, "content no longer matches the CRC-32 in its header", true},
      {"ContentCutShort", cut, "header says the content is 1000 bytes, but it holds 999", true},
      {"LevelNeverMet", pqpack::makeDataFile(4, content), "QuickTime level 4, above 3, the highest level", true},
      {"LevelBelowZero", pqpack::makeDataFile(-1, content), "level -1, below 0; the installer takes it as no", false},
      {"AWindowsProgram", windowsImage(5000, 4), "it is a Windows program, not a data file", true},
      {"ByAnotherToolAskingForLevel3", withLevel3(noiseBytes(500, 5)), nullptr, false},
  };
}

// A throwaway self-signed code-signing certificate, cert.pem, and its key, key.pem, made with
// openssl in `folder`; with a password, the key is encrypted and the password is in pass.txt.
// Empty, or what openssl said when it failed.
inline std::string makeTestCertificate(const std::string& folder, const std::string& password = "") {
  std::vector<std::string> arguments = {"req", "-x509", "-newkey", "rsa:2048", "-days", "2", "-subj",
                                        "/CN=Panoquill Test Author/O=Sunset Works", "-keyout", folder + "/key.pem",
                                        "-out", folder + "/cert.pem"};
  if (password.empty()) {
    arguments.push_back("-nodes");
  } else {
    arguments.insert(arguments.end(), {"-passout", "pass:" + password});
    std::ofstream(folder + "/pass.txt") << password << "\n";
  }
  int status = 0;
  std::string said;
  if (!pqpack::runProgram("openssl", arguments, &status, &said)) return "cannot run openssl";
  return status == 0 ? "" : said;
}

// A root and a certificate it issued, made with openssl in `folder`: root.pem, and leaf.pem
// with its key leaf.key (no password); chain.pem holds the leaf and then the root. Empty, or
// what openssl said when it failed.
inline std::string makeTestChain(const std::string& folder) {
  const std::vector<std::vector<std::string>> steps = {
      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Panoquill Test Root", "-keyout",
       folder + "/root.key", "-out", folder + "/root.pem"},
      {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Panoquill Test Leaf", "-keyout", folder + "/leaf.key",
       "-out", folder + "/leaf.csr"},
      {"x509", "-req", "-in", folder + "/leaf.csr", "-CA", folder + "/root.pem", "-CAkey", folder + "/root.key",
       "-set_serial", "2", "-days", "2", "-out", folder + "/leaf.pem"}};
  for (const std::vector<std::string>& arguments : steps) {
    int status = 0;
    std::string said;
    if (!pqpack::runProgram("openssl", arguments, &status, &said)) return "cannot run openssl";
    if (status != 0) return said;
  }
  std::ofstream(folder + "/chain.pem") << std::ifstream(folder + "/leaf.pem").rdbuf()
                                       << std::ifstream(folder + "/root.pem").rdbuf();
  return "";
}

// A scratch folder with what a screen-saver build takes: stand-ins for pqsetup.exe and
// impborl.dll, Sunset.scr, Sunset.ssd and one support library, qtlib.dll.
class SaverBuildInputs : public testing::Test {
protected:
  SaverBuildInputs() {
    writeFile(folder / "pqsetup.exe", program);
    writeFile(folder / "impborl.dll", library);
    writeFile(folder / "Sunset.scr", saver);
    writeFile(folder / "Sunset.ssd", data);
    writeFile(folder / "qtlib.dll", support);
  }

  // The build arguments naming `output` and the two stand-ins, then `rest`.
  Args buildArgs(const std::string& output, const std::vector<std::string>& rest) const {
    Args args = {"-o", output, "--stub", folder / "pqsetup.exe", "--library", folder / "impborl.dll"};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  }

  ScratchFolder folder;
  Bytes program = fakeProgram();
  Bytes library = fakeLibrary();
  Bytes saver = windowsImage(60000, 1);
  Bytes data = pqpack::makeDataFile(0, compressibleBytes(5000, 2));
  Bytes support = windowsImage(20000, 3, true);
};

struct CommandRun {
  int status = 0;
  std::string out;
  std::string err;
};

// `pqpack LINE...`, run in this process with its output captured.
inline CommandRun run(const Args& line) {
  CommandRun result;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  result.status = pqpack::runCommandLine(line);
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

inline CommandRun run(const char* command, Args args) {
  args.insert(args.begin(), command);
  return run(args);
}

} // namespace pqtest
