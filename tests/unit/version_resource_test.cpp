// The version-information reader on crafted blocks: the fixed version, the first string
// table's texts, and refusals of lengths that do not fit.
#include "version_resource.h"

#include <gtest/gtest.h>

#include "support/pe_image_builder.h"

namespace {

using namespace pqtest;
using pqpack::parseVersionInfo;
using pqpack::VersionInfo;

Bytes craftedVersion() {
  return versionInfo(fixedFileInfo(1, 2, 3, 4),
                     {{"040904B0",
                       {textValueBlock("ProductName", "Panoquill Installer"), textValueBlock("FileVersion", "1.2.3"),
                        textValueBlock("Comments", "")}},
                      {"040704B0", {textValueBlock("ProductName", "Panoquill Installationsprogramm")}}});
}

TEST(VersionResource, ReadsTheFixedVersionAndTheFirstStringTable) {
  VersionInfo info;
  std::string problem;
  ASSERT_TRUE(parseVersionInfo(craftedVersion(), &info, &problem)) << problem;
  ASSERT_TRUE(info.hasFixedInfo);
  EXPECT_EQ(info.fileVersion[0], 1);
  EXPECT_EQ(info.fileVersion[1], 2);
  EXPECT_EQ(info.fileVersion[2], 3);
  EXPECT_EQ(info.fileVersion[3], 4);
  ASSERT_EQ(info.strings.size(), 3u);
  EXPECT_EQ(info.text("ProductName"), "Panoquill Installer");
  EXPECT_EQ(info.text("FileVersion"), "1.2.3");
  EXPECT_EQ(info.text("Comments"), "");
  EXPECT_EQ(info.text("CompanyName"), "");
}

TEST(VersionResource, GivesTextsOutsideAsciiInUtf8) {
  Bytes value = {'C', 0, 0xE9, 0, 0xAC, 0x20, 0, 0}; // "Cé€"
  const Bytes version = versionInfo(fixedFileInfo(1, 0, 0, 0),
                                    {{"040904B0", {versionBlock("ProductName", value, 4, 1)}}});
  VersionInfo info;
  std::string problem;
  ASSERT_TRUE(parseVersionInfo(version, &info, &problem)) << problem;
  EXPECT_EQ(info.text("ProductName"), "C\xC3\xA9\xE2\x82\xAC");
}

TEST(VersionResource, AWrongSignatureLeavesTheTextsButNoFixedVersion) {
  Bytes fixed = fixedFileInfo(1, 2, 3, 4);
  put32(&fixed, 0, 0x12345678);
  VersionInfo info;
  std::string problem;
  ASSERT_TRUE(parseVersionInfo(versionInfo(fixed, {{"040904B0", {textValueBlock("FileVersion", "9")}}}), &info,
                               &problem));
  EXPECT_FALSE(info.hasFixedInfo);
  EXPECT_EQ(info.text("FileVersion"), "9");
}

TEST(VersionResource, RefusesAnotherRootAndLengthsLongerThanTheirParent) {
  VersionInfo info;
  std::string problem;
  EXPECT_FALSE(parseVersionInfo(versionBlock("VS_VERSION_INFX", fixedFileInfo(1, 0, 0, 0), 52, 0), &info, &problem));
  EXPECT_EQ(problem, "the version information has no VS_VERSION_INFO block");
  EXPECT_FALSE(parseVersionInfo({}, &info, &problem));

  Bytes rootTooLong = craftedVersion();
  put16(&rootTooLong, 0, static_cast<uint32_t>(rootTooLong.size() + 4));
  EXPECT_FALSE(parseVersionInfo(rootTooLong, &info, &problem));

  Bytes childTooLong = craftedVersion();
  const size_t stringFileInfo = 6 + 32 + 52 + 2; // header, "VS_VERSION_INFO" + NUL + pad, fixed info
  put16(&childTooLong, stringFileInfo, 0xFFF0);
  EXPECT_FALSE(parseVersionInfo(childTooLong, &info, &problem));
  EXPECT_EQ(problem, "a block of the version information runs past its parent");
}

TEST(VersionResource, EveryCutAndSeededCorruptionStaysInsideTheBytes) {
  const Bytes whole = craftedVersion();
  for (size_t length = 0; length < whole.size(); ++length) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    VersionInfo info;
    std::string problem;
    EXPECT_FALSE(parseVersionInfo(cut, &info, &problem)) << "cut at " << length;
  }
  uint32_t state = 7;
  for (int round = 0; round < 3000; ++round) {
    Bytes corrupted = whole;
    for (int change = 0; change <= round % 3; ++change) {
      state = state * 1664525u + 1013904223u;
      corrupted[(state >> 8) % corrupted.size()] = static_cast<uint8_t>(state >> 24);
    }
    VersionInfo info;
    std::string problem;
    parseVersionInfo(corrupted, &info, &problem);
  }
}

} // namespace
