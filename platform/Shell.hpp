// Handing things to the desktop: web addresses, documents and programs.
#pragma once

#include <string>

namespace platform {

/// Opens `target` without waiting for it: a web address or a document through the desktop's opener, an existing
/// program as its own process in the current folder, a Windows program through Wine when it is installed.
/// Returns false when nothing could be started; callers may ignore it.
bool OpenTarget(const std::string& target);

} // namespace platform
