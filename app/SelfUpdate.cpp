// The update flow. Each step that leaves something on disk is a point where a test can stop the launcher as a kill
// or a power cut would (VARNHOLD_UPDATE_STOP_AT), so that what every such point leaves behind is known.
#include "app/SelfUpdate.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/Display.hpp"
#include "platform/FileFacts.hpp"
#include "platform/FileRemoval.hpp"
#include "platform/PartFile.hpp"
#include "sync/Launcher.hpp"
#include "sync/ResumeRecord.hpp"
#include "ui/UpdateWindow.hpp"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>

namespace {

constexpr std::string_view downloadSuffix = ".new";
constexpr std::string_view signSuffix = ".started";
constexpr std::size_t sha256HexLength = 64;
// How long the new build waits for the old one to let go of the program's name (Windows holds it until the old
// process has ended, which it does within a frame or two of the sign).
constexpr std::chrono::seconds handOverPatience{10};
// Looks at the trial between frames; also the pause when there is no window to pace them.
constexpr std::chrono::milliseconds trialPollInterval{50};
// What a stop at a step exits with: not 0, which the old launcher's parent would read as a clean hand-over.
constexpr int stoppedAtStepCode = 86;

// Ends the process at once, as a kill would, when VARNHOLD_UPDATE_STOP_AT names `step`.
void reachedStep(std::string_view step) {
    const char* stopAt = std::getenv("VARNHOLD_UPDATE_STOP_AT");
    if (stopAt == nullptr || step != stopAt)
        return;
    platform::Print("Launcher update: stopped at \"%.*s\"\n", static_cast<int>(step.size()), step.data());
    std::_Exit(stoppedAtStepCode);
}

bool isLowerHex(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The download and its partial file, once nothing will go on with them.
void removeDownload(const UpdateFiles& files) {
    platform::RemoveFileOrLink(files.download);
    platform::RemoveFileOrLink(platform::PartFile::resumePath(files.download));
    ResumeRecord::remove(files.download);
    platform::RemoveFileOrLink(files.sign);
}

void reportChoice(UpdateChoice choice, const LauncherUpdate& offer, const DocumentTrust& trust, int ownVersion) {
    switch (choice) {
    case UpdateChoice::Unsigned:
        platform::Print("Launcher update to version %d ignored: %s\n", offer.version,
                        trust.problem == TrustProblem::NoKey ? "this launcher was built without a signing key"
                                                             : "the server document's signature did not verify");
        break;
    case UpdateChoice::NotNewer:
        // The same version is what every start after an update sees: only an older one is worth a line.
        if (offer.version < ownVersion)
            platform::Print("Launcher update to version %d ignored: this launcher is version %d\n", offer.version,
                            ownVersion);
        break;
    case UpdateChoice::Incomplete:
        platform::Print("Launcher update to version %d ignored: no \"URL\", \"size\" and \"sha256\" for %s\n",
                        offer.version, platform::SystemName());
        break;
    case UpdateChoice::NoOffer:
    case UpdateChoice::Take:
        break;
    }
}

// The download, shown in the update window: nothing once the new build is ready, otherwise how the update ended.
std::optional<UpdateOutcome> download(Launcher& launcher, const ProgramRelease& release, const UpdateFiles& files,
                                      UpdateWindow& window) {
    launcher.startProgramDownload(release, files.download);
    while (launcher.programDownload() == ProgramDownload::Running) {
        if (!window.frame(launcher.statusLine())) {
            launcher.stopProgramDownload();
            platform::Print("Launcher update: cancelled; what came in is kept for the next start\n");
            return UpdateOutcome::Cancelled;
        }
    }
    launcher.stopProgramDownload();
    if (launcher.programDownload() != ProgramDownload::Ready)
        return UpdateOutcome::Failed;
    return std::nullopt;
}

} // namespace

UpdateFiles::UpdateFiles(const std::string& programPath)
    : program(programPath), download(programPath + std::string(downloadSuffix)),
      sign(programPath + std::string(signSuffix)) {}

UpdateChoice chooseUpdate(const LauncherUpdate& offer, const DocumentTrust& trust, int ownVersion) {
    if (offer.version <= 0)
        return UpdateChoice::NoOffer;
    // A build without a key has nothing verified: its trust says NoKey.
    if (!trust.verified())
        return UpdateChoice::Unsigned;
    if (offer.version <= ownVersion)
        return UpdateChoice::NotNewer;
    const ProgramRelease& program = offer.program;
    if (program.URL.empty() || !program.size || *program.size == 0 || program.sha256.size() != sha256HexLength ||
        !isLowerHex(program.sha256))
        return UpdateChoice::Incomplete;
    return UpdateChoice::Take;
}

TrialEnd watchTrial(platform::StartedProgram& program, const std::string& sign, std::chrono::milliseconds patience,
                    const std::function<void()>& frame) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    const auto hasSigned = [&sign] { return platform::ReadFileFacts(sign).has_value(); };
    for (;;) {
        if (hasSigned())
            return TrialEnd::Signed;
        // A build that signed and then ended (a box, then its exit) has shown itself all the same.
        if (!program.running())
            return hasSigned() ? TrialEnd::Signed : TrialEnd::Exited;
        if (std::chrono::steady_clock::now() >= deadline) {
            program.terminate();
            return hasSigned() ? TrialEnd::Signed : TrialEnd::TimedOut;
        }
        if (frame)
            frame();
        std::this_thread::sleep_for(trialPollInterval);
    }
}

UpdateOutcome updateLauncher(Launcher& launcher, const LauncherUpdate& offer, const DocumentTrust& trust,
                             int ownVersion) {
    const std::string programPath = platform::RunningProgramPath();
    if (programPath.empty())
        return UpdateOutcome::NotTaken;
    const UpdateFiles files(programPath);
    const UpdateChoice choice = chooseUpdate(offer, trust, ownVersion);
    if (choice != UpdateChoice::Take) {
        reportChoice(choice, offer, trust, ownVersion);
        removeDownload(files);
        return UpdateOutcome::NotTaken;
    }
    if (platform::InstalledBySystem(programPath)) {
        platform::Print("Launcher update to version %d left to the system: %s came with its packages\n", offer.version,
                        programPath.c_str());
        return UpdateOutcome::NotTaken;
    }
    // The new build must show its window to prove itself: without a display it could not.
    std::optional<platform::DisplayConnection> display(std::in_place);
    if (!*display) {
        platform::Print("Launcher update to version %d left for a start with a display\n", offer.version);
        return UpdateOutcome::NotTaken;
    }
    UpdateWindow window(launcher.language());
    window.create();
    display.reset();

    platform::Print("Launcher update: version %d from %s into %s\n", offer.version, offer.program.URL.c_str(),
                    files.download.c_str());
    if (const std::optional<UpdateOutcome> ended = download(launcher, offer.program, files, window))
        return *ended;
    reachedStep("downloaded");

    launcher.setStatus(status::startingUpdate);
    static_cast<void>(window.frame(launcher.statusLine()));
    std::string error;
    if (!platform::PrepareProgramFile(files.download, files.program, error)) {
        platform::Print("Launcher update: %s\n", error.c_str());
        return UpdateOutcome::Failed;
    }
    reachedStep("prepared");

    // A sign left by an earlier trial must not pass for this one's.
    platform::RemoveFileOrLink(files.sign);
    std::optional<platform::StartedProgram> started =
        platform::StartedProgram::start(files.download, {updateTrialArgument}, error);
    if (!started) {
        platform::Print("Launcher update: %s\n", error.c_str());
        return UpdateOutcome::Failed;
    }
    reachedStep("started");

    const TrialEnd end = watchTrial(*started, files.sign, trialPatience,
                                    [&] { static_cast<void>(window.frame(launcher.statusLine())); });
    switch (end) {
    case TrialEnd::Signed:
        platform::RemoveFileOrLink(files.sign);
        platform::Print("Launcher update: version %d runs in this one's place\n", offer.version);
        return UpdateOutcome::HandedOver;
    case TrialEnd::Exited:
        platform::Print("Launcher update: version %d ended before it showed itself\n", offer.version);
        break;
    case TrialEnd::TimedOut:
        platform::Print("Launcher update: version %d did not show itself within %lld s and was ended\n", offer.version,
                        static_cast<long long>(trialPatience.count()));
        break;
    }
    return UpdateOutcome::Failed;
}

void UpdateTrial::shown() {
    if (!m_onTrial || m_shown)
        return;
    m_shown = true;
    const std::string own = platform::RunningProgramPath();
    if (!own.ends_with(downloadSuffix)) {
        platform::Print("Launcher update: on trial, but not run from a \"%.*s\" file: %s\n",
                        static_cast<int>(downloadSuffix.size()), downloadSuffix.data(), own.c_str());
        return;
    }
    const UpdateFiles files(own.substr(0, own.size() - downloadSuffix.size()));
    std::string error;
    std::optional<platform::PartFile> sign = platform::PartFile::create(files.sign, error);
    const std::string text = "version " + std::to_string(m_version) + "\n";
    if (!sign || !sign->append(text.data(), text.size()) || !sign->commit()) {
        platform::Print("Launcher update: cannot write %s: %s\n", files.sign.c_str(),
                        sign ? sign->error().c_str() : error.c_str());
        return;
    }
    reachedStep("signed");
    if (!platform::ReplaceProgramFile(own, files.program, handOverPatience, error)) {
        platform::Print("Launcher update: %s; the next start runs the old launcher again\n", error.c_str());
        return;
    }
    platform::Print("Launcher update: version %d is now %s\n", m_version, files.program.c_str());
    reachedStep("replaced");
}
