// A destination's new file is never written under the destination's name. It is written whole
// under a partial name in the same folder, "PanoquillPartial" + N + ".tmp", created new (so
// nothing already there is ever opened, truncated or written through, whatever a user of the
// folder has put there), flushed to the disk, and only then moved onto the destination in one
// step. Killed, cut off by a power loss or logged off at any moment, an installation leaves the
// old file, no file, or the whole new one under the destination's name, never a part of one;
// and at worst a partial file, which a later start-up removes.
#pragma once

#include <string>
#include <vector>

#include "system/numbered_files.h"

// Neither a temporary copy's name ("KWRXtemp" N ".dat") nor the action lock's.
inline constexpr NumberedName kPartialFileName{"PanoquillPartial", ".tmp"};

// The first free partial path in the folder of `destination`, never the destination itself.
std::string partialPathFor(const std::string& destination);

// Moves the complete file at `partial` onto `destination` in one step, replacing whatever
// stands there, and returns once the move is on the disk. False when the system refuses (its
// error number is in lastError()); the partial file then stays where it is.
bool movePartialIntoPlace(const std::string& partial, const std::string& destination);

// Removes the partial files in `folders` (each ending in '\'; the same folder twice counts
// once), each with one silent attempt. Only to be called while no installation runs, since a
// running one may be writing its own.
void removeAbandonedPartialFiles(const std::vector<std::string>& folders);
