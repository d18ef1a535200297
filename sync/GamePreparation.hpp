// The preparations before play that are not part of the Launcher's state: deleting one listed file.
#pragma once

#include <string>

/// Deletes the file at FullPath(`path`); folders are left alone and every failure is ignored.
void RemoveFile(const std::string& path);
