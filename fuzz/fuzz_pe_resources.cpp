// Arbitrary bytes as a Windows program whose resources pqpack list reads: the PE resource
// walk and, for each version resource found, the version-information reader; and as the
// program and library pqpack build checks (headers and export names). Checks: every
// resource found lies within the input, and a refusal always says why.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pe_image.h"
#include "pe_resources.h"
#include "version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> image(data, data + size);
  // Any reason is fine; the walk through the headers and exports must stay inside the input.
  pqpack::compressionLibraryProblem(image);
  pqpack::installerProgramProblem(image);
  std::vector<pqpack::PeResource> resources;
  std::string problem;
  if (!pqpack::readPeResources(image, &resources, &problem)) {
    if (problem.empty() || !resources.empty()) std::abort();
    return 0;
  }
  for (const pqpack::PeResource& resource : resources) {
    if (resource.data.size() > size) std::abort();
    if (resource.type != pqpack::kResourceType_Version) continue;
    pqpack::VersionInfo info;
    if (!pqpack::parseVersionInfo(resource.data, &info, &problem) && problem.empty()) std::abort();
  }
  return 0;
}
