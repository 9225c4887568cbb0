// pqpack list: the mode, the program and the six directory entries of an installer, as text
// (one line each) or as JSON.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "ansi_text.h"
#include "commands.h"
#include "installer_image.h"
#include "program_version.h"
#include "signature.h"

namespace pqpack {

namespace {

// The signature as list shows it: the signer's subject, "unsigned", or why it cannot be read.
struct SignatureLine {
  bool isSigned = false;
  std::string signer;
  std::string text;
};

SignatureLine signatureOf(const std::string& path, const InstallerImage& image) {
  SignatureLine line;
  line.isSigned = image.certificate.present();
  if (!line.isSigned) {
    line.text = "unsigned";
    return line;
  }
  const SignatureReport report = checkSignature(path, image);
  line.signer = report.signer;
  line.text = !report.signer.empty() ? report.signer : "signed, but " + (report.problems.empty() ? "its signer cannot be read" : report.problems.front());
  return line;
}

nlohmann::ordered_json entryAsJson(int index, const TInstallFileInfo& entry) {
  return {{"index", index},
          {"name", displayName(entryName(entry))},
          {"kind", entry.fileType},
          {"compressed", entry.isZipped != 0},
          {"start", entry.startOffset},
          {"stop", entry.stopOffset},
          {"storedSize", storedSize(entry)},
          {"expandedSize", entry.unzippedSize}};
}

void printJson(const ListRequest& request, const InstallerImage& image) {
  nlohmann::ordered_json listing = {{"file", request.installer}, {"mode", installerMode(image)}, {"size", image.fileSize}};
  VersionInfo version;
  listing["program"] = nullptr;
  if (readProgramVersion(request.installer, &version)) {
    listing["program"] = {{"productName", version.text("ProductName")}, {"fileVersion", version.text("FileVersion")}};
  }
  const SignatureLine signature = signatureOf(request.installer, image);
  listing["signed"] = signature.isSigned;
  listing["signer"] = signature.signer.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(signature.signer);
  listing["entries"] = nlohmann::ordered_json::array();
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    listing["entries"].push_back(entryAsJson(index, image.entries[index]));
  }
  std::printf("%s\n", listing.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

void printText(const ListRequest& request, const InstallerImage& image) {
  std::printf("%s: %s installer, %llu bytes\n", request.installer.c_str(), installerMode(image).c_str(),
              static_cast<unsigned long long>(image.fileSize));
  VersionInfo version;
  if (readProgramVersion(request.installer, &version)) {
    std::printf("program: %s\n", versionSummary(version).c_str());
  }
  std::printf("signature: %s\n", signatureOf(request.installer, image).text.c_str());
  std::printf("%s\n", listingHeader().c_str());
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    std::printf("%s\n", listingLine(index, image.entries[index]).c_str());
  }
}

} // namespace

int runList(const ListRequest& request) {
  InstallerImage image;
  std::string problem;
  if (!readInstaller(request.installer, &image, &problem)) {
    std::fprintf(stderr, "pqpack list: %s\n", problem.c_str());
    return kExit_Failure;
  }
  if (request.json) {
    printJson(request, image);
  } else {
    printText(request, image);
  }
  return kExit_Done;
}

} // namespace pqpack
