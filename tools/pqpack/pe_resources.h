// The resources of a Windows program or library, read from its bytes in portable code: the
// resource directory that the linker builds in the PE image (type, name, language), walked
// with every offset checked, so that a damaged or hostile file is refused, never followed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pqpack {

// Resource type numbers as Windows defines them.
constexpr uint32_t kResourceType_Version = 16;  // RT_VERSION
constexpr uint32_t kResourceType_Manifest = 24; // RT_MANIFEST

struct PeResource {
  uint32_t type = 0;
  uint32_t id = 0;
  uint32_t language = 0;
  std::vector<uint8_t> data;
};

// Every resource of `image` whose type and name are numbers (named ones are skipped: Windows
// asks for the manifest and the version information by number). True with an empty list when
// the image is a program without resources; false, with `problem` set, when it is no PE image
// or its headers or resource directory point outside the file.
bool readPeResources(const std::vector<uint8_t>& image, std::vector<PeResource>* resources, std::string* problem);

// The first resource of `type` with the name `id`, or null.
const PeResource* findResource(const std::vector<PeResource>& resources, uint32_t type, uint32_t id);

} // namespace pqpack
