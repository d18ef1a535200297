// The preparations before play that are not part of the Launcher's state: deleting one listed file, and what
// became of the realm list.
#pragma once

#include <string>

/// Deletes the file at FullPath(`path`); folders are left alone and every failure is ignored.
void RemoveFile(const std::string& path);

/// What Launcher::writeRealmlist did.
enum class RealmlistWrite {
    Written,  // the file holds exactly the server's text
    NoTarget, // no listed folder existed: nothing to write
    ReadOnly, // the file is read-only and was left as it is
    Failed,   // the folder or the disk refused it; the file is as it was
};
