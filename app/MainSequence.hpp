// The launcher's start-up, from the server request to the window, and the run of the window.
#pragma once

#include "app/PlaySequence.hpp"
#include "app/Services.hpp"
#include "net/DocumentTrust.hpp"
#include "ui/LinkAddresses.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class Launcher;

/// What start-up hands to the window and to Play.
struct StartupPlan {
    std::string announcement;
    std::vector<std::string> realmLines;
    std::string languageCode; // the server's "lang", deciding how the announcement is drawn
    LinkAddresses links;      // the web addresses the link buttons open; empty for a refused one
    PlayContext play;
    DocumentTrust trust; // whether the document was signed; only a verified one may ask for more than today's
};

/// The launcher's own version; a server "version" above it stops this launcher.
inline constexpr int LauncherVersion = 3;

/// How this run was started.
struct LaunchOptions {
    int version = LauncherVersion; // the version this build goes by (a test build claims a newer one)
    bool updateTrial = false;      // started by an older launcher that waits for this one to show itself
    std::span<const std::string_view> signingKeys; // the minisign public keys built in; none: nothing is checked
};

/// How start-up ended.
struct StartupResult {
    std::optional<StartupPlan> plan; // for the window; empty after an early stop, whose boxes have then been shown
    bool handedOver = false;         // a newer launcher runs in this one's place: the run ends with 0
};

/// The launcher server this run talks to: the build's address, unless VARNHOLD_SERVER_URL names another (admins
/// trying a server before they build their own launcher, and the tests).
[[nodiscard]] std::string serverAddress();

/// Everything before the window: fetch the document, and with a signing key check its signature before anything
/// reads it; read it, take an update it offers, start the workers, check version and folder, for a launcher of
/// `ownVersion`.
[[nodiscard]] StartupResult runStartup(Launcher& launcher, const Services& services, const std::string& address,
                                       const SigningPolicy& signing = {}, int ownVersion = LauncherVersion);

/// The whole run; the process exit code (0 after a normal close or a hand-over to a newer launcher, 1 after an
/// early stop).
[[nodiscard]] int runLauncher(const LaunchOptions& options);

/// The program's entry, for a build that goes by `version` with the minisign public keys `signingKeys` (none:
/// documents are not checked): the run log, the command line, then runLauncher.
[[nodiscard]] int launcherMain(int argc, char** argv, int version, std::span<const std::string_view> signingKeys);
