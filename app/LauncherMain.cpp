// The program's entry, shared by the launcher and by test builds that go by another version.
#include "app/MainSequence.hpp"
#include "platform/AppDataFolder.hpp"
#include "platform/CloseRequests.hpp"
#include "platform/Diagnostics.hpp"

#include <SFML/System/Err.hpp>

#include <algorithm>
#include <cstdio>
#include <string_view>

int launcherMain(int argc, char** argv, int version, std::span<const std::string_view> signingKeys) {
    // Diagnostic lines go out whole as they happen, also into a file or a pipe, and are not lost if the process is
    // ended.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A logout or shutdown closes the launcher as its close button does: workers stopped, no half-written file.
    platform::CatchCloseRequests();
    // Started from a desktop menu, the launcher has no console: its lines, the graphics library's complaints
    // included, are kept in a log the player can send.
    const platform::RunLog log(platform::LocalAppDataFolder());
    std::streambuf* const graphicsErrors = sf::err().rdbuf(platform::ErrorLineStream().rdbuf());
    LaunchOptions options;
    options.version = version;
    options.signingKeys = signingKeys;
    // The one argument the launcher knows; a player starts it with none.
    options.updateTrial = std::any_of(argv + std::min(argc, 1), argv + argc, [](const char* argument) {
        return std::string_view(argument) == updateTrialArgument;
    });
    const int code = runLauncher(options);
    sf::err().rdbuf(graphicsErrors);
    return code;
}
