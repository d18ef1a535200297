// The tests that the launcher runs inside the game folder, and the paths of what Play starts.
#pragma once

#include "app/Services.hpp"

#include <string>

class Launcher;

struct DirectoryCheck {
    bool exists = false;
    std::string fullPath;
};

/// FullPath of `path` and whether it is an existing folder.
[[nodiscard]] DirectoryCheck DirectoryExists(const std::string& path);

/// True when `path` can be opened for reading; `fullPath` receives its full path either way. A name missing as
/// written is looked for in any letter case (FullPathIgnoringCase), and `fullPath` then names what was found.
[[nodiscard]] bool FileExists(const std::string& path, std::string& fullPath);

/// "./Wow.exe" present: the full download stays off. Missing: the folder box and the download question; true
/// when the launcher may go on (the answer Yes turns the full game download on).
[[nodiscard]] bool checkGameFolder(Launcher& launcher, const Services& services);
