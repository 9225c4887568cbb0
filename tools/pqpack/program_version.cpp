#include "program_version.h"

#include <vector>

#include "installer_image.h"
#include "pe_resources.h"

namespace pqpack {

namespace {

// The language-neutral name Windows looks the version information up by.
constexpr uint32_t kVersionResourceId = 1;

} // namespace

const char* projectVersion() { return PQ_PROJECT_VERSION; }

const char* buildType() { return PQ_BUILD_TYPE; }

bool readProgramVersion(const std::string& path, VersionInfo* info) {
  return readVersionInfo(readProgramBytes(path), info);
}

bool readVersionInfo(const std::vector<uint8_t>& image, VersionInfo* info) {
  std::vector<PeResource> resources;
  std::string problem;
  if (!readPeResources(image, &resources, &problem)) return false;
  const PeResource* version = findResource(resources, kResourceType_Version, kVersionResourceId);
  return version != nullptr && parseVersionInfo(version->data, info, &problem);
}

std::string versionSummary(const VersionInfo& info) {
  return "ProductName \"" + info.text("ProductName") + "\", FileVersion \"" + info.text("FileVersion") + "\"";
}

} // namespace pqpack
