#include "findings.h"

namespace pqpack {

const char* findingCodeName(FindingCode code) {
  switch (code) {
    case FindingCode::FileUnreadable: return "file-unreadable";
    case FindingCode::FileTooLarge: return "file-too-large";
    case FindingCode::ProgramUnusable: return "program-unusable";
    case FindingCode::ProgramEntry: return "program-entry";
    case FindingCode::EntryName: return "entry-name";
    case FindingCode::EntryNameEncoding: return "entry-name-encoding";
    case FindingCode::EntryKind: return "entry-kind";
    case FindingCode::LibraryEntry: return "library-entry";
    case FindingCode::EntryPlacement: return "entry-placement";
    case FindingCode::EntryRange: return "entry-range";
    case FindingCode::EntrySizes: return "entry-sizes";
    case FindingCode::StreamHeader: return "stream-header";
    case FindingCode::EntryContents: return "entry-contents";
    case FindingCode::LibraryUnusable: return "library-unusable";
    case FindingCode::DataFile: return "data-file";
    case FindingCode::DataFileLevel: return "data-file-level";
    case FindingCode::SignatureTable: return "signature-table";
    case FindingCode::SignatureInvalid: return "signature-invalid";
    case FindingCode::SignatureChain: return "signature-chain";
    case FindingCode::SignatureUntrusted: return "signature-untrusted";
    case FindingCode::SignatureValidity: return "signature-validity";
    case FindingCode::SignatureUnchecked: return "signature-unchecked";
    case FindingCode::ProgramNotInstaller: return "program-not-installer";
    case FindingCode::ProgramNotLargeAddressAware: return "program-not-large-address-aware";
    case FindingCode::EntryNameTrailing: return "entry-name-trailing";
    case FindingCode::EntryNameReserved: return "entry-name-reserved";
    case FindingCode::EntryNameClash: return "entry-name-clash";
    case FindingCode::SaverNotProgram: return "saver-not-program";
    case FindingCode::SupportLibraryUnusable: return "support-library-unusable";
    case FindingCode::DataFileIsProgram: return "data-file-is-program";
    case FindingCode::Count: break;
  }
  return "unknown";
}

std::vector<std::string> messagesOf(const std::vector<Finding>& findings) {
  std::vector<std::string> messages;
  for (const Finding& finding : findings) messages.push_back(finding.message);
  return messages;
}

} // namespace pqpack
