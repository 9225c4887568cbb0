// pqpack list: the mode, the program, the QuickTime level and the six directory entries of an
// installer, as text (one line each) or as JSON.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "ansi_text.h"
#include "commands.h"
#include "console_text.h"
#include "data_file.h"
#include "installer_image.h"
#include "program_version.h"
#include "signature.h"

namespace pqpack {

namespace {

using Json = nlohmann::ordered_json;

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
  line.text = !report.signer.empty() ? report.signer
                                     : "signed, but " + (report.problems.empty() ? "its signer cannot be read"
                                                                                 : report.problems.front().message);
  return line;
}

// The QuickTime level the installer will ask for: the one in the data file's header (entry 3),
// read as the installer reads it. False when the header cannot be read; the installer then
// says so and asks for none.
bool quickTimeLevelOf(const std::string& path, const InstallerImage& image, int32_t* level) {
  std::vector<uint8_t> header;
  std::string ignored;
  return readEntryHead(path, image, kDataEntry, kDataFileHeaderSize, &header, &ignored) &&
         requiredQuickTimeLevel(header, level);
}

std::string quickTimeText(bool known, int32_t level) {
  if (!known) {
    return "unknown: the data file's " + std::to_string(kDataFileHeaderSize) +
           "-byte header cannot be read, and the installer then requires none";
  }
  const std::string text = "level " + std::to_string(level);
  if (level <= kQuickTimeLevel_None) return text + ", none required";
  if (level > kHighestInstalledQuickTimeLevel) {
    return text + ", which the installer never finds (" + std::to_string(kHighestInstalledQuickTimeLevel) + " at most)";
  }
  return text + " required";
}

Json entryAsJson(int index, const TInstallFileInfo& entry) {
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
  Json listing = {{"schemaVersion", kJsonSchemaVersion},
                  {"file", request.installer},
                  {"mode", installerMode(image)},
                  {"size", image.fileSize}};
  int32_t level = 0;
  listing["quickTimeLevel"] = quickTimeLevelOf(request.installer, image, &level) ? Json(level) : Json();
  VersionInfo version;
  listing["program"] = nullptr;
  if (readProgramVersion(request.installer, &version)) {
    listing["program"] = {{"productName", version.text("ProductName")}, {"fileVersion", version.text("FileVersion")}};
  }
  const SignatureLine signature = signatureOf(request.installer, image);
  listing["signed"] = signature.isSigned;
  listing["signer"] = signature.signer.empty() ? Json() : Json(signature.signer);
  listing["entries"] = Json::array();
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    listing["entries"].push_back(entryAsJson(index, image.entries[index]));
  }
  std::printf("%s\n", listing.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

void printText(const ListRequest& request, const InstallerImage& image) {
  printLine(stdout, request.installer + ": " + installerMode(image) + " installer, " + std::to_string(image.fileSize) +
                        " bytes");
  VersionInfo version;
  if (readProgramVersion(request.installer, &version)) printLine(stdout, "program: " + versionSummary(version));
  int32_t level = 0;
  const bool known = quickTimeLevelOf(request.installer, image, &level);
  printLine(stdout, "QuickTime: " + quickTimeText(known, level));
  printLine(stdout, "signature: " + signatureOf(request.installer, image).text);
  printLine(stdout, listingHeader());
  for (int index = 0; index < kDirectoryEntryCount; ++index) printLine(stdout, listingLine(index, image.entries[index]));
}

} // namespace

int runList(const ListRequest& request) {
  InstallerImage image;
  std::string problem;
  if (!readInstaller(request.installer, &image, &problem)) {
    printLine(stderr, "pqpack list: " + problem);
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
