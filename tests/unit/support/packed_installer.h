// Installers written by the builder's own image module (what `pqpack build` writes), for tests
// that need the real layout rather than a hand-made one: the bytes and the directory in them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "installer_image.h"
#include "platform/win_path.h"

namespace pqtest {

// Where an entry lands once installed from C:\Setup\Setup.exe.
inline std::string destinationOf(const pqpack::PayloadEntry& entry, InstallMode mode) {
  return entryDestination(entry.name, entry.fileType, mode, "C:\\WINDOWS\\", "C:\\Setup\\");
}
inline std::string destinationOf(const TInstallFileInfo& entry, InstallMode mode) {
  return entryDestination(entryName(entry), entry.fileType, mode, "C:\\WINDOWS\\", "C:\\Setup\\");
}

struct PackedInstaller {
  std::string bytes;
  std::array<TInstallFileInfo, kDirectoryEntryCount> directory{};
};

// Deterministic bytes, two fifths a small repeated alphabet and the rest noise, so that
// compression pays but does not collapse them.
inline std::vector<uint8_t> mixedBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (size_t index = 0; index < size; ++index) {
    state = state * 1103515245u + 12345u;
    bytes[index] = static_cast<uint8_t>((index % 40 < 24) ? 'a' + (index % 6) : (state >> 16) & 0xFF);
  }
  return bytes;
}

// A data file whose header asks for QuickTime `level`.
inline std::vector<uint8_t> dataFileBytes(int32_t level, size_t size) {
  std::vector<uint8_t> bytes = mixedBytes(size < 64 ? 64 : size, 77);
  for (int shift = 0; shift < 4; ++shift) bytes[8 + shift] = static_cast<uint8_t>(static_cast<uint32_t>(level) >> (8 * shift));
  return bytes;
}

// Entries 1 to 5 of a small screen-saver (main name "Sunset.scr") or movie ("Show.exe")
// installer: the library stored, the main file compressed, the data file stored, one more
// library compressed and one stored, as the builder makes them.
inline std::array<pqpack::PayloadEntry, 5> smallPayload(const std::string& mainName, size_t scale = 1) {
  using pqpack::Compression;
  const pq::ImplodeLevel level = pq::ImplodeLevel::Fast;
  const std::string stem = mainName.substr(0, mainName.rfind('.'));
  return {
      pqpack::makePayloadEntry("impborl.dat", kFileType_Library, mixedBytes(200 * scale, 1), Compression::Store, level),
      pqpack::makePayloadEntry(mainName, kFileType_Main, mixedBytes(900 * scale, 2), Compression::ImplodeWhenSmaller,
                               level),
      pqpack::makePayloadEntry(stem + ".ssd", kFileType_Data, dataFileBytes(0, 150 * scale), Compression::Store, level),
      pqpack::makePayloadEntry("lib1.dat", kFileType_Library, mixedBytes(600 * scale, 4),
                               Compression::ImplodeWhenSmaller, level),
      pqpack::makePayloadEntry("lib2.dat", kFileType_Library, mixedBytes(120 * scale, 5), Compression::Store, level),
  };
}

// Writes the installer with the builder's writer and reads it back.
inline PackedInstaller packInstaller(const std::array<pqpack::PayloadEntry, 5>& payload) {
  PackedInstaller packed;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("pq_packed_" + std::to_string(::getpid()) + ".exe");
  std::string problem;
  const std::vector<uint8_t> program = {'M', 'Z', 'p', 'r', 'o', 'g', 'r', 'a', 'm'};
  EXPECT_TRUE(pqpack::writeInstaller(file.string(), program, payload, &problem)) << problem;
  {
    std::ifstream input(file, std::ios::binary);
    packed.bytes.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
  }
  std::filesystem::remove(file);
  if (packed.bytes.size() >= static_cast<size_t>(DIRECTORY_OFFSET + kDirectoryTableSize)) {
    decodeDirectoryTable(reinterpret_cast<const uint8_t*>(packed.bytes.data()) + DIRECTORY_OFFSET,
                         packed.directory.data());
  }
  return packed;
}

// The file entry `index` becomes once installed.
inline std::string installedBytes(const std::array<pqpack::PayloadEntry, 5>& payload, int index) {
  std::vector<uint8_t> bytes = payload[index - 1].stored;
  if (payload[index - 1].isZipped) {
    std::vector<uint8_t> expanded;
    EXPECT_EQ(pq::explodeBuffer(bytes.data(), bytes.size(), &expanded), static_cast<uint32_t>(PQ_CMP_NO_ERROR));
    bytes = expanded;
  }
  return std::string(bytes.begin(), bytes.end());
}

} // namespace pqtest
