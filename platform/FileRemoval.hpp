// Removing files and folder trees without ever going through a link: a link is removed as a link, and what it
// points to (a folder outside the game folder, the player's documents) is never touched.
#pragma once

#include <string>

namespace platform {

/// Removes the file or link at `path` (a link itself, not what it points to); never a folder. False when nothing was
/// removed: missing, a folder, or refused by the OS.
bool RemoveFileOrLink(const std::string& path);

/// What RemoveTree left behind.
struct TreeRemoval {
    bool complete = true; // everything is gone (or nothing was there)
    std::string error;    // the OS's words for the first thing that stayed
};

/// Removes `path` and, when it is a folder, everything in it, going on past what cannot be removed (a file in
/// use). Links inside (symbolic links, junctions) are removed as links, never descended into; a link at `path` itself
/// too. A missing `path` is complete.
[[nodiscard]] TreeRemoval RemoveTree(const std::string& path);

} // namespace platform
