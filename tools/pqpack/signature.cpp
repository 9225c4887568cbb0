#include "signature.h"

#include <cstdio>
#include <sstream>

#include "byte_view.h"
#include "file_io.h"
#include "run_program.h"

namespace pqpack {

namespace {

// WIN_CERTIFICATE: length (4 bytes, the header included), revision, type, then the signature.
constexpr uint32_t kCertificateHeaderSize = 8;
constexpr uint16_t kCertificateRevision = 0x0200;           // WIN_CERT_REVISION_2_0
constexpr uint16_t kCertificateType_SignedData = 0x0002;  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
// Certificate tables start on an 8-byte boundary: a signature of an installer whose entry 5
// ends elsewhere follows after up to 7 zero bytes.
constexpr uint64_t kCertificateAlignment = 8;

uint64_t alignedUp(uint64_t offset) { return (offset + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment; }

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The value after "name:" on the first line that starts with `name`, or empty.
std::string valueAfter(const std::string& output, const std::string& name) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const std::string text = trimmed(line);
    if (text.rfind(name, 0) != 0) continue;
    const size_t colon = text.find(':', name.size());
    if (colon != std::string::npos) return trimmed(text.substr(colon + 1));
  }
  return "";
}

// What osslsigncode said about a failure, in one line: its own first two complaints, without
// the OpenSSL error stack that it prints beside them.
std::string summary(const std::string& output) {
  std::istringstream lines(output);
  std::string said, last;
  int complaints = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::string text = trimmed(line);
    if (text.empty() || text == "Failed" || text.find(":error:") != std::string::npos) continue;
    last = text;
    const bool complains = text.find("ail") != std::string::npos || text.find("rror") != std::string::npos ||
                           text.find("nable") != std::string::npos;
    if (complains && complaints++ < 2) said += (said.empty() ? "" : "; ") + text;
  }
  return said.empty() ? last : said;
}

} // namespace

std::string signingProgramMissing() {
  if (isProgramOnPath(kSigningProgram)) return "";
  return std::string("signatures are made and checked by ") + kSigningProgram +
         ", which is not installed (on Debian: apt-get install osslsigncode)";
}

bool signInstaller(const SigningRequest& request, const std::string& input, const std::string& output,
                   std::string* problem) {
  std::vector<std::string> arguments = {"sign", "-h", "sha256", "-certs", request.certificate, "-key", request.key};
  if (!request.passwordFile.empty()) arguments.insert(arguments.end(), {"-readpass", request.passwordFile});
  if (!request.timestampUrl.empty()) arguments.insert(arguments.end(), {"-ts", request.timestampUrl});
  arguments.insert(arguments.end(), {"-in", input, "-out", output});
  int status = 0;
  std::string said;
  if (!runProgram(kSigningProgram, arguments, &status, &said)) {
    *problem = std::string("cannot run ") + kSigningProgram;
    return false;
  }
  if (status != 0) {
    *problem = std::string(kSigningProgram) + " could not sign the installer: " + summary(said);
    return false;
  }
  return true;
}

std::vector<std::string> certificateTableProblems(const std::string& path, const InstallerImage& image) {
  std::vector<std::string> problems;
  const CertificateTable& table = image.certificate;
  const std::string where = std::to_string(table.offset);
  const int64_t lastStop = image.entries[kLastExtractedEntry].stopOffset;
  const uint64_t payloadEnd = lastStop < 0 ? 0 : static_cast<uint64_t>(lastStop) + 1;
  const uint64_t expected = alignedUp(payloadEnd);
  if (table.offset != expected) {
    problems.push_back("signature: the certificate table starts at " + where + ", not right after entry 5 at " +
                       std::to_string(expected) +
                       (expected != payloadEnd ? " (its 8-byte boundary)" : std::string()));
    return problems;
  }
  if (uint64_t{table.offset} + table.size != image.fileSize) {
    problems.push_back("signature: the certificate table runs from " + where + " for " + std::to_string(table.size) +
                       " bytes, but the file is " + std::to_string(image.fileSize) +
                       " bytes: nothing may come before or after it");
    return problems;
  }
  InputFile file(path);
  uint8_t bytes[kCertificateAlignment + kCertificateHeaderSize] = {};
  const size_t padding = static_cast<size_t>(expected - payloadEnd);
  if (table.size < kCertificateHeaderSize || !file.readAt(payloadEnd, bytes, padding + kCertificateHeaderSize)) {
    problems.push_back("signature: the certificate table at " + where + " is too short to hold a signature");
    return problems;
  }
  for (size_t index = 0; index < padding; ++index) {
    if (bytes[index] != 0) {
      problems.push_back("signature: the bytes between entry 5 and the certificate table are not zero");
      break;
    }
  }
  const ByteView header(bytes + padding, kCertificateHeaderSize);
  uint32_t length = 0;
  uint16_t revision = 0, type = 0;
  header.u32(0, &length);
  header.u16(4, &revision);
  header.u16(6, &type);
  if (revision != kCertificateRevision || type != kCertificateType_SignedData) {
    char found[64];
    std::snprintf(found, sizeof found, "revision %04X, type %04X", revision, type);
    problems.push_back(std::string("signature: the certificate table holds no Authenticode signature (") + found + ")");
  } else if (length < kCertificateHeaderSize || alignedUp(length) != table.size) {
    problems.push_back("signature: the certificate table of " + std::to_string(table.size) +
                       " bytes does not hold exactly one certificate (the first is " + std::to_string(length) +
                       " bytes)");
  }
  return problems;
}

SignatureReport checkSignature(const std::string& path) {
  SignatureReport report;
  report.problem = signingProgramMissing();
  if (!report.problem.empty()) return report;
  int status = 0;
  std::string said;
  if (!runProgram(kSigningProgram, {"verify", "-in", path}, &status, &said)) {
    report.problem = std::string("cannot run ") + kSigningProgram;
    return report;
  }
  // The primary signature comes first; its digest covers the whole file but the checksum and
  // the certificate table.
  const std::string signedDigest = valueAfter(said, "Current message digest");
  const std::string fileDigest = valueAfter(said, "Calculated message digest");
  if (signedDigest.empty() || fileDigest.empty()) {
    report.problem = std::string(kSigningProgram) + " cannot read the signature: " + summary(said);
    return report;
  }
  report.checked = true;
  report.signer = valueAfter(said, "Subject");
  const std::string fileDigestValue = fileDigest.substr(0, fileDigest.find_first_of(" \t"));
  if (fileDigestValue != signedDigest) {
    report.problem = "the file changed after it was signed: its SHA-256 digest is " + fileDigestValue +
                     ", the signature's " + signedDigest + "; build and sign it again";
    return report;
  }
  report.intact = true;
  report.trusted = status == 0 && said.find("Signature verification: ok") != std::string::npos;
  if (!report.trusted) {
    // OpenSSL names a certificate it cannot trust in a "Verify error" line; anything else
    // means the signature itself does not hold.
    const std::string marker = "Verify error:";
    const size_t at = said.find(marker);
    if (at == std::string::npos) {
      report.intact = false;
      report.problem = "the signature does not verify: " + summary(said);
    } else {
      const size_t start = at + marker.size();
      report.trustProblem = trimmed(said.substr(start, said.find('\n', start) - start));
    }
  }
  return report;
}

} // namespace pqpack
