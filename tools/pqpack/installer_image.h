// The installer image as pqpack writes and reads it: the program, the directory table and
// the five stored entries, laid out as the file diagram in archive/directory.h shows. The
// record encoding itself is archive/directory.h's; this module only decides what goes in
// the records and checks what comes out of them. The commands and the tests share it.
// Names: installer_names.cpp; writing: installer_writer.cpp; reading: installer_reader.cpp;
// the rules it keeps: installer_rules.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "archive/entry_rules.h"
#include "byte_streams.h"
#include "compression/compressor.h"
#include "compression/implode.h"
#include "findings.h"

namespace pqpack {

// An installer file, like every offset in it, stays below 2 GiB: the offsets are signed
// 32-bit values.
constexpr uint64_t kMaximumInstallerSize = 0x7FFFFFFFu;

// "entry 2 (Sunset.scr)": how messages name an entry.
std::string entryLabel(int index, const TInstallFileInfo& entry);

// Why `name` cannot be an entry name, or empty when it can: it becomes a bare file name in
// the Windows directory or beside the installer, and in the folder `extract` writes to.
std::string unsafeNameReason(const std::string& name);

// The entry name of the file at `path` (a command-line argument): its file name as code page
// 1252 text, which the installer shows and writes. False, with `problem` set, when a character
// of it has no place in that code page.
bool entryNameOfPath(const std::string& path, std::string* name, std::string* problem);

// Destinations are the Windows directory, or the installer's folder, plus the name; a name
// must leave room for a folder of this many characters under Windows' limit for a path,
// MAX_PATH (260, less the terminating zero).
constexpr size_t kLongestDestinationFolder = 64;
constexpr size_t kLongestPath = 259;
constexpr size_t kLongestLandingName = kLongestPath - kLongestDestinationFolder - 1;  // less the '\'
// The rules of a name stored for entry `index` of `fileType` in an installer of `mode`: a safe
// name (unsafeNameReason) without a tail Windows drops (dots, blanks, control characters), that
// lands (landingName of entry_rules.h) under a name that fits a Windows folder of
// kLongestDestinationFolder characters and that no file of Windows or of the installer has
// (archive/reserved_names.h). A name that reads as UTF-8 text (as an older pqpack stored
// "Écran.scr") is warned of: the installer shows and writes it otherwise.
void checkStoredName(int index, const std::string& name, int32_t fileType, InstallMode mode, Findings* findings);

class AtomicOutput;
class ProgressMeter;

// One of entries 1 to 5, ready to be placed.
struct PayloadEntry {
  std::string name;
  int32_t fileType = kFileType_Plain;
  bool isZipped = false;
  // The bytes that go into the installer: held in `stored`, or, when `storedFile` names a
  // file, its first storedSize bytes (an input, or a temporary file beside the installer that
  // stays as long as `temporary` does).
  std::vector<uint8_t> stored;
  std::string storedFile;
  std::shared_ptr<AtomicOutput> temporary;
  uint64_t storedSize = 0;
  uint64_t unzippedSize = 0;  // the size of the file once extracted
};

enum class Compression { Store, ImplodeWhenSmaller };

// Makes an entry of `bytes`. With ImplodeWhenSmaller the bytes are imploded (binary literals,
// 4096-byte dictionary, so the stream starts 00 06) at `level` on `threads` threads (0: every
// core; the stream is the same for any number), and kept that way only when the stream is
// smaller than the bytes and expands back to them exactly.
PayloadEntry makePayloadEntry(const std::string& name, int32_t fileType, const std::vector<uint8_t>& bytes,
                              Compression compression, pq::ImplodeLevel level, unsigned threads = 1);

// An entry to be made of a file.
struct FileEntryInput {
  std::string name;
  int32_t fileType = kFileType_Plain;
  std::string path;
  uint64_t size = 0;  // the file's size, which its entry keeps
  Compression compression = Compression::Store;
};
// makePayloadEntry for a file of any size, read a block at a time. A stored entry refers to
// the file, whose bytes are copied when the installer is written. A stream is written to a
// temporary file beside `output` (told apart from others by `stage`), stopped as soon as it is
// no smaller than the file, and proven by expanding it against a second read of the file.
// `progress` (may be null) hears of the file's bytes as they are compressed, `from.size` in all.
// False, with `problem` set, when a file cannot be read or written.
bool makeFileEntry(const FileEntryInput& from, pq::ImplodeLevel level, unsigned threads, const std::string& output,
                   const std::string& stage, PayloadEntry* entry, std::string* problem,
                   ProgressMeter* progress = nullptr);

// What the directory needs to know of an entry: everything but its bytes.
struct EntryPlan {
  std::string name;
  int32_t fileType = kFileType_Plain;
  bool isZipped = false;
  uint64_t storedSize = 0;
  uint64_t unzippedSize = 0;
};
EntryPlan planOf(const PayloadEntry& entry);

// The directory an installer with this program length and these entries gets. False, with
// `problem` set, when the program is empty or longer than DIRECTORY_OFFSET, an entry is empty
// or has an unsafe name, or the file would reach 2 GiB.
bool layOutDirectory(uint64_t programSize, const std::array<EntryPlan, 5>& plans,
                     std::array<TInstallFileInfo, kDirectoryEntryCount>* directory, uint64_t* fileSize,
                     std::string* problem);

// Writes the installer into `output`'s temporary file, which is left to be committed.
bool writeInstallerTo(AtomicOutput& output, const std::vector<uint8_t>& program,
                      const std::array<PayloadEntry, 5>& payload, std::string* problem);
// Writes the installer to `path` complete or not at all.
bool writeInstaller(const std::string& path, const std::vector<uint8_t>& program,
                    const std::array<PayloadEntry, 5>& payload, std::string* problem);

// ---- Reading -------------------------------------------------------------------------------

// The certificate table of a signed installer: the program's PE security directory, which
// gives a file offset and a size. Both are 0 in an unsigned one.
struct CertificateTable {
  uint32_t offset = 0;
  uint32_t size = 0;
  bool present() const { return offset != 0 || size != 0; }
};

struct InstallerImage {
  uint64_t fileSize = 0;
  std::array<TInstallFileInfo, kDirectoryEntryCount> entries{};
  bool startsWithProgram = false;  // the file starts with a Windows program's headers
  CertificateTable certificate;
};

// Reads the directory of the installer at `path`. False, with `problem` set, when the file
// cannot be read or is too short to hold one.
bool readInstallerImage(const std::string& path, InstallerImage* image, std::string* problem);
// The program part of the file: its first DIRECTORY_OFFSET bytes, or all of a shorter file.
std::vector<uint8_t> readProgramBytes(const std::string& path);
// readInstallerImage, and besides false, with `problem` set ("'PATH' is not an installer:
// ..."), when the file is no installer at all: it does not start with a Windows program, or
// entry 0 does not describe that program as every builder writes it. list and extract read
// installers this way; verify reads the directory alone and reports every departure.
bool readInstaller(const std::string& path, InstallerImage* image, std::string* problem);
// Why the stored bytes of `entry` cannot be read from a file of `fileSize` bytes: an empty or
// inverted range, or one that does not lie inside the file. Empty when they can.
std::string storedRangeProblem(const TInstallFileInfo& entry, uint64_t fileSize);
// Passes the file entry `index` stands for into `sink` a block at a time: its stored bytes,
// expanded when it is compressed. False, with `problem` set, when they cannot be read, or are
// not exactly `unzippedSize` bytes once expanded (the sink may have taken some bytes by then).
bool readEntryFile(const std::string& path, const InstallerImage& image, int index, ByteSink& sink,
                   std::string* problem);

// The first `size` bytes of the file entry `index` stands for (all of it when it is shorter),
// expanded when it is compressed; no more of the entry is read than they take. False, with
// `problem` set, when its stored bytes cannot be read.
bool readEntryHead(const std::string& path, const InstallerImage& image, int index, size_t size,
                   std::vector<uint8_t>* head, std::string* problem);

// "screen saver" or "movie", from entry 2's name.
std::string installerMode(const InstallerImage& image);
// The column heads of `listingLine`, and one entry's line.
std::string listingHeader();
std::string listingLine(int index, const TInstallFileInfo& entry);

// Every finding of verify (findings.h) about the installer at `path`.
Findings checkInstaller(const std::string& path);
// The problems alone.
inline std::vector<std::string> findProblems(const std::string& path) { return messagesOf(checkInstaller(path).problems); }

} // namespace pqpack
