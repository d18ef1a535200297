// The preparations before play that are not part of the Launcher's state: deleting one listed file, and what
// became of the realm list.
#pragma once

#include <string>

/// Deletes the file at FullPath(`path`) when it lies inside `gameFolder` and is reached there without a link that
/// leads out of it (a link itself is deleted as a link). Folders are left alone and every failure is ignored; a path
/// outside the game folder, a network share or a device is refused with a line on standard output.
void RemoveFile(const std::string& path, const std::string& gameFolder);

/// What Launcher::writeRealmlist did.
enum class RealmlistWrite {
    Written,  // the file holds exactly the server's text
    NoTarget, // no listed folder existed: nothing to write
    ReadOnly, // the file is read-only and was left as it is
    Outside,  // the links on the way lead out of the game folder: nothing written there
    Failed,   // the folder or the disk refused it; the file is as it was
};
