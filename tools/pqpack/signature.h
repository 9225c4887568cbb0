// Authenticode signatures of installers: made by osslsigncode, checked in-process (the
// cryptography: authenticode.cpp). A signature is a certificate table appended behind entry 5,
// where the installer never reads, and it covers the whole file, payload included, but for the
// PE checksum and the table itself: a byte changed in transit no longer matches it.
#pragma once

#include <string>
#include <vector>

#include "findings.h"
#include "installer_image.h"

namespace pqpack {

struct SigningRequest {
  std::string certificate;   // PEM: the signer's certificate, and the chain after it
  std::string key;           // PEM: its private key
  std::string passwordFile;  // empty: the key has no password
  std::string timestampUrl;  // empty: no timestamp
  bool wanted() const { return !certificate.empty(); }
};

// The program that signs installers.
constexpr char kSigningProgram[] = "osslsigncode";
// Empty when osslsigncode can be run, otherwise the sentence that says it cannot.
std::string signingProgramMissing();

// Why signing cannot start, or empty: a key whose password would have to be asked for
// (an encrypted PEM key and no --sign-pass-file) when no terminal is there to ask on
// (`terminalOnInput`, whether standard input is one). A build in CI must fail at once, not
// wait for an answer that never comes.
std::string signingPasswordProblem(const SigningRequest& request, bool terminalOnInput);

// The password in the file at `path`: its first line, without the line break ("\n" or
// "\r\n"). False, with `problem` set, when the file cannot be read.
bool readSigningPassword(const std::string& path, std::string* password, std::string* problem);

// Signs the installer at `input` into `output`. False, with `problem` set, when osslsigncode
// fails; its own words end the sentence. The password reaches osslsigncode through a pipe,
// never on its command line, where any user of the machine could read it.
bool signInstaller(const SigningRequest& request, const std::string& input, const std::string& output,
                   std::string* problem);

// Every way the certificate table of a signed installer departs from one table right behind
// entry 5 (after zeros up to its 8-byte boundary) that runs to the end of the file and holds
// one Authenticode certificate.
std::vector<std::string> certificateTableProblems(const std::string& path, const InstallerImage& image);

// What the signature of a signed installer says, checked whatever its chain.
struct SignatureReport {
  std::string signer;             // the signing certificate's subject, "/CN=.../O=...", once read
  std::vector<Finding> problems;  // each way the table or the file is not what was signed, or
                                  // the chain is broken
  std::vector<Finding> warnings;  // it holds, but Windows will warn: an untrusted root, a date
};
// Checks the table's structure, then the signature: the signed attributes' digest of the
// content, the signer's signature over them with the certificate in the table, the file's
// digest against the content's, and the certificate chain.
SignatureReport checkSignature(const std::string& path, const InstallerImage& image);

} // namespace pqpack
