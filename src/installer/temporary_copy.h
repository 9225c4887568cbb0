// The temporary copy of the installer, from its name to its removal. Start-up copies the
// running installer to pathWindows + "KWRXtemp" + N + ".dat", reads the directory table from
// the copy and holds it open for the rest of the run; extraction reads the entries from it;
// closing the window lets go of it and removes it. A run that is killed leaves its copy behind,
// and a later start-up removes it once no installer can still be using it: a running installer
// holds its copy, and a copy an older installer made, which it does not hold, waits for the
// next restart of the system.
#pragma once

#include <memory>
#include <string>

#include "errors/result_codes.h"
#include "platform/os.h"
#include "system/numbered_files.h"

// The copies are named "KWRXtemp" + a decimal number from 1 up + ".dat".
inline constexpr NumberedName kTemporaryCopyName{"KWRXtemp", ".dat"};

// Installers of this build and later hold their copy open from start-up to close, and their
// program carries this text, so a copy that carries it and that nobody holds is abandoned.
extern const char kHeldCopyMark[];

// The first free copy path in `windowsDirectory` (ending in '\') from KWRXtemp1.dat upwards,
// once the copies earlier runs left behind are gone: only copies that an installer may still
// be using keep their numbers.
std::string chooseTemporaryCopyPath(const std::string& windowsDirectory);

// Copies the installer at `installerPath` to `copyPath`, after removing whatever stands there
// (patiently, as a file that may be busy for a moment). 0, the removal's code or the system's
// error number, already shown.
TResult createTemporaryCopy(const std::string& installerPath, const std::string& copyPath);

// Opens the copy for reading. While the file stays open it is held: reading is all anybody
// else may share, so no other installer's start-up can remove it as abandoned.
std::unique_ptr<pq::OsFile> openTemporaryCopy(const std::string& copyPath);

// Lets go of the copy (`held` may already be empty) and removes it in one attempt; a copy that
// someone else locks is reported and stays.
void removeTemporaryCopy(std::unique_ptr<pq::OsFile>* held, const std::string& copyPath);
