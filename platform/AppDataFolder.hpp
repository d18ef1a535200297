// The player's own folder for what the launcher keeps on this machine between runs (its logs).
#pragma once

#include <filesystem>

namespace platform {

/// The launcher's folder in the player's local application data, not created here: on Linux
/// `$XDG_STATE_HOME/varnhold-launcher` or `~/.local/state/varnhold-launcher`, on Windows
/// `%LOCALAPPDATA%\Varnhold Launcher`. Empty when the system names no such place.
[[nodiscard]] std::filesystem::path LocalAppDataFolder();

} // namespace platform
