// What verify finds in an installer, and what build refuses: each finding is a sentence for
// people, a stable code for scripts (verify --json prints it) and the entry it concerns.
// A code is a promise to the scripts that read it: a new kind of finding gets a new code, and
// a code never changes its meaning or goes away while the JSON schema version stays.
#pragma once

#include <string>
#include <vector>

namespace pqpack {

enum class FindingCode {
  FileUnreadable,      // the file cannot be read, or is too short to hold a directory table
  FileTooLarge,        // 2 GiB or more: the offsets are signed 32-bit values
  ProgramUnusable,     // the installer program is no 32-bit Windows GUI program
  ProgramEntry,        // entry 0 does not describe the installer program as produced
  EntryName,           // a name the installer cannot write, or not as a bare file name
  EntryNameEncoding,   // a name stored as UTF-8, which the installer shows as code page 1252
  EntryKind,           // a kind outside 1 to 4, or not the one the entry's role needs
  LibraryEntry,        // entry 1 is not the stored compression library impborl
  EntryPlacement,      // an entry not right after the one before it, or not ending the file
  EntryRange,          // stored bytes outside the file, or an empty or inverted range
  EntrySizes,          // zippedSize or unzippedSize disagrees with what the entry stores
  StreamHeader,        // a compressed entry not starting 00 06
  EntryContents,       // an entry that cannot be read or does not expand to its size
  LibraryUnusable,     // the compression library cannot be loaded or lacks an export
  DataFile,            // the data file is shorter than its header or damaged
  DataFileLevel,       // a QuickTime level above what can be installed, or (a warning) below 0
  SignatureTable,      // the certificate table is not one Authenticode table after entry 5
  SignatureInvalid,    // the signature does not hold for the file
  SignatureChain,      // the certificate chain is broken or incomplete
  SignatureUntrusted,  // the chain ends at a root this machine does not trust
  SignatureValidity,   // a certificate outside its validity
  SignatureUnchecked,  // this pqpack cannot check signatures (built without OpenSSL)
  ProgramNotInstaller,          // another Windows program: its version information is not pqsetup's
  ProgramNotLargeAddressAware,  // without 4 GB of address space, an entry of a gigabyte fails
  EntryNameTrailing,            // ends in a dot, a blank or a control character, which Windows drops
  EntryNameReserved,            // lands as a file of Windows or of the installer (reserved_names.h)
  EntryNameClash,               // lands on another entry's file, or is stored under its name
  SaverNotProgram,              // a screen saver that is no 32-bit Windows program
  SupportLibraryUnusable,       // a support library (entry 4 or 5) that is no 32-bit Windows DLL
  DataFileIsProgram,            // a Windows program given as the data file
  Count                         // not a code: how many there are (new codes go above)
};

// The code as scripts see it: lower-case words joined by '-' ("entry-range").
const char* findingCodeName(FindingCode code);

// The entry of a finding about the file as a whole.
constexpr int kNoEntry = -1;

struct Finding {
  FindingCode code;
  int entry;  // 0 to 5, or kNoEntry
  std::string message;
};

// What verify finds: every way the installer departs from one that works as produced (each
// sentence starting with the part concerned), and what its author should know besides.
struct Findings {
  std::vector<Finding> problems;
  std::vector<Finding> warnings;
  bool isSigned = false;
  std::string signer;  // the signing certificate's subject, when it could be read
};

// The sentences alone.
std::vector<std::string> messagesOf(const std::vector<Finding>& findings);

// Adds a problem or a warning to `findings`.
inline void addProblem(Findings* findings, FindingCode code, int entry, std::string message) {
  findings->problems.push_back({code, entry, std::move(message)});
}
inline void addWarning(Findings* findings, FindingCode code, int entry, std::string message) {
  findings->warnings.push_back({code, entry, std::move(message)});
}

} // namespace pqpack
