// The launcher's start-up, from the server request to the window, and the run of the window.
#pragma once

#include "app/PlaySequence.hpp"
#include "app/Services.hpp"
#include "ui/LinkAddresses.hpp"

#include <optional>
#include <string>
#include <vector>

class Launcher;

/// What start-up hands to the window and to Play.
struct StartupPlan {
    std::string announcement;
    std::vector<std::string> realmLines;
    std::string languageCode; // the server's "lang", deciding how the announcement is drawn
    LinkAddresses links;      // the web addresses the link buttons open; empty for a refused one
    PlayContext play;
};

/// The launcher's own version; a server "version" above it stops this launcher.
inline constexpr int LauncherVersion = 3;

/// The launcher server this run talks to: the build's address, unless VARNHOLD_SERVER_URL names another (admins
/// trying a server before they build their own launcher, and the tests).
[[nodiscard]] std::string serverAddress();

/// Everything before the window: fetch and read the document, start the workers, check version and folder.
/// Empty after an early stop, whose boxes have then been shown.
[[nodiscard]] std::optional<StartupPlan> runStartup(Launcher& launcher, const Services& services,
                                                    const std::string& address);

/// The whole run; the process exit code (0 after a normal close, 1 after an early stop).
[[nodiscard]] int runLauncher();
