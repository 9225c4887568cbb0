#include "pe_image.h"

#include <algorithm>

namespace pqpack {

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kDosNewHeaderField = 0x3C;  // e_lfanew
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kChecksumField = 64;
constexpr uint32_t kSubsystemField = 68;
constexpr uint32_t kDllCharacteristicsField = 70;
// Windows defines sixteen data directories; an image claiming more has the rest ignored.
constexpr uint32_t kMaximumDirectories = 16;
// No real library exports this many names; a hostile count must not make the walk long.
constexpr uint32_t kMaximumExportedNames = 65536;
constexpr uint32_t kMaximumExportNameLength = 4096;

// The names the installer looks up in the compression library with GetProcAddress.
const char* const kLibraryExports[] = {"_implode", "_explode", "_crc32"};

} // namespace

bool readPeHeaders(const ByteView& file, PeHeaders* headers, std::string* problem) {
  *headers = PeHeaders{};
  uint16_t dosMagic = 0;
  uint32_t peOffset = 0;
  uint32_t signature = 0;
  if (!file.u16(0, &dosMagic) || dosMagic != kDosMagic || !file.u32(kDosNewHeaderField, &peOffset) ||
      !file.u32(peOffset, &signature) || signature != kPeSignature) {
    *problem = "not a Windows program (no PE header)";
    return false;
  }
  const uint64_t fileHeader = uint64_t{peOffset} + 4;
  const uint64_t optionalHeader = fileHeader + kFileHeaderSize;
  uint16_t sectionCount = 0;
  uint16_t optionalSize = 0;
  if (!file.u16(fileHeader, &headers->machine) || !file.u16(fileHeader + 2, &sectionCount) ||
      !file.u16(fileHeader + 16, &optionalSize) || !file.u16(fileHeader + 18, &headers->characteristics) ||
      !file.u16(optionalHeader, &headers->optionalMagic)) {
    *problem = "the PE header is cut short";
    return false;
  }

  // The data directories follow the fixed fields, whose length depends on the format.
  uint64_t directoryCountField = 0;
  if (headers->optionalMagic == kPeOptionalMagic_Pe32) {
    directoryCountField = optionalHeader + 92;
  } else if (headers->optionalMagic == kPeOptionalMagic_Pe32Plus) {
    directoryCountField = optionalHeader + 108;
  } else {
    *problem = "the PE optional header has an unknown format";
    return false;
  }
  const uint64_t optionalEnd = optionalHeader + optionalSize;
  uint32_t directoryCount = 0;
  if (!file.u32(directoryCountField, &directoryCount) || directoryCountField + 4 > optionalEnd ||
      !file.u16(optionalHeader + kSubsystemField, &headers->subsystem) ||
      !file.u16(optionalHeader + kDllCharacteristicsField, &headers->dllCharacteristics)) {
    *problem = "the PE optional header is cut short";
    return false;
  }
  headers->checksumOffset = optionalHeader + kChecksumField;
  headers->directoriesOffset = directoryCountField + 4;
  // Only the directories that both the count and the optional header's size hold count.
  const uint64_t directoriesRoom = (optionalEnd - headers->directoriesOffset) / 8;
  directoryCount = static_cast<uint32_t>(std::min<uint64_t>({directoryCount, kMaximumDirectories, directoriesRoom}));
  for (uint32_t index = 0; index < directoryCount; ++index) {
    const uint64_t entry = headers->directoriesOffset + uint64_t{index} * 8;
    PeDataDirectory directory;
    if (!file.u32(entry, &directory.address) || !file.u32(entry + 4, &directory.size)) {
      *problem = "the PE optional header is cut short";
      return false;
    }
    headers->directories.push_back(directory);
  }

  if (!file.contains(optionalEnd, uint64_t{sectionCount} * kSectionHeaderSize)) {
    *problem = "the section table runs past the end of the file";
    return false;
  }
  for (uint16_t index = 0; index < sectionCount; ++index) {
    const uint64_t header = optionalEnd + uint64_t{index} * kSectionHeaderSize;
    PeSection section;
    file.u32(header + 12, &section.virtualAddress);
    file.u32(header + 16, &section.rawSize);
    file.u32(header + 20, &section.rawOffset);
    headers->sections.push_back(section);
  }
  return true;
}

bool peFileOffset(const ByteView& file, const PeHeaders& headers, uint64_t rva, uint64_t count, uint64_t* offset) {
  for (const PeSection& section : headers.sections) {
    if (rva < section.virtualAddress) continue;
    const uint64_t into = rva - section.virtualAddress;
    if (into > section.rawSize || count > section.rawSize - into) continue;
    const uint64_t place = section.rawOffset + into;
    if (!file.contains(place, count)) return false;
    *offset = place;
    return true;
  }
  return false;
}

bool readExportedNames(const ByteView& file, const PeHeaders& headers, std::vector<std::string>* names,
                       std::string* problem) {
  names->clear();
  const PeDataDirectory exports = headers.directory(kPeDirectory_Export);
  if (exports.address == 0 || exports.size == 0) return true;
  // IMAGE_EXPORT_DIRECTORY: the name count at 24, the RVA of the name pointer table at 32.
  uint64_t table = 0;
  uint32_t nameCount = 0;
  uint32_t namePointers = 0;
  uint64_t pointersAt = 0;
  if (!peFileOffset(file, headers, exports.address, 40, &table) || !file.u32(table + 24, &nameCount) ||
      !file.u32(table + 32, &namePointers) || nameCount > kMaximumExportedNames ||
      !peFileOffset(file, headers, namePointers, uint64_t{nameCount} * 4, &pointersAt)) {
    *problem = "the export table lies outside the file";
    return false;
  }
  for (uint32_t index = 0; index < nameCount; ++index) {
    uint32_t nameRva = 0;
    uint64_t nameAt = 0;
    file.u32(pointersAt + uint64_t{index} * 4, &nameRva);
    if (!peFileOffset(file, headers, nameRva, 1, &nameAt)) {
      *problem = "an exported name lies outside the file";
      return false;
    }
    std::string name;
    while (file.contains(nameAt, 1) && file.data()[nameAt] != 0 && name.size() < kMaximumExportNameLength) {
      name.push_back(static_cast<char>(file.data()[nameAt++]));
    }
    names->push_back(name);
  }
  return true;
}

std::string compressionLibrarySizeProblem(uint64_t size) {
  if (size <= kMaximumLibrarySize) return "";
  return "is " + std::to_string(size) + " bytes, far more than any compression library holds";
}

std::string compressionLibraryProblem(const std::vector<uint8_t>& image) {
  const ByteView file(image);
  PeHeaders headers;
  std::string problem;
  if (!readPeHeaders(file, &headers, &problem)) return "is " + problem;
  if (!headers.is32BitX86()) return "is not a 32-bit (x86) Windows file";
  if (!headers.isDll()) return "is a program, not a DLL";
  std::vector<std::string> names;
  if (!readExportedNames(file, headers, &names, &problem)) return "is damaged: " + problem;
  std::string missing;
  for (const char* wanted : kLibraryExports) {
    if (std::find(names.begin(), names.end(), wanted) == names.end()) missing += (missing.empty() ? "" : ", ") + std::string(wanted);
  }
  if (!missing.empty()) return "does not export " + missing;
  return "";
}

namespace {

// Why `image` is no 32-bit Windows program, or empty; its headers in `headers`.
std::string windowsProgramProblem(const std::vector<uint8_t>& image, PeHeaders* headers) {
  std::string problem;
  if (!readPeHeaders(ByteView(image), headers, &problem)) return "is " + problem;
  if (!headers->is32BitX86()) return "is not a 32-bit (x86) Windows program";
  if (headers->isDll() || (headers->characteristics & kPeCharacteristic_Executable) == 0) {
    return "is a DLL, not a program";
  }
  return "";
}

} // namespace

std::string installerProgramProblem(const std::vector<uint8_t>& image) {
  PeHeaders headers;
  const std::string problem = windowsProgramProblem(image, &headers);
  if (!problem.empty()) return problem;
  if (headers.subsystem != kPeSubsystem_WindowsGui) {
    return headers.subsystem == kPeSubsystem_WindowsConsole ? "is a console program, not a GUI program"
                                                            : "is not a Windows GUI program";
  }
  return "";
}

std::string saverProgramProblem(const std::vector<uint8_t>& head) {
  PeHeaders headers;
  return windowsProgramProblem(head, &headers);
}

std::string supportLibraryProblem(const std::vector<uint8_t>& head) {
  PeHeaders headers;
  std::string problem;
  if (!readPeHeaders(ByteView(head), &headers, &problem)) return "is " + problem;
  if (!headers.is32BitX86()) return "is not a 32-bit (x86) Windows file";
  if (!headers.isDll()) return "is a program, not a DLL";
  return "";
}

bool isWindowsImage(const std::vector<uint8_t>& head) {
  PeHeaders headers;
  std::string problem;
  return readPeHeaders(ByteView(head), &headers, &problem);
}

} // namespace pqpack
