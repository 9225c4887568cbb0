// Authenticode signatures of installers, made and checked through osslsigncode. A signature
// is a certificate table appended behind entry 5, where the installer never reads, and it
// covers the whole file, payload included: a byte changed in transit no longer matches it.
#pragma once

#include <string>
#include <vector>

#include "installer_image.h"

namespace pqpack {

struct SigningRequest {
  std::string certificate;   // PEM: the signer's certificate, and the chain after it
  std::string key;           // PEM: its private key
  std::string passwordFile;  // empty: the key has no password
  std::string timestampUrl;  // empty: no timestamp
  bool wanted() const { return !certificate.empty(); }
};

// The program that signs and checks signatures.
constexpr char kSigningProgram[] = "osslsigncode";
// Empty when osslsigncode can be run, otherwise the sentence that says it cannot.
std::string signingProgramMissing();

// Signs the installer at `input` into `output`. False, with `problem` set, when osslsigncode
// fails; its own words end the sentence.
bool signInstaller(const SigningRequest& request, const std::string& input, const std::string& output,
                   std::string* problem);

// Every way the certificate table of a signed installer departs from one table right behind
// entry 5 that runs to the end of the file.
std::vector<std::string> certificateTableProblems(const std::string& path, const InstallerImage& image);

// What osslsigncode finds in the signature of a signed installer.
struct SignatureReport {
  bool checked = false;      // osslsigncode read the signature
  bool intact = false;       // the file is byte for byte what was signed
  bool trusted = false;      // and the certificate leads to an authority this machine trusts
  std::string signer;        // the certificate's subject, as "/CN=.../O=..."
  std::string problem;       // why it is not intact, or could not be checked
  std::string trustProblem;  // why an intact signature is not trusted here
};
SignatureReport checkSignature(const std::string& path);

} // namespace pqpack
