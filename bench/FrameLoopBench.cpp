// The window's cost: CPU share of the idle frame loop and of the loop while the progress bar moves, peak memory,
// and the time from the parsed server reply to the first frame on screen; the idle loop is set against a bare
// window that only clears and shows its frames.
#include "bench/BenchSupport.hpp"
#include "bench/SyncBenchSupport.hpp"
#include "support/PrivateDisplay.hpp"
#include "sync/Launcher.hpp"
#include "ui/LauncherScene.hpp"

#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/Window/Event.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto measuredSpan = 10s;
constexpr double cpuTargetPercent = 5.0;
// Peak memory above a bare window under the same X server and renderer: what the launcher itself adds.
constexpr double rssAboveBareTargetMb = 25.0;
constexpr double firstFrameTargetMs = 250.0;
// A download slow enough to last the whole measured span, so that the bar moves all along.
constexpr int downloadRateKiBps = 2048;
constexpr std::size_t downloadBytes = std::size_t{64} << 20;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Only the calling thread's: the frame loop's, without the download's transfer and hashing beside it.
double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double peakRssMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return -1.0;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct LoopFigures {
    double cpuPercent = 0;    // the whole process
    double threadPercent = 0; // the frame loop's thread alone
    double firstFrameMs = 0;
    int frames = 0;
};

// The real scene as the launcher shows it once everything is in place: "Ready to Play", nothing downloading; or,
// with `downloading`, while the file worker fetches one large file at a steady pace and the bar moves. Then only
// the frame loop's own thread is timed.
LoopFigures runScene(Language language, const std::string& languageCode, const std::string& announcement,
                     std::chrono::seconds span, bool downloading = false) {
    // Declared before the launcher, so that the server outlives the worker that downloads from it.
    bench_support::BenchFolder folder;
    std::unique_ptr<LauncherServer> server;
    Launcher launcher(downloading ? (folder.path() / "game").string() : std::string());
    launcher.setLanguage(language);
    if (downloading) {
        std::filesystem::create_directories(folder.path() / "files");
        std::filesystem::create_directories(folder.path() / "game");
        if (!bench_support::writeRandomFile((folder.path() / "files/big.bin").string(), downloadBytes, 3))
            return {};
        ServerOptions options;
        options.port = 0;
        options.quiet = true;
        options.filesDir = (folder.path() / "files").string();
        options.documentPath = (folder.path() / "document.json").string();
        options.rateKiBps = downloadRateKiBps;
        server = std::make_unique<LauncherServer>(options);
        if (!server->start())
            return {};
        std::filesystem::current_path(folder.path() / "game");
        // The checksum is never reached: the span ends long before the file does.
        launcher.startFileSync(
            {{0, 1, "big.bin", std::string(32, '0'),
              "http://127.0.0.1:" + std::to_string(server->port()) + "/files/big.bin", downloadBytes}});
    } else {
        launcher.setStatusText(language == Language::Finglish ? "Amade Bazi" : "Ready to Play");
    }
    LoopFigures figures;
    const Clock::time_point replyParsed = Clock::now();
    LauncherScene scene(language);
    scene.createWindow();
    scene.setLanguageCode(languageCode);
    scene.setAnnouncement(announcement);
    for (const char* realm : {"Alpha: Online", "Beta: Offline", "Gamma: Online"})
        scene.addRealmLine(realm);

    Clock::time_point idleStart;
    double cpuAtStart = 0;
    double threadAtStart = 0;
    scene.setFrameHook([&] {
        if (++figures.frames == 1) {
            figures.firstFrameMs = millisecondsSince(replyParsed);
            idleStart = Clock::now();
            cpuAtStart = cpuSeconds();
            threadAtStart = threadCpuSeconds();
        } else if (Clock::now() - idleStart >= span) {
            const double seconds = std::chrono::duration<double>(Clock::now() - idleStart).count();
            figures.cpuPercent = 100.0 * (cpuSeconds() - cpuAtStart) / seconds;
            figures.threadPercent = 100.0 * (threadCpuSeconds() - threadAtStart) / seconds;
            scene.close();
        }
    });
    SceneActions actions;
    actions.links.website = "http://127.0.0.1:9/";
    scene.run(launcher, actions);
    return figures;
}

// The peer: a window of the same size that only clears and shows its frames at the same rate.
double runBareWindow(std::chrono::seconds span) {
    sf::RenderWindow window(sf::VideoMode(800, 600, 32), "bare", sf::Style::None);
    window.setFramerateLimit(LauncherScene::framesPerSecond);
    const Clock::time_point start = Clock::now();
    const double cpuAtStart = cpuSeconds();
    while (Clock::now() - start < span) {
        sf::Event event;
        while (window.pollEvent(event)) {
        }
        window.clear(sf::Color::Black);
        window.display();
    }
    return 100.0 * (cpuSeconds() - cpuAtStart) / std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs one scenario in a process of its own, so that each peak memory figure is that of one window alone.
bool runChild(const std::string& self, const std::string& scenario, LoopFigures& figures, double& rssMb) {
    const std::string command = "'" + self + "' " + scenario;
    std::FILE* child = popen(command.c_str(), "r");
    if (child == nullptr)
        return false;
    char line[256];
    bool found = false;
    while (std::fgets(line, sizeof line, child) != nullptr)
        if (std::sscanf(line, "figures %lf %lf %d %lf %lf", &figures.cpuPercent, &figures.firstFrameMs, &figures.frames,
                        &rssMb, &figures.threadPercent) == 5)
            found = true;
    return pclose(child) == 0 && found;
}

} // namespace

int main(int argc, char** argv) {
    if (!testing_support::ensureDisplay()) {
        std::printf("frame loop bench: no X display and no Xvfb to start\n");
        return 1;
    }
    if (argc > 1) {
        const std::string scenario = argv[1];
        LoopFigures figures;
        if (scenario == "english")
            figures = runScene(Language::English, "en", "Welcome to Varnhold\\nServer is open", measuredSpan);
        else if (scenario == "persian")
            figures = runScene(Language::Finglish, "fa",
                               R"(\u0633\u0644\u0627\u0645 \u062f\u0648\u0633\u062a\u0627\u0646\nServer is open)",
                               measuredSpan);
        else if (scenario == "downloading")
            figures = runScene(Language::English, "en", "Welcome to Varnhold\\nServer is open", measuredSpan, true);
        else
            figures.cpuPercent = runBareWindow(measuredSpan);
        std::printf("figures %f %f %d %f %f\n", figures.cpuPercent, figures.firstFrameMs, figures.frames, peakRssMb(),
                    figures.threadPercent);
        return 0;
    }

    LoopFigures english, persian, bare, downloading;
    double englishRss = 0, persianRss = 0, bareRss = 0, downloadingRss = 0;
    if (!runChild(argv[0], "english", english, englishRss) || !runChild(argv[0], "persian", persian, persianRss) ||
        !runChild(argv[0], "bare", bare, bareRss) || !runChild(argv[0], "downloading", downloading, downloadingRss) ||
        downloading.frames == 0) {
        std::printf("frame loop bench: a scenario failed\n");
        return 1;
    }
    std::printf("idle frame loop, English scene: %5.2f %% of one core, %d frames in %lld s (target <= %.0f %%)\n",
                english.cpuPercent, english.frames, static_cast<long long>(measuredSpan.count()), cpuTargetPercent);
    std::printf("idle frame loop, Persian scene: %5.2f %% of one core, %d frames in %lld s (target <= %.0f %%)\n",
                persian.cpuPercent, persian.frames, static_cast<long long>(measuredSpan.count()), cpuTargetPercent);
    std::printf("frame loop while a file downloads and the bar moves, English: %5.2f %% of one core for its thread, "
                "%d frames; idle English scene's thread: %5.2f %% (target <= %.0f %%; moving / idle = %.2f)\n",
                downloading.threadPercent, downloading.frames, english.threadPercent, cpuTargetPercent,
                english.threadPercent > 0 ? downloading.threadPercent / english.threadPercent : 0.0);
    std::printf("bare window, clear and display: %5.2f %% of one core (scene / bare = %.2f)\n", bare.cpuPercent,
                bare.cpuPercent > 0 ? english.cpuPercent / bare.cpuPercent : 0.0);
    std::printf("first frame after the parsed reply, English: %6.1f ms (target <= %.0f ms)\n", english.firstFrameMs,
                firstFrameTargetMs);
    std::printf("first frame after the parsed reply, Persian: %6.1f ms (target <= %.0f ms)\n", persian.firstFrameMs,
                firstFrameTargetMs);
    const double above = std::max(englishRss, persianRss) - bareRss;
    std::printf("peak RSS: English %.1f MB, Persian %.1f MB, bare window %.1f MB; launcher above bare: %.1f MB "
                "(target <= %.0f MB) %s\n",
                englishRss, persianRss, bareRss, above, rssAboveBareTargetMb,
                above <= rssAboveBareTargetMb ? "OK" : "ABOVE TARGET");
    return 0;
}
