// The rules an installer keeps so that it works on the user's machine and harms nothing there:
// one set, which build runs on what it is about to write, verify on what was written, and
// extract before it writes an entry, so that the three never disagree.
//
//   the program      a 32-bit Windows GUI program whose version information names it the
//                    installer program (pqsetup.exe); not large-address-aware, a warning
//   the directory    entry 0 as produced; entries 1 to 5 back to back from the end of the table
//                    to the end of the file, each of a known kind, with sizes that match its
//                    bytes and a name that is safe, not reserved (archive/reserved_names.h) and
//                    no other entry's; entry 1 the stored compression library, entry 3 the data
//                    file
//   each entry file  entry 1 the compression library, a screen saver a Windows program, the
//                    libraries of entries 4 and 5 Windows DLLs, entry 3 a data file the
//                    installer can use and no Windows program
//
// A rule reports each finding under a stable code (findings.h) in a sentence that does not
// name its subject: the caller does ("entry 2 (Sunset.scr): ..." in verify, "MAIN 'Sunset.scr':
// ..." in build), since only it knows where the entry came from. verify reads an installer
// through these rules with checkInstaller (installer_image.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "byte_streams.h"
#include "data_file.h"
#include "findings.h"

namespace pqpack {

using Directory = std::array<TInstallFileInfo, kDirectoryEntryCount>;

// The program in front of the payload, each finding a sentence "the installer program ...".
void checkProgram(const std::vector<uint8_t>& program, Findings* findings);

// The directory of an installer of `fileSize` bytes; in a signed one (`signedFile`) the
// certificate table follows entry 5, whose own checks are signature.h's.
void checkDirectory(const Directory& entries, uint64_t fileSize, bool signedFile, Findings* findings);

// What the rules learn of the file an entry stands for as its bytes pass: its size and CRC-32,
// its first kImageHeadSize bytes, and for entry 1 and entry 3 what the checks of the
// compression library and of the data file need.
class EntryScan : public ByteSink {
public:
  explicit EntryScan(int index);
  bool write(const void* data, size_t size, std::string* problem) override;
  uint32_t crc() const { return ~runningCrc; }

  const int index;
  uint64_t size = 0;
  std::vector<uint8_t> head;
  std::vector<uint8_t> library;  // entry 1's bytes, up to kMaximumLibrarySize
  DataFileScan dataFile;         // entry 3's

private:
  uint32_t runningCrc = 0xFFFFFFFFu;
};

// The file entry `index` of `entries` stands for, as `scan` saw it pass. `library` is entry
// 1's scan, which a free slot of entries 4 and 5 must repeat byte for byte, or null when entry
// 1 could not be read.
void checkEntryFile(const Directory& entries, int index, const EntryScan& scan, const EntryScan* library,
                    Findings* findings);

// True when no problem of `findings` stands in the way of writing entry `index`: none of its
// own, none of the whole file's (a signature that does not hold, a program that is not the
// installer's), but for this pqpack's inability to check signatures, which says nothing of the
// file.
bool entryMayBeWritten(const Findings& findings, int index);

} // namespace pqpack
