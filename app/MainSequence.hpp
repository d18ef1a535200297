// The launcher's start-up, from the server request to the window, and the run of the window.
#pragma once

#include "app/PlaySequence.hpp"
#include "app/Services.hpp"
#include "net/DocumentTrust.hpp"
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
    DocumentTrust trust; // whether the document was signed; only a verified one may ask for more than today's
};

/// The launcher's own version; a server "version" above it stops this launcher.
inline constexpr int LauncherVersion = 3;

/// The launcher server this run talks to: the build's address, unless VARNHOLD_SERVER_URL names another (admins
/// trying a server before they build their own launcher, and the tests).
[[nodiscard]] std::string serverAddress();

/// Everything before the window: fetch the document, and with a signing key check its signature before anything
/// reads it; read it, start the workers, check version and folder. Empty after an early stop, whose boxes have then
/// been shown.
[[nodiscard]] std::optional<StartupPlan> runStartup(Launcher& launcher, const Services& services,
                                                    const std::string& address, const SigningPolicy& signing = {});

/// The whole run with the minisign public keys `signingKeys` (none: documents are not checked); the process exit code
/// (0 after a normal close, 1 after an early stop).
[[nodiscard]] int runLauncher(std::span<const std::string_view> signingKeys);
