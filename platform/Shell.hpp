// Handing things to the desktop: web addresses, and the files of the game folder (documents and programs).
#pragma once

#include <string>

namespace platform {

/// Opens the existing file `target` without waiting: a program as its own process in the current folder (a Windows
/// program through Wine when it is installed), a document or a folder through the desktop's opener. Addresses are
/// no files: OpenAddress opens them. Returns false when there is no such file or nothing could be started; callers
/// may ignore it.
bool OpenTarget(const std::string& target);

/// Hands `address`, which must start with a URL scheme ("https:"), to the desktop's opener without waiting. It never
/// looks for a file of that name, so a file planted under an address's spelling cannot stand in for the page.
/// Returns false for text without a scheme or when nothing could be started.
bool OpenAddress(const std::string& address);

} // namespace platform
