// Installers for tests, written by pqpack's own writer as `pqpack build` writes them: the
// program padded to DIRECTORY_OFFSET, the six-entry table, then entries 1 to 5 back to back,
// the compressed ones as implode streams. A test takes a standard set of entries, changes what
// its case needs (a name, a kind, a file) and packs it. What pqpack refuses to write (an unsafe
// name, a range past the end, a wrong size) is made by `editTable`, after the layout.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "archive/entry_rules.h"
#include "data_file.h"
#include "installer_image.h"
#include "platform/win_path.h"
#include "seeded_bytes.h"

namespace pqtest {

// One of entries 1 to 5.
struct ImageEntry {
  std::string name;
  int32_t fileType = kFileType_Main;
  std::string contents;    // the file as it is installed
  bool compressed = false; // stored as an implode stream of `contents` when that is smaller
};

// A data file, as pqpack ssd writes it, of `size` bytes whose header asks for `level` QuickTime.
inline std::string dataFile(int32_t level, size_t size = 200, uint32_t seed = 3) {
  const std::vector<uint8_t> file = pqpack::makeDataFile(level, seededBytes(size - kDataFileHeaderSize, seed));
  return std::string(file.begin(), file.end());
}

// Entries 1 to 5 of a screen-saver installer: the library, Sunset.scr, Sunset.ssd and two
// more libraries, the saver and the libraries compressed as pqpack stores them.
inline std::vector<ImageEntry> screenSaverEntries() {
  return {
      {kLibraryEntryName, kFileType_Library, "MZ compression library " + seededBytes<std::string>(300, 1), false},
      {"Sunset.scr", kFileType_Main, "MZ saver " + seededBytes<std::string>(5000, 2), true},
      {"Sunset.ssd", kFileType_Data, dataFile(0), false},
      {"lib1.dat", kFileType_Library, "MZ lib1 " + seededBytes<std::string>(4096, 4), true},
      {"lib2.dat", kFileType_Library, "MZ lib2 " + seededBytes<std::string>(700, 5), true},
  };
}

inline std::vector<ImageEntry> movieEntries() {
  std::vector<ImageEntry> entries = screenSaverEntries();
  entries[1].name = "Show.exe";
  entries[1].contents = "MZ movie " + seededBytes<std::string>(3000, 6);
  entries[2].name = "Show.ssd";
  return entries;
}

// Entries 1 to 5 of a small screen-saver (main name "Sunset.scr") or movie ("Show.exe")
// installer, small enough to run hundreds of times: the library stored, the main file
// compressed, the data file stored, one more library compressed and one stored.
inline std::vector<ImageEntry> smallEntries(const std::string& mainName) {
  return {
      {kLibraryEntryName, kFileType_Library, seededBytes<std::string>(200, 1), false},
      {mainName, kFileType_Main, seededBytes<std::string>(900, 2), true},
      {pq::changeFileExt(mainName, ".ssd"), kFileType_Data, dataFile(0, 150, 77), false},
      {"lib1.dat", kFileType_Library, seededBytes<std::string>(600, 4), true},
      {"lib2.dat", kFileType_Library, seededBytes<std::string>(120, 5), false},
  };
}

// The stand-in for pqsetup.exe in front of a test installer.
inline std::vector<uint8_t> stubProgram() {
  const std::string stub = "MZ installer stub";
  return std::vector<uint8_t>(stub.begin(), stub.end());
}

struct PackedInstaller {
  std::string bytes;
  std::array<TInstallFileInfo, kDirectoryEntryCount> directory{}; // as written, after `editTable`
  std::vector<ImageEntry> entries;
};

using TableEdit = std::function<void(TInstallFileInfo* table)>;

// Writes the installer with pqpack's writer, then lets `editTable` change the table.
inline PackedInstaller packInstaller(const std::vector<ImageEntry>& entries, const TableEdit& editTable = {},
                                     const std::vector<uint8_t>& program = stubProgram()) {
  std::array<pqpack::PayloadEntry, 5> payload;
  for (size_t slot = 0; slot < payload.size(); ++slot) {
    const ImageEntry& entry = entries[slot];
    payload[slot] = pqpack::makePayloadEntry(
        entry.name, entry.fileType, std::vector<uint8_t>(entry.contents.begin(), entry.contents.end()),
        entry.compressed ? pqpack::Compression::ImplodeWhenSmaller : pqpack::Compression::Store, pq::ImplodeLevel::Fast);
  }
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("pq_packed_" + std::to_string(::getpid()) + ".exe");
  std::string problem;
  EXPECT_TRUE(pqpack::writeInstaller(file.string(), program, payload, &problem)) << problem;
  PackedInstaller packed{std::string(), {}, entries};
  {
    std::ifstream input(file, std::ios::binary);
    packed.bytes.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
  }
  std::filesystem::remove(file);
  if (packed.bytes.size() < static_cast<size_t>(kFirstEntryOffset)) return packed;
  uint8_t* table = reinterpret_cast<uint8_t*>(&packed.bytes[DIRECTORY_OFFSET]);
  decodeDirectoryTable(table, packed.directory.data());
  if (editTable) {
    editTable(packed.directory.data());
    encodeDirectoryTable(packed.directory.data(), table);
  }
  return packed;
}

inline std::string buildInstallerImage(const std::vector<ImageEntry>& entries, const TableEdit& editTable = {}) {
  return packInstaller(entries, editTable).bytes;
}

// The installer of `entries` with a data file that asks for QuickTime `level`.
inline std::string installerAskingForQuickTime(std::vector<ImageEntry> entries, int32_t level) {
  entries[kDataEntry - 1].contents = dataFile(level);
  return buildInstallerImage(entries);
}

// Where an entry lands once installed from C:\Setup\Setup.exe.
inline std::string destinationOf(const std::string& name, int32_t fileType, InstallMode mode) {
  return entryDestination(name, fileType, mode, "C:\\WINDOWS\\", "C:\\Setup\\");
}
inline std::string destinationOf(const ImageEntry& entry, InstallMode mode) {
  return destinationOf(entry.name, entry.fileType, mode);
}
inline std::string destinationOf(const TInstallFileInfo& entry, InstallMode mode) {
  return destinationOf(entryName(entry), entry.fileType, mode);
}

} // namespace pqtest
