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
    LinkAddresses links;
    PlayContext play;
};

/// The launcher's own version; a server "version" above it stops this launcher.
inline constexpr int LauncherVersion = 3;

/// How this run was started.
struct LaunchOptions {
    int version = LauncherVersion; // the version this build goes by (a test build claims a newer one)
    bool updateTrial = false;      // started by an older launcher that waits for this one to show itself
};

/// How start-up ended.
struct StartupResult {
    std::optional<StartupPlan> plan; // for the window; empty after an early stop, whose boxes have then been shown
    bool handedOver = false;         // a newer launcher runs in this one's place: the run ends with 0
};

/// The launcher server this run talks to: the build's address, unless VARNHOLD_SERVER_URL names another (admins
/// trying a server before they build their own launcher, and the tests).
[[nodiscard]] std::string serverAddress();

/// Everything before the window: fetch and read the document, take an update it offers, start the workers, check
/// version and folder, for a launcher of `ownVersion`.
[[nodiscard]] StartupResult runStartup(Launcher& launcher, const Services& services, const std::string& address,
                                       int ownVersion = LauncherVersion);

/// The whole run; the process exit code (0 after a normal close or a hand-over to a newer launcher, 1 after an
/// early stop).
[[nodiscard]] int runLauncher(const LaunchOptions& options);

/// The program's entry, for a build that goes by `version`: the run log, the command line, then runLauncher.
[[nodiscard]] int launcherMain(int argc, char** argv, int version);
