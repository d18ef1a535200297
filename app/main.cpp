// The launcher program: the main sequence is all it runs.
#include "app/MainSequence.hpp"
#include "app/SigningKeys.hpp"
#include "platform/AppDataFolder.hpp"
#include "platform/CloseRequests.hpp"
#include "platform/Diagnostics.hpp"

#include <SFML/System/Err.hpp>

#include <cstdio>

int main() {
    // Diagnostic lines go out whole as they happen, also into a file or a pipe, and are not lost if the process is
    // ended.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A logout or shutdown closes the launcher as its close button does: workers stopped, no half-written file.
    platform::CatchCloseRequests();
    // Started from a desktop menu, the launcher has no console: its lines, the graphics library's complaints
    // included, are kept in a log the player can send.
    const platform::RunLog log(platform::LocalAppDataFolder());
    std::streambuf* const graphicsErrors = sf::err().rdbuf(platform::ErrorLineStream().rdbuf());
    const int code = runLauncher(builtInSigningKeys());
    sf::err().rdbuf(graphicsErrors);
    return code;
}
