// The per-user folder where programs keep data they can rebuild (XDG_CACHE_HOME, ~/.cache, %LOCALAPPDATA%).
#pragma once

#include <string>

namespace platform {

/// The user's cache folder as a full path without a trailing separator: on Linux $XDG_CACHE_HOME when it is an
/// absolute path, else $HOME/.cache (the home folder from the password database when HOME is unset); on Windows
/// %LOCALAPPDATA%. Empty when there is none. The folder may not exist yet.
[[nodiscard]] std::string UserCacheFolder();

} // namespace platform
