// The launcher updating itself from a signed server document: which offer is taken, the download beside the
// running program, the new build started on trial while this one waits for its sign, and the new build's side of
// the hand-over. The old program is never touched: the new build takes its name in one rename once it has shown
// itself, so at every moment one whole, working launcher carries the program's name.
#pragma once

#include "app/ServerDocument.hpp"
#include "net/DocumentTrust.hpp"
#include "platform/RunningProgram.hpp"

#include <chrono>
#include <functional>
#include <string>

class Launcher;

/// Whether an offered update is taken, and why not.
enum class UpdateChoice {
    NoOffer,    // no "launcher_update", or no version in it
    Take,       //
    Unsigned,   // the build has no key, or the document's signature did not verify
    NotNewer,   // the offered version is not above this launcher's
    Incomplete, // no address, size or SHA-256 for this OS
};

/// The decision on `offer` for a launcher of `ownVersion`, in the order of UpdateChoice's reasons.
[[nodiscard]] UpdateChoice chooseUpdate(const LauncherUpdate& offer, const DocumentTrust& trust, int ownVersion);

/// How an update ended for the launcher that took it.
enum class UpdateOutcome {
    NotTaken,   // nothing to take here; files of an earlier update that nothing will use are removed
    HandedOver, // the new build showed itself and runs in this one's place: this one ends with 0
    Failed,     // download, check or trial failed; this launcher goes on as before
    Cancelled,  // the player closed the update window, or the system asked the launcher to end
};

/// The argument the new build is started with while the old one waits for its sign.
inline constexpr const char* updateTrialArgument = "--update-trial";
/// How long the old launcher waits for that sign before it ends the new build and goes on itself.
inline constexpr std::chrono::seconds trialPatience{30};

/// The files beside the running program that an update works with.
struct UpdateFiles {
    explicit UpdateFiles(const std::string& programPath);

    std::string program;  // the running program
    std::string download; // "<program>.new": the new build, downloaded and checked
    std::string sign;     // "<program>.started": written by the new build once it has shown itself
};

/// How a started new build's trial ended.
enum class TrialEnd { Signed, Exited, TimedOut };

/// Watches the started new build `program` until its sign file `sign` appears, it ends without one, or `patience`
/// has passed (it is then ended). `frame` runs between looks and paces them.
[[nodiscard]] TrialEnd watchTrial(platform::StartedProgram& program, const std::string& sign,
                                  std::chrono::milliseconds patience, const std::function<void()>& frame);

/// The whole update of the running program, for a launcher of `ownVersion`: the choice, the update window, the
/// download, the start of the new build and the wait for its sign. Lines on standard output say what happened.
[[nodiscard]] UpdateOutcome updateLauncher(Launcher& launcher, const LauncherUpdate& offer, const DocumentTrust& trust,
                                           int ownVersion);

/// The new build's side of the hand-over, in a launcher started with updateTrialArgument.
class UpdateTrial {
public:
    UpdateTrial(bool onTrial, int ownVersion) : m_onTrial(onTrial), m_version(ownVersion) {}

    [[nodiscard]] bool onTrial() const noexcept { return m_onTrial; }

    /// This launcher shows itself for the first time (its window opened, or a box before it): the sign is written
    /// for the old launcher, and this program takes the program's name. Later calls, and calls off trial, do
    /// nothing.
    void shown();

private:
    bool m_onTrial;
    int m_version;
    bool m_shown = false;
};
