// What each entry of the directory is, what its name means and where it lands: the rules that
// the installer, pqpack, the fuzzer and the tests share. The record and the file's layout are
// directory.h's.
//
//   entry 0  the installer program itself ("install.dat"), never read
//   entry 1  the compression library, stored as "impborl.dat", installed as "impborl.dll"
//   entry 2  the main file: a name ending in ".scr" makes a screen-saver installer
//   entry 3  the data file, whose header holds the QuickTime level
//   entry 4, 5  support libraries, stored under ".dat" names
//
//   kind (fileType)     screen-saver mode                  movie mode
//   1, 2, 4             Windows directory + name           installer's folder + name
//   3 (library)         Windows directory + name.dll       the same
//   any other           nowhere: the installer is damaged
//
// "name" is the name the file is created under (pq::createdFileName): the stored name less a
// tail of blanks, dots and control characters, which no file name keeps.
#pragma once

#include <cstdint>
#include <string>

#include "archive/directory.h"

// The entries the installer gives a role of their own, by index.
enum EntryIndex : int { kProgramEntry = 0, kLibraryEntry = 1, kMainEntry = 2, kDataEntry = 3 };

// What entry 0 calls the program.
constexpr char kProgramEntryName[] = "install.dat";
// The name entry 1 carries; it lands as kLibraryFileName (compression/compressor.h), the one
// file the compression binding loads.
constexpr char kLibraryEntryName[] = "impborl.dat";
// Libraries are stored under names with the first extension and installed under the second.
constexpr char kStoredLibraryExtension[] = ".dat";
constexpr char kInstalledLibraryExtension[] = ".dll";

// The installer's two modes, chosen by entry 2's name.
enum class InstallMode { ScreenSaver, Movie };

// The completion kinds (`completionKind`): which prompt follows a successful installation.
constexpr uint8_t kCompletion_ScreenSaver = 4;
constexpr uint8_t kCompletion_Movie = 5;

// True when entry 2's name makes a screen-saver installer: its extension, lower-cased and
// without trailing characters of code 0 to 32, is ".scr".
bool isScreenSaverName(const std::string& mainEntryName);
InstallMode installModeOf(const std::string& mainEntryName);

// A saver's name, which its uninstall entry is registered under: the file name of `saverPath`
// (a bare name or a path) without its extension.
std::string screenSaverName(const std::string& saverPath);

// The name a support library is stored under: its file name with the extension replaced by
// ".dat" (foo.dll -> foo.dat; a name without an extension gets one).
std::string libraryEntryName(const std::string& fileName);
// The name an entry of `fileType` lands under: the name its file is created under, for a
// library with the extension replaced by ".dll".
std::string landingName(const std::string& entryName, int32_t fileType);

// True when an entry of `fileType` lands in the Windows directory in `mode` (a library always
// does), false when it lands in the installer's folder or nowhere (a kind that is not defined).
bool landsInWindowsDirectory(int32_t fileType, InstallMode mode);

// Where an entry of `fileType` named `entryName` lands in `mode`, given the Windows directory
// and the installer's folder (each ending in '\'); empty for a kind that is not defined.
std::string entryDestination(const std::string& entryName, int32_t fileType, InstallMode mode,
                             const std::string& windowsDirectory, const std::string& installerDirectory);
