// Names an entry must never land under: files Windows keeps in its own folder, DLLs that
// programs load by their bare names, and the files this system names itself. An entry of such
// a name would be installed over the system's file, and deleted with the saver on
// un-installing, or loaded in place of a system DLL by the programs started from the folder it
// lands in. One table (reserved_names.cpp), each group of names with where it comes from;
// pqpack refuses to build, to pass in verify and to extract an entry that lands under one.
#pragma once

#include <cstdint>
#include <string>

// What a file landing as `landingName` would take the place of, as a phrase ("Windows' own
// settings file, system.ini"), or empty when the name is free. `fileType` is the entry's kind
// (a library may land as the compression library, no other entry may), and
// `inWindowsDirectory` where it lands (some names are taken there only).
std::string reservedNameHolder(const std::string& landingName, int32_t fileType, bool inWindowsDirectory);
