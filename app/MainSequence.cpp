// The main sequence: one fixed order of start-up steps, then the window until it is closed.
#include "app/MainSequence.hpp"

#include "app/GameFolder.hpp"
#include "app/Messages.hpp"
#include "app/OpenableAddress.hpp"
#include "app/ServerDocument.hpp"
#include "net/BuildConfig.hpp"
#include "net/SeenSerial.hpp"
#include "net/ServerRequest.hpp"
#include "platform/CloseRequests.hpp"
#include "platform/Diagnostics.hpp"
#include "platform/Display.hpp"
#include "sync/Launcher.hpp"
#include "ui/LauncherScene.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>

static_assert(LauncherVersion == build::launcherVersion, "the project version is the launcher's version");

namespace {

constexpr const char* realmlistFileName = "realmlist.wtf";
// Set to anything but "0", it makes this start read every game file again instead of trusting earlier checks.
constexpr const char* fullCheckVariable = "VARNHOLD_FULL_CHECK";

bool fullCheckRequested() {
    const char* value = std::getenv(fullCheckVariable);
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

// The first listed folder that exists gets the realm list; later ones are not looked at.
void chooseRealmlistTarget(Launcher& launcher, const ServerDocument& document) {
    for (const std::string& location : document.realmlistLocations) {
        // The file, not its folder, must lie inside the game folder: "./" names the game folder itself.
        if (!launcher.pathAllowed("realmlist_locations", location + realmlistFileName))
            continue;
        const DirectoryCheck folder = DirectoryExists(location);
        if (folder.exists) {
            launcher.setRealmlist(folder.fullPath + realmlistFileName, document.realmlist);
            return;
        }
    }
}

std::string launcherTooOldText(Language language, const ServerDocument& document) {
    if (language != Language::Finglish)
        return std::string(message::launcherTooOldEnglish);
    // The community's website domain: the site the link button opens, else where the new launcher lies.
    std::string site = hostOf(document.links.website);
    if (site.empty())
        site = hostOf(document.launcherLocation);
    return std::string(message::launcherTooOldFinglishBefore) + site +
           std::string(message::launcherTooOldFinglishAfter);
}

} // namespace

std::string serverAddress() {
    if (const char* address = std::getenv("VARNHOLD_SERVER_URL"); address != nullptr && *address != '\0')
        return address;
    return ServerBaseAddress();
}

StartupResult runStartup(Launcher& launcher, const Services& services, const std::string& address,
                         const SigningPolicy& signing, int ownVersion) {
    std::optional<ServerReply> reply =
        fetchServerReply(address, {}, signing.required ? SignatureFetch::Yes : SignatureFetch::No);
    if (!reply) {
        // Given up because the launcher is being closed: nothing to tell anyone.
        if (platform::CloseRequested())
            return {};
        // The language is not known yet, so both texts, English first.
        services.showError(message::serverUnreachableEnglish);
        services.showError(message::serverUnreachableFinglish);
        return {};
    }
    DocumentTrust trust;
    if (signing.required) {
        // The signature is checked on the bytes as they came, before the parser or anything else sees them.
        trust = verifyServerDocument(reply->body, reply->signature, signing, std::chrono::system_clock::now());
        if (platform::CloseRequested())
            return {};
        if (!trust.verified()) {
            platform::Print("The server's document was refused: %s\n", trust.toString().c_str());
            services.showError(message::documentNotVerified);
            return {};
        }
        platform::Print("The server's document is %s\n", trust.toString().c_str());
    }
    JsonValue serverData = JsonValue::parse(reply->body);
    const ServerDocument document = readServerDocument(serverData, trust.verified());
    launcher.setLanguage(document.language);

    // A newer launcher is taken before this one starts anything that the new one would start again.
    if (services.updateLauncher) {
        const UpdateOutcome update = services.updateLauncher(launcher, document.launcherUpdate, trust, ownVersion);
        if (update == UpdateOutcome::HandedOver)
            return {.plan = std::nullopt, .handedOver = true};
        if (platform::CloseRequested())
            return {};
    }

    launcher.startMusicDownload(document.music.URL, document.music.location, document.music.checksum);

    chooseRealmlistTarget(launcher, document);
    StartupPlan plan;
    plan.play.removals = document.removals;

    const Language language = launcher.language();

    if (document.version > ownVersion) {
        services.showError(launcherTooOldText(language, document));
        // A web page only: a file of that name may be one the music download has just put in the game folder.
        if (const std::optional<std::string> page = openableAddress(document.launcherLocation, AddressUse::WebPage))
            services.openAddress(*page);
        else
            platform::Print("New launcher's address not opened, it is no web address: %s\n",
                            document.launcherLocation.c_str());
        return {};
    }

    if (!checkGameFolder(launcher, services))
        return {};

    launcher.setConnections(document.connections);
    launcher.startFileSync(document.files);

    // Only the full path matters here: the game may well arrive with the downloads. What Play starts lies inside
    // the game folder; anything else leaves Play with nothing to start.
    if (launcher.pathAllowed("execute", document.execute))
        (void)FileExists(document.execute, plan.play.launchTarget);

    plan.announcement = document.announcement;
    plan.realmLines = document.realmLines;
    plan.languageCode = document.languageCode;
    plan.links = openableLinks(document.links);
    plan.trust = std::move(trust);
    return {.plan = std::move(plan)};
}

int runLauncher(const LaunchOptions& options) {
    platform::Print("Launcher version %d\n", options.version);
    UpdateTrial trial(options.updateTrial, options.version);
    Launcher launcher;
    launcher.setVerificationCache(VerificationCache::fileFor(launcher.gameFolder()), fullCheckRequested());
    Services services = Services::platform();
    // A new build on trial has shown itself with its first box as well as with its window.
    services.showError = [&trial, show = services.showError](std::string_view text) {
        trial.shown();
        show(text);
    };
    services.askYesNo = [&trial, ask = services.askYesNo](std::string_view caption, std::string_view text) {
        trial.shown();
        return ask(caption, text);
    };
    // The build on trial leaves the files of the update it is part of alone.
    if (trial.onTrial())
        services.updateLauncher = nullptr;
    const std::string address = serverAddress();
    const SigningPolicy signing = SigningPolicy::fromKeyLines(options.signingKeys, seenSerialFile(address));

    StartupResult startup = runStartup(launcher, services, address, signing, options.version);
    // A close asked for during start-up ends the run as a close of the window would.
    if (platform::CloseRequested() || startup.handedOver)
        return EXIT_SUCCESS;
    std::optional<StartupPlan>& plan = startup.plan;
    if (!plan)
        return EXIT_FAILURE;

    // The artwork's textures already need the display, so it is asked for before the scene is built.
    std::optional<platform::DisplayConnection> display(std::in_place);
    if (!*display) {
        platform::PrintError("varnhold-launcher: no display to show the window on (is DISPLAY set?)\n");
        return EXIT_FAILURE;
    }
    LauncherScene scene(launcher.language());
    scene.createWindow();
    display.reset();
    trial.shown();
    scene.setLanguageCode(plan->languageCode);
    scene.setAnnouncement(plan->announcement);
    for (const std::string& line : plan->realmLines)
        scene.addRealmLine(line);

    plan->play.closeWindow = [&scene] { scene.close(); };
    SceneActions actions;
    actions.play = [&] { runPlaySequence(launcher, plan->play, services); };
    actions.openTarget = [&services](const std::string& target) { services.openAddress(target); };
    actions.links = plan->links;
    scene.run(launcher, actions);

    // The workers may still be downloading: they are stopped and joined before anything they use goes away.
    launcher.stopWorkers();
    return EXIT_SUCCESS;
}
