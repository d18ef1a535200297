// varnhold-server: serves a launcher server document and game files until SIGINT or SIGTERM.
#include "tools/server/LauncherServer.hpp"
#include "tools/server/ServerOptions.hpp"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr long signalPollNanoseconds = 200'000'000;
constexpr int exitUsage = 2;

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parseServerOptions(args);
    if (parsed.action == ParsedOptions::Action::Help) {
        std::fputs(serverUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.action == ParsedOptions::Action::Error) {
        std::fprintf(stderr, "varnhold-server: %s\nTry 'varnhold-server --help'.\n", parsed.message.c_str());
        return exitUsage;
    }

    // Blocked before any thread exists, so every server thread inherits the mask and only sigtimedwait below
    // sees the stop signals: the server is then stopped from an ordinary thread, not from a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    LauncherServer server(parsed.options);
    if (!server.start()) {
        std::fprintf(stderr, "varnhold-server: %s\n", server.startError().c_str());
        return 1;
    }
    std::printf("varnhold-server: %s\n", server.describe().c_str());
    std::fflush(stdout);

    const timespec poll{0, signalPollNanoseconds};
    while (true) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &poll);
        if (signal == SIGINT || signal == SIGTERM)
            break;
        if (!server.isRunning()) {
            std::fprintf(stderr, "varnhold-server: the server stopped by itself\n");
            return 1;
        }
    }
    server.stop();
    std::printf("varnhold-server: stopped\n");
    std::fflush(stdout);
    return 0;
}
