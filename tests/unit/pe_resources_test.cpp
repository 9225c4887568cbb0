// The PE resource reader on crafted programs: what it finds, what it refuses, and that no
// cut or corrupted file makes it read outside the bytes it was given.
#include "pe_resources.h"

#include <gtest/gtest.h>

#include <random>

#include "support/pe_image_builder.h"

namespace {

using namespace pqtest;
using pqpack::PeResource;
using pqpack::readPeResources;

const Bytes kManifest = {'<', 'a', 's', 's', 'e', 'm', 'b', 'l', 'y', '/', '>'};
const Bytes kVersion = {1, 2, 3, 4, 5, 6, 7, 8};

Bytes craftedProgram() {
  return peImage(resourceSection({{pqpack::kResourceType_Manifest, 1, 0x409, kManifest},
                                  {pqpack::kResourceType_Version, 1, 0x409, kVersion}}));
}

TEST(PeResources, ReadsTypeNameLanguageAndDataOfEveryNumberedResource) {
  std::vector<PeResource> resources;
  std::string problem;
  ASSERT_TRUE(readPeResources(craftedProgram(), &resources, &problem)) << problem;
  ASSERT_EQ(resources.size(), 2u);
  const PeResource* manifest = pqpack::findResource(resources, pqpack::kResourceType_Manifest, 1);
  ASSERT_NE(manifest, nullptr);
  EXPECT_EQ(manifest->language, 0x409u);
  EXPECT_EQ(manifest->data, kManifest);
  const PeResource* version = pqpack::findResource(resources, pqpack::kResourceType_Version, 1);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->data, kVersion);
  EXPECT_EQ(pqpack::findResource(resources, pqpack::kResourceType_Version, 2), nullptr);
}

TEST(PeResources, SkipsNamedEntriesAndKeepsTheNumberedOnes) {
  Bytes image = craftedProgram();
  // The first type entry's name field gets its top bit: a type known by name.
  put32(&image, kSectionFileOffset + 16, 0x80000000u | 0x100);
  std::vector<PeResource> resources;
  std::string problem;
  ASSERT_TRUE(readPeResources(image, &resources, &problem)) << problem;
  ASSERT_EQ(resources.size(), 1u);
  EXPECT_EQ(resources[0].type, pqpack::kResourceType_Version);
}

TEST(PeResources, AProgramWithoutAResourceDirectoryHasNoResources) {
  std::vector<PeResource> resources{PeResource{}};
  std::string problem;
  EXPECT_TRUE(readPeResources(peImage(Bytes(64, 0), kNoDirectory), &resources, &problem)) << problem;
  EXPECT_TRUE(resources.empty());
}

TEST(PeResources, RefusesFilesThatAreNoWindowsProgram) {
  std::vector<PeResource> resources;
  std::string problem;
  EXPECT_FALSE(readPeResources({}, &resources, &problem));
  EXPECT_FALSE(readPeResources({'M', 'Z'}, &resources, &problem));
  const std::string text = "MZ fake installer program, nothing like a PE header at all.....";
  EXPECT_FALSE(readPeResources(Bytes(text.begin(), text.end()), &resources, &problem));
  EXPECT_EQ(problem, "not a Windows program (no PE header)");

  Bytes farHeader = craftedProgram();
  put32(&farHeader, 0x3C, 0xFFFFFFF0u); // e_lfanew near the top of the address range
  EXPECT_FALSE(readPeResources(farHeader, &resources, &problem));

  Bytes unknownFormat = craftedProgram();
  put16(&unknownFormat, kOptionalHeaderOffset, 0x107); // a ROM image
  EXPECT_FALSE(readPeResources(unknownFormat, &resources, &problem));
}

TEST(PeResources, RefusesOffsetsAndSizesThatPointOutsideTheFile) {
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
    const char* problem;
  };
  const uint32_t leafOfFirst = kSectionFileOffset + 16 + 8 * 2 + 24 + 24;
  const Case cases[] = {
      {"section count beyond the file", kPeHeaderOffset + 6, 0xFFFF, "the section table runs past the end of the file"},
      {"resource directory outside every section", kResourceDirectoryEntryOffset, 0x9000,
       "a resource directory lies outside the file"},
      {"section raw data beyond the file", kSectionTableOffset + 20, 0x7FFFFFF0u,
       "a resource directory lies outside the file"},
      {"type count larger than the section", kSectionFileOffset + 14, 0xFFFF,
       "a resource directory's entries run past the end of its section"},
      {"subdirectory offset past the section", kSectionFileOffset + 20, 0x80000000u | 0x7FFFFFF0u,
       "a resource directory lies outside the file"},
      {"data RVA past the section", leafOfFirst, kSectionRva + 0x100000, "a resource's data lies outside the file"},
      {"data size past the section", leafOfFirst + 4, 0xFFFFFFFFu, "a resource's data lies outside the file"},
      {"data at the type level", kSectionFileOffset + 20, 16,
       "a resource directory entry holds data where a subdirectory belongs"},
  };
  for (const Case& broken : cases) {
    Bytes image = craftedProgram();
    put32(&image, broken.offset, broken.value);
    if (broken.value <= 0xFFFF && broken.offset % 4 != 0) put16(&image, broken.offset, broken.value);
    std::vector<PeResource> resources;
    std::string problem;
    EXPECT_FALSE(readPeResources(image, &resources, &problem)) << broken.what;
    EXPECT_EQ(problem, broken.problem) << broken.what;
    EXPECT_TRUE(resources.empty()) << broken.what;
  }
}

TEST(PeResources, GivesUpOnDirectoriesThatShareSubdirectoriesWithoutEnd) {
  // Every level has 300 entries, each pointing at the same next level: 27 million leaves
  // described in under 8 KB.
  constexpr uint32_t kEntries = 300;
  const uint32_t directorySize = 16 + 8 * kEntries;
  Bytes section;
  for (uint32_t level = 0; level < 3; ++level) {
    const uint32_t start = level * directorySize;
    put16(&section, start + 14, kEntries);
    for (uint32_t entry = 0; entry < kEntries; ++entry) {
      put32(&section, start + 16 + 8 * entry, entry + 1);
      const uint32_t next = level < 2 ? 0x80000000u | (start + directorySize) : 3 * directorySize;
      put32(&section, start + 20 + 8 * entry, next);
    }
  }
  put32(&section, 3 * directorySize, kSectionRva); // the one leaf: four bytes at the section's start
  put32(&section, 3 * directorySize + 4, 4);
  put32(&section, 3 * directorySize + 12, 0);
  std::vector<PeResource> resources;
  std::string problem;
  EXPECT_FALSE(readPeResources(peImage(section), &resources, &problem));
  EXPECT_EQ(problem, "the resource directory has more entries than any program");
}

TEST(PeResources, RefusesALanguageLevelThatPointsAtAnotherDirectory) {
  Bytes image = craftedProgram();
  const uint32_t firstLanguageEntry = kSectionFileOffset + 16 + 8 * 2 + 24 + 16;
  put32(&image, firstLanguageEntry + 4, 0x80000000u); // back to the root
  std::vector<PeResource> resources;
  std::string problem;
  EXPECT_FALSE(readPeResources(image, &resources, &problem));
  EXPECT_EQ(problem, "the resource directory is deeper than type, name and language");
}

TEST(PeResources, EveryCutOfTheFileIsReadWithinItsBytesOrRefused) {
  const Bytes whole = craftedProgram();
  for (size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    std::vector<PeResource> resources;
    std::string problem;
    // The last resource's data ends the file, so no cut keeps both.
    if (readPeResources(cut, &resources, &problem)) {
      EXPECT_LT(resources.size(), 2u) << "cut at " << length;
    } else {
      EXPECT_FALSE(problem.empty()) << "cut at " << length;
    }
  }
}

TEST(PeResources, SeededCorruptionNeverReadsOutsideTheFile) {
  const Bytes whole = craftedProgram();
  std::mt19937 random(20261207);
  std::uniform_int_distribution<size_t> position(0, whole.size() - 1);
  std::uniform_int_distribution<int> value(0, 255);
  for (int round = 0; round < 3000; ++round) {
    Bytes image = whole;
    const int changes = 1 + round % 4;
    for (int change = 0; change < changes; ++change) image[position(random)] = static_cast<uint8_t>(value(random));
    std::vector<PeResource> resources;
    std::string problem;
    if (readPeResources(image, &resources, &problem)) {
      for (const PeResource& resource : resources) EXPECT_LE(resource.data.size(), image.size());
    }
  }
}

} // namespace
