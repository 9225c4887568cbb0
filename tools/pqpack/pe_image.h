// The headers of a Windows program or library (a PE image), read from its bytes with every
// offset checked: what kind of file it is, where its sections and data directories lie, and
// the names it exports. A damaged or hostile file is refused, never followed.
//
//   "MZ" ... e_lfanew (0x3C) -> "PE\0\0", file header (20 bytes), optional header
//   file header: machine (0), section count (2), optional header size (16), characteristics (18)
//   optional header: magic 0x10B (PE32) or 0x20B (PE32+), checksum (64), subsystem (68),
//   DLL characteristics (70),
//   the data directories (RVA and size each) after the fixed fields
//   section table: where each RVA range lies in the file
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_view.h"

namespace pqpack {

constexpr uint16_t kPeMachine_I386 = 0x014C;
constexpr uint16_t kPeOptionalMagic_Pe32 = 0x10B;
constexpr uint16_t kPeOptionalMagic_Pe32Plus = 0x20B;
constexpr uint16_t kPeCharacteristic_Executable = 0x0002;  // IMAGE_FILE_EXECUTABLE_IMAGE
constexpr uint16_t kPeCharacteristic_LargeAddressAware = 0x0020;  // IMAGE_FILE_LARGE_ADDRESS_AWARE
constexpr uint16_t kPeCharacteristic_Dll = 0x2000;         // IMAGE_FILE_DLL
// IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE: Windows tells the program the real Windows
// directory on a Remote Desktop host, not the user's own copy.
constexpr uint16_t kPeDllCharacteristic_TerminalServerAware = 0x8000;
constexpr uint16_t kPeSubsystem_WindowsGui = 2;
constexpr uint16_t kPeSubsystem_WindowsConsole = 3;

constexpr uint32_t kPeDirectory_Export = 0;
constexpr uint32_t kPeDirectory_Resource = 2;
// The certificate table of a signed file: unlike the others, its address is a file offset.
constexpr uint32_t kPeDirectory_Security = 4;

struct PeSection {
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

struct PeDataDirectory {
  uint32_t address = 0;
  uint32_t size = 0;
};

struct PeHeaders {
  uint16_t machine = 0;
  uint16_t characteristics = 0;
  uint16_t optionalMagic = 0;
  uint16_t subsystem = 0;
  uint16_t dllCharacteristics = 0;
  uint64_t checksumOffset = 0;     // where the image checksum lies in the file
  uint64_t directoriesOffset = 0;  // where data directory 0 lies in the file
  std::vector<PeDataDirectory> directories;
  std::vector<PeSection> sections;

  // The directory `index`, or an empty one when the headers have fewer.
  PeDataDirectory directory(uint32_t index) const {
    return index < directories.size() ? directories[index] : PeDataDirectory{};
  }
  bool is32BitX86() const { return machine == kPeMachine_I386 && optionalMagic == kPeOptionalMagic_Pe32; }
  bool isDll() const { return (characteristics & kPeCharacteristic_Dll) != 0; }
  bool isLargeAddressAware() const { return (characteristics & kPeCharacteristic_LargeAddressAware) != 0; }
};

// False, with `problem` set, when `file` holds no PE image or its headers run outside it.
bool readPeHeaders(const ByteView& file, PeHeaders* headers, std::string* problem);

// Maps `count` bytes at `rva` to their place in the file; false when any of them is not there.
bool peFileOffset(const ByteView& file, const PeHeaders& headers, uint64_t rva, uint64_t count, uint64_t* offset);

// The names in the export table (none for an image without one). False, with `problem` set,
// when the table points outside the file.
bool readExportedNames(const ByteView& file, const PeHeaders& headers, std::vector<std::string>* names,
                       std::string* problem);

// pqpack reads a compression library whole to check its headers and exports. One this large
// is no compression library (impborl.dll is some 20 KB): it is refused unread.
constexpr uint64_t kMaximumLibrarySize = uint64_t{64} << 20;
// Why a file of `size` bytes cannot be the compression library, as compressionLibraryProblem
// says it, or empty when its size does not rule it out.
std::string compressionLibrarySizeProblem(uint64_t size);

// Why `image` cannot serve as the compression library (a 32-bit Windows DLL exporting
// _implode, _explode and _crc32) or as the installer program (a 32-bit Windows GUI program):
// a phrase such as "is not a Windows program (no PE header)", or empty when it can.
std::string compressionLibraryProblem(const std::vector<uint8_t>& image);
std::string installerProgramProblem(const std::vector<uint8_t>& image);

// A Windows image's headers lie in its first kilobytes (1 or 4 KB as linkers write them): the
// checks of the other files of an installer read no more of them than this.
constexpr size_t kImageHeadSize = 64 * 1024;
// Why the file whose first bytes are `head` cannot be a screen saver (a 32-bit Windows program)
// or a support library (a 32-bit Windows DLL), as a phrase like compressionLibraryProblem's, or
// empty when it can.
std::string saverProgramProblem(const std::vector<uint8_t>& head);
std::string supportLibraryProblem(const std::vector<uint8_t>& head);
// True when `head` starts a Windows program or library.
bool isWindowsImage(const std::vector<uint8_t>& head);

} // namespace pqpack
