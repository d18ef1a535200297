// The main sequence: one fixed order of start-up steps, then the window until it is closed.
#include "app/MainSequence.hpp"

#include "app/GameFolder.hpp"
#include "app/Messages.hpp"
#include "app/ServerDocument.hpp"
#include "net/BuildConfig.hpp"
#include "net/ServerRequest.hpp"
#include "platform/Display.hpp"
#include "sync/Launcher.hpp"
#include "ui/LauncherScene.hpp"

#include <cstdio>
#include <cstdlib>

static_assert(LauncherVersion == build::launcherVersion, "the project version is the launcher's version");

namespace {

constexpr const char* realmlistFileName = "realmlist.wtf";

// The first listed folder that exists gets the realm list; later ones are not looked at.
void chooseRealmlistTarget(Launcher& launcher, JsonValue& serverData) {
    JsonValue& locations = serverData["realmlist_locations"];
    const std::int32_t count = locations.arrayLength();
    for (std::int32_t i = 0; i < count; ++i) {
        const DirectoryCheck folder = DirectoryExists(locations[static_cast<std::uint32_t>(i)].asText());
        if (folder.exists) {
            launcher.setRealmlist(folder.fullPath + realmlistFileName, serverData["realmlist"].asText());
            return;
        }
    }
}

std::string launcherTooOldText(Language language, JsonValue& serverData) {
    if (language != Language::Finglish)
        return std::string(message::launcherTooOldEnglish);
    // The community's website domain: the site the link button opens, else where the new launcher lies.
    std::string site = hostOf(serverData["links"]["website"].asText());
    if (site.empty())
        site = hostOf(serverData["launcher_location"].asText());
    return std::string(message::launcherTooOldFinglishBefore) + site +
           std::string(message::launcherTooOldFinglishAfter);
}

} // namespace

std::string serverAddress() {
    if (const char* address = std::getenv("VARNHOLD_SERVER_URL"); address != nullptr && *address != '\0')
        return address;
    return ServerBaseAddress();
}

std::optional<StartupPlan> runStartup(Launcher& launcher, JsonValue& serverData, const Services& services,
                                      const std::string& address) {
    if (!fetchServerData(serverData, address)) {
        // The language is not known yet, so both texts, English first.
        services.showError(message::serverUnreachableEnglish);
        services.showError(message::serverUnreachableFinglish);
        return std::nullopt;
    }

    const MusicSource music = readMusic(serverData);
    launcher.startMusicDownload(music.URL, music.location, music.checksum);

    chooseRealmlistTarget(launcher, serverData);
    std::vector<FileEntry> files = readFileList(serverData);
    StartupPlan plan;
    plan.play.removals = readRemovals(serverData);

    launcher.setLanguage(readLanguage(serverData));
    const Language language = launcher.language();

    if (serverData["version"].asInt() > LauncherVersion) {
        services.showError(launcherTooOldText(language, serverData));
        services.openTarget(serverData["launcher_location"].asText());
        return std::nullopt;
    }

    const std::string execute = serverData["execute"].asText();
    if (!checkGameFolder(launcher, services))
        return std::nullopt;

    launcher.startFileSync(std::move(files));

    // Only the full path matters here: the game may well arrive with the downloads.
    (void)FileExists(execute, plan.play.launchTarget);

    plan.announcement = serverData["announce"].asText();
    plan.realmLines = readRealmLines(serverData);
    plan.languageCode = serverData["lang"].asText();
    return plan;
}

int runLauncher() {
    Launcher launcher;
    JsonValue serverData;
    const Services services = Services::platform();

    std::optional<StartupPlan> plan = runStartup(launcher, serverData, services, serverAddress());
    if (!plan)
        return EXIT_FAILURE;

    // The artwork's textures already need the display, so it is asked for before the scene is built.
    std::optional<platform::DisplayConnection> display(std::in_place);
    if (!*display) {
        std::fprintf(stderr, "varnhold-launcher: no display to show the window on (is DISPLAY set?)\n");
        return EXIT_FAILURE;
    }
    LauncherScene scene(launcher.language());
    scene.createWindow();
    display.reset();
    scene.setLanguageCode(plan->languageCode);
    scene.setAnnouncement(plan->announcement);
    for (const std::string& line : plan->realmLines)
        scene.addRealmLine(line);

    plan->play.closeWindow = [&scene] { scene.close(); };
    SceneActions actions;
    actions.play = [&] { runPlaySequence(launcher, plan->play, services); };
    actions.openTarget = [&services](const std::string& target) { services.openTarget(target); };
    scene.run(serverData, launcher, actions);

    // The workers may still be downloading: they are stopped and joined before anything they use goes away.
    launcher.stopWorkers();
    return EXIT_SUCCESS;
}
