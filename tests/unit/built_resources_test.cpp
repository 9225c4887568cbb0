// The Windows files as built (dist/win32, present after a win32 build): pqsetup.exe carries
// the manifest Windows needs to elevate it, give it visual styles and leave its DPI alone,
// and both it and impborl.dll carry version information with this project's version.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "installer_rules.h"
#include "pe_image.h"
#include "pe_resources.h"
#include "support/pqpack_support.h"
#include "program_version.h"
#include "version_resource.h"

namespace {

constexpr uint32_t kResourceType_GroupIcon = 14;

std::string builtFile(const std::string& name) { return std::string(PQ_SOURCE_DIR) + "/dist/win32/" + name; }

// The resources of a built file; skips the test when there is no win32 build.
bool readBuiltResources(const std::string& name, std::vector<pqpack::PeResource>* resources) {
  const std::string path = builtFile(name);
  if (!std::filesystem::exists(path)) return false;
  std::string problem;
  EXPECT_TRUE(pqpack::readPeResources(pqtest::readFile(path), resources, &problem)) << problem;
  return true;
}

pqpack::VersionInfo versionOf(const std::vector<pqpack::PeResource>& resources) {
  pqpack::VersionInfo info;
  const pqpack::PeResource* resource = pqpack::findResource(resources, pqpack::kResourceType_Version, 1);
  EXPECT_NE(resource, nullptr);
  std::string problem;
  if (resource != nullptr) {
    EXPECT_TRUE(pqpack::parseVersionInfo(resource->data, &info, &problem)) << problem;
  }
  return info;
}

std::string fixedVersionText(const pqpack::VersionInfo& info) {
  return std::to_string(info.fileVersion[0]) + "." + std::to_string(info.fileVersion[1]) + "." +
         std::to_string(info.fileVersion[2]) + "." + std::to_string(info.fileVersion[3]);
}

TEST(BuiltResources, TheInstallerManifestAsksForAdministratorStylesAndSystemDpi) {
  std::vector<pqpack::PeResource> resources;
  if (!readBuiltResources("pqsetup.exe", &resources)) GTEST_SKIP() << "no win32 build in dist/win32";
  // Id 1 is the one Windows reads for a program's own process.
  const pqpack::PeResource* manifest = pqpack::findResource(resources, pqpack::kResourceType_Manifest, 1);
  ASSERT_NE(manifest, nullptr);
  const std::string text(manifest->data.begin(), manifest->data.end());
  EXPECT_NE(text.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
            std::string::npos);
  EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find(">system</dpiAwareness>"), std::string::npos);
  EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos);
  for (const char* windows : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                              "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(text.find(std::string("<supportedOS Id=\"") + windows + "\"/>"), std::string::npos) << windows;
  }
  EXPECT_EQ(text.find('@'), std::string::npos) << "a placeholder was left unfilled";
  // Exactly one manifest: a second one from the C runtime would make the loader pick either.
  int manifests = 0;
  for (const auto& resource : resources) manifests += resource.type == pqpack::kResourceType_Manifest ? 1 : 0;
  EXPECT_EQ(manifests, 1);
  EXPECT_NE(pqpack::findResource(resources, kResourceType_GroupIcon, 1), nullptr) << "the program icon";
}

// On a Remote Desktop host the installer and the saver's /u must both see the one real Windows
// directory; the samples declare that they run with their starter's rights, so that no
// compatibility shim decides otherwise. An entry is read whole: a 1.4 GB movie needs more
// than the 2 GB of address space a 32-bit program gets unless it is large-address-aware.
TEST(BuiltResources, TheProgramsSeeTheRealWindowsDirectoryAndFourGigabytesAndTheSamplesAskForNoRights) {
  for (const std::string name : {"pqsetup.exe", "Sunset.scr", "Show.exe"}) {
    std::vector<pqpack::PeResource> resources;
    if (!readBuiltResources(name, &resources)) GTEST_SKIP() << "no win32 build in dist/win32";
    const std::vector<uint8_t> image = pqtest::readFile(builtFile(name));
    pqpack::PeHeaders headers;
    std::string problem;
    ASSERT_TRUE(pqpack::readPeHeaders(pqpack::ByteView(image), &headers, &problem)) << problem;
    EXPECT_NE(headers.dllCharacteristics & pqpack::kPeDllCharacteristic_TerminalServerAware, 0) << name;
    EXPECT_NE(headers.characteristics & pqpack::kPeCharacteristic_LargeAddressAware, 0) << name;
    const pqpack::PeResource* manifest = pqpack::findResource(resources, pqpack::kResourceType_Manifest, 1);
    ASSERT_NE(manifest, nullptr) << name;
    const std::string text(manifest->data.begin(), manifest->data.end());
    EXPECT_EQ(text.find("level=\"asInvoker\"") != std::string::npos, name != "pqsetup.exe") << name;
  }
}

TEST(BuiltResources, TheInstallerAndTheLibraryCarryTheProjectVersion) {
  const std::string version = pqpack::projectVersion();
  std::vector<std::string> descriptions;
  for (const std::string name : {"pqsetup.exe", "impborl.dll"}) {
    std::vector<pqpack::PeResource> resources;
    if (!readBuiltResources(name, &resources)) GTEST_SKIP() << "no win32 build in dist/win32";
    const pqpack::VersionInfo info = versionOf(resources);
    EXPECT_EQ(info.text("ProductName"), "Panoquill Installer") << name;
    EXPECT_EQ(info.text("FileVersion"), version) << name;
    EXPECT_EQ(info.text("ProductVersion"), version) << name;
    EXPECT_EQ(info.text("OriginalFilename"), name);
    EXPECT_TRUE(info.hasFixedInfo) << name;
    EXPECT_EQ(fixedVersionText(info), version + ".0") << name;
    EXPECT_FALSE(info.text("FileDescription").empty()) << name;
    descriptions.push_back(info.text("FileDescription"));
  }
  EXPECT_NE(descriptions[0], descriptions[1]) << "each file describes itself";
}

TEST(BuiltResources, TheBuiltProgramAndLibraryPassTheBuildersOwnChecks) {
  const std::string stub = builtFile("pqsetup.exe");
  const std::string library = builtFile("impborl.dll");
  if (!std::filesystem::exists(stub) || !std::filesystem::exists(library)) GTEST_SKIP() << "no win32 build";
  EXPECT_EQ(pqpack::installerProgramProblem(pqtest::readFile(stub)), "");
  EXPECT_EQ(pqpack::compressionLibraryProblem(pqtest::readFile(library)), "");
  // Nor does either pass for the other.
  EXPECT_NE(pqpack::compressionLibraryProblem(pqtest::readFile(stub)), "");
  EXPECT_NE(pqpack::installerProgramProblem(pqtest::readFile(library)), "");
  // The program is the installer program by its version information, and the samples, 32-bit
  // GUI programs themselves, are not.
  for (const std::string name : {"pqsetup.exe", "Sunset.scr", "Show.exe"}) {
    pqpack::Findings found;
    pqpack::checkProgram(pqtest::readFile(builtFile(name)), &found);
    std::vector<pqpack::FindingCode> codes;
    for (const pqpack::Finding& problem : found.problems) codes.push_back(problem.code);
    EXPECT_EQ(codes, name == "pqsetup.exe" ? std::vector<pqpack::FindingCode>{}
                                           : std::vector<pqpack::FindingCode>{pqpack::FindingCode::ProgramNotInstaller})
        << name;
  }
}

// list of an installer built around the real program (its stand-in's version information
// names it and carries no version: pqpack_inspect_test lists that).
class BuiltResourcesListing : public pqtest::SaverBuildInputs {};

TEST_F(BuiltResourcesListing, ShowsTheVersionOfTheProgramInFrontOfAnInstaller) {
  const std::string stub = builtFile("pqsetup.exe");
  if (!std::filesystem::exists(stub)) GTEST_SKIP() << "no win32 build in dist/win32";
  const std::string installer = folder / "Setup.exe";
  // The later --stub counts: the built program instead of the stand-in.
  const auto built = pqtest::run(
      "build", buildArgs(installer, {"--stub", stub, folder / "Sunset.scr", folder / "Sunset.ssd"}));
  ASSERT_EQ(built.status, 0) << built.err;
  const auto listed = pqtest::run("list", {installer});
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out.find("\nprogram: ProductName \"Panoquill Installer\", FileVersion \"" +
                            std::string(pqpack::projectVersion()) + "\"\n"),
            std::string::npos)
      << listed.out;
}

} // namespace
