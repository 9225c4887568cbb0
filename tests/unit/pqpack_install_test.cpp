// Installers built by pqpack, installed by the installer itself on the simulated Windows:
// its start-up reads the table pqpack wrote, and its extraction (through TCompressor and the
// decoder for the compressed entries) gives back every input byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "build_command.h"
#include "compression/compressor.h"
#include "data_file.h"
#include "installer/fInstall.h"
#include "platform/sim/sim_os.h"
#include "support/pqpack_support.h"

namespace {

using namespace pqtest;

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class PqpackInstall : public testing::Test {
protected:
  PqpackInstall() : sim(folder.path / "machine"), scope(sim) {
    resetRunState();
    resetCompressionState();
    writeFile(folder / "pqsetup.exe", fakeProgram());
    writeFile(folder / "impborl.dll", library);
    writeFile(folder / "qtlib.dll", support);
    writeFile(folder / "data.ssd", data);
  }
  ~PqpackInstall() override { resetRunState(); }

  // Builds an installer of `mainName` and places it where the simulated program runs from.
  void buildAndPlace(const std::string& mainName) {
    writeFile(folder / mainName, main);
    pqpack::BuildRequest request;
    request.output = folder / "Setup.exe";
    request.stub = folder / "pqsetup.exe";
    request.library = folder / "impborl.dll";
    request.mainFile = folder / mainName;
    request.dataFile = folder / "data.ssd";
    request.libraries = {folder / "qtlib.dll"};
    std::string problem;
    ASSERT_TRUE(pqpack::buildInstaller(request, nullptr, nullptr, &problem)) << problem;
    sim.putFile("C:\\Setup\\Setup.exe", text(readFile(folder / "Setup.exe")));
  }

  ScratchFolder folder;
  pq::SimOs sim;
  pq::ScopedSimOs scope;
  Bytes library = fakeLibrary();
  Bytes main = windowsImage(70000, 11);
  Bytes support = windowsImage(30000, 12, true);
  Bytes data = pqpack::makeDataFile(0, compressibleBytes(3000, 13));
};

TEST_F(PqpackInstall, ScreenSaverInstallerInstallsEveryFileIntoTheWindowsDirectory) {
  buildAndPlace("Sunset.scr");
  TForm1 form;
  form.FormCreate(nullptr);
  ASSERT_EQ(isScreenSaver, 1);
  ASSERT_TRUE(form.butInstall.enabled);

  form.butInstallClick(nullptr);
  EXPECT_TRUE(sim.errorDialogs.empty()) << sim.errorDialogs.front();
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\impborl.dll"), text(library));
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\Sunset.scr"), text(main));
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\data.ssd"), text(data));
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\qtlib.dll"), text(support));
}

TEST_F(PqpackInstall, AWesternEuropeanNameReachesTheWindowAndTheDiskAsTheAuthorWroteIt) {
  buildAndPlace("\xC3\x89" "cran.scr");  // "Écran.scr", as a Linux author's file name is spelt
  TForm1 form;
  form.FormCreate(nullptr);
  EXPECT_EQ(form.form.caption, "Screen Saver Installation: \xC9" "cran");  // code page 1252
  form.butInstallClick(nullptr);
  EXPECT_TRUE(sim.errorDialogs.empty()) << sim.errorDialogs.front();
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\\xC9" "cran.scr"), text(main));
}

TEST_F(PqpackInstall, MovieInstallerPutsTheMovieBesideItself) {
  buildAndPlace("Show.exe");
  TForm1 form;
  form.FormCreate(nullptr);
  ASSERT_EQ(isScreenSaver, 0);

  form.butInstallClick(nullptr);
  EXPECT_TRUE(sim.errorDialogs.empty()) << sim.errorDialogs.front();
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_EQ(sim.fileContents("C:\\Setup\\Show.exe"), text(main));
  EXPECT_EQ(sim.fileContents("C:\\Setup\\data.ssd"), text(data));
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\qtlib.dll"), text(support));
}

} // namespace
