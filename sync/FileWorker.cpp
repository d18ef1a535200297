// The file worker: walks the sorted file list and brings each file into line with its checksum. The files are read
// and hashed ahead of it on every core; the worker takes their results in the list's order, publishes the status,
// and keeps several downloads in flight, started in the list's order, the optional ones only once every required
// file is in place, which is when Play is raised.
#include "sync/Launcher.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/DurableFiles.hpp"
#include "platform/FileFacts.hpp"
#include "platform/FileSystem.hpp"
#include "sync/FileMd5.hpp"
#include "sync/FileSync.hpp"
#include "sync/ResumeRecord.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace {

// One failure can be a hiccup the next attempt mends; from the second in a row the player is told why.
constexpr int failuresBeforeReason = 2;

// A download written between two saves of the verification cache loses at most this much checking to a crash.
constexpr std::chrono::seconds cacheSaveInterval{10};
// The longest the walk sleeps between looks at its transfers, checks and retries: the stop flag is seen this soon.
constexpr std::chrono::milliseconds walkSlice{100};

// One step of the walk: an entry that is checked and downloaded by itself, then the entries after it that share
// its URL and get copies of its file.
struct Step {
    std::size_t entry = 0;
    bool skipped = false; // game data without the full download: not even looked at
    bool refused = false; // a place outside the game folder
    std::vector<std::size_t> copies;
    std::optional<std::size_t> checkJob; // its job among the checks ahead
};

// The walk of the list as the worker has always made it, worked out in advance so that the checks can run ahead.
std::vector<Step> planSteps(const std::vector<FileEntry>& files, bool fullGameDownload,
                            const std::function<bool(const std::string&)>& inside) {
    std::vector<Step> steps;
    std::size_t index = 0;
    while (index < files.size()) {
        Step step;
        step.entry = index;
        const FileEntry& entry = files[index];
        ++index;
        // Game data belongs to the full download only, which the player chose at start-up.
        step.skipped = entry.game_data == 1 && !fullGameDownload;
        step.refused = !step.skipped && !inside(entry.location);
        if (!step.skipped && !step.refused) {
            // Further places for the same download are copies of the file just checked, not downloads of their own.
            while (index < files.size() && files[index].URL == entry.URL)
                step.copies.push_back(index++);
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

// The lines VerifyFile prints, printed by the worker in list order although the file was read ahead, so that
// whoever watches the output sees each file's lines together.
bool reportCheck(const FileCheck& check, const std::string& fullPath, const FileEntry& entry) {
    const FileDigests& found = check.digests;
    if (found.md5.empty())
        return false;
    if (check.fromCache) {
        platform::Print("MD5 from the verification cache !\n");
    } else {
        platform::Print("Calc MD5 !\n");
        platform::Print("MD5 hash of file %s is: %s\n", fullPath.c_str(), found.md5.c_str());
        if (!found.sha256.empty())
            platform::Print("SHA-256 hash of file %s is: %s\n", fullPath.c_str(), found.sha256.c_str());
    }
    platform::Print("Server MD5: %s!\n", entry.checksum.c_str());
    platform::Print("Client MD5: %s!\n", found.md5.c_str());
    if (found.md5 != entry.checksum)
        return false;
    platform::Print("MD5 Valid !\n");
    if (!CheckSha256(found.sha256, entry.sha256))
        return false;
    platform::Print("Files is OK \n");
    return true;
}

} // namespace

bool Launcher::syncUntilValid(const std::string& url, const std::string& location, const std::string& checksum,
                              std::string& fullPath, Backoff& backoff, Downloader& downloader, FailureReport report,
                              std::optional<std::uint64_t> size, const std::string& sha256) {
    const auto [base, path] = SplitUrl(url);
    const std::string statusBefore = statusText();
    int failures = 0;
    bool toldWhy = false;
    for (;;) {
        const SyncOutcome outcome = SyncFile(base, path, location, checksum, fullPath, downloader, size, sha256);
        if (outcome)
            break;
        if (m_stop)
            return false;
        // With an empty checksum a completed download still reports a mismatch; the next check accepts the file
        // at once, so there is nothing to wait for.
        if (checksum.empty() && VerifyFile(fullPath, checksum))
            continue;
        if (outcome.failure == SyncFailure::DiskFull) {
            // Failed writes would not make room: wait for the player to, then go on from the partial file.
            if (report == FailureReport::ToPlayer) {
                setStatus(status::diskFull);
                toldWhy = true;
            }
            if (!waitForRoom(FolderOf(fullPath), outcome.bytesShort, report))
                return false;
            continue;
        }
        if (++failures >= failuresBeforeReason && report == FailureReport::ToPlayer) {
            if (const TextPair* reason = failureText(outcome.failure)) {
                setStatus(*reason);
                toldWhy = true;
            }
        }
        // Retries back off: a tight loop would hammer a failing server. Still for ever, until the launcher closes.
        if (!backoff.wait(m_stop))
            return false;
    }
    backoff.reset();
    // The reason is gone with the failure: the line shows again what the worker is doing.
    if (toldWhy)
        setStatusText(statusBefore);
    return true;
}

FileCheck Launcher::checkFile(const std::string& fullPath, const std::string& checksum, const std::string& sha256) {
    const std::optional<platform::FileFacts> before = platform::ReadFileFacts(fullPath);
    if (!before)
        return {}; // missing, or no plain file: the worker's own check finds out and downloads
    if (!m_fullCheck) {
        FileDigests cached;
        {
            const std::lock_guard lock(m_verifiedMutex);
            cached = m_verified.lookup(fullPath, *before);
        }
        // A record without the SHA-256 the list now asks for is no answer: the file is read again for it.
        if (cached.match(checksum, sha256))
            return {std::move(cached), true};
    }
    const VerificationCache::Clock::time_point readAt = VerificationCache::Clock::now();
    FileHash hash = hashFile(fullPath, {}, !sha256.empty());
    // A file written while it was read has no one digest: neither the result nor a record can be trusted.
    FileDigests digests;
    if (platform::ReadFileFacts(fullPath) == before)
        digests = {std::move(hash.hex), std::move(hash.sha256)};
    const std::lock_guard lock(m_verifiedMutex);
    m_verified.record(fullPath, *before, digests, readAt);
    return {std::move(digests), false};
}

void Launcher::saveVerificationCache() {
    const std::lock_guard lock(m_verifiedMutex);
    // The files recorded since the last save reach the disk first, all at once (one sync of the file system on
    // Linux) rather than each download on its own; that is enough, since a file no record vouches for is read
    // again at the next start, where bytes a power cut lost fail its checksum.
    m_verified.forget(platform::FlushToDisk(m_verified.takeUnflushed()));
    if (!m_verified.save())
        platform::Print("Could not write the verification cache %s\n", m_verified.file().c_str());
}

namespace {

// Two names of one file on a system that ignores letter case are one target: their downloads must not share a
// partial file. Elsewhere this only makes two downloads wait for each other.
std::string targetKey(const std::string& fullPath) {
    std::string key = fullPath;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

} // namespace

class Launcher::FileWalk {
public:
    FileWalk(Launcher& launcher, const std::vector<FileEntry>& files, const std::vector<Step>& plan, CheckAhead& checks)
        : m_launcher(launcher), m_files(files), m_plan(plan), m_checks(checks), m_steps(plan.size()),
          m_downloader(launcher.m_stop, options(launcher)) {
        for (const Step& step : plan) {
            if (!step.skipped && !step.refused && files[step.entry].required != 0)
                ++m_requiredLeft;
        }
    }

    /// Walks the whole list; false when stopped first.
    bool run() {
        auto lastSave = std::chrono::steady_clock::now();
        for (;;) {
            if (m_launcher.m_stop)
                return false;
            const bool transfers = m_downloader.active() > 0;
            if (!advance(transfers || !m_retrying.empty() ? std::chrono::milliseconds(0) : walkSlice))
                return false;
            retryDue();
            if (!startDownloads())
                return false;
            if (m_cursor == m_plan.size() && m_queue.empty() && m_retrying.empty() && m_downloader.active() == 0)
                return true;
            // What was checked so far survives a crash during a long download.
            if (m_downloader.active() > 0 && std::chrono::steady_clock::now() - lastSave >= cacheSaveInterval) {
                m_launcher.saveVerificationCache();
                lastSave = std::chrono::steady_clock::now();
            }
            if (m_downloader.active() > 0) {
                for (Downloader::Finished& finished : m_downloader.run(untilNextRetry())) {
                    if (!ended(finished.id, finished.result))
                        return false;
                }
            } else if (m_cursor == m_plan.size() || !m_retrying.empty()) {
                std::this_thread::sleep_for(untilNextRetry());
            }
        }
    }

private:
    struct StepState {
        std::optional<Backoff> backoff; // from the first failure
        std::string fullPath;
        int failures = 0; // in a row
        SyncFailure lastFailure = SyncFailure::None;
        std::chrono::steady_clock::time_point retryAt;
        bool counted = false; // in the download tally
    };

    static DownloadOptions options(const Launcher& launcher) {
        DownloadOptions chosen;
        chosen.connections = launcher.m_connections;
        return chosen;
    }

    // Takes the checks' results in list order as far as they are there (waiting up to `wait` for the next one):
    // valid files are done, the others queued for download.
    bool advance(std::chrono::milliseconds wait) {
        while (m_cursor < m_plan.size()) {
            const Step& step = m_plan[m_cursor];
            const FileEntry& entry = m_files[step.entry];
            if (!m_printed) {
                platform::Print("Check File %s\n", entry.URL.c_str());
                m_printed = true;
                if (!step.skipped && !reached(entry))
                    return false;
            }
            if (step.skipped) {
                next();
                continue;
            }
            if (!m_launcher.locationAllowed(entry.location)) {
                next();
                continue;
            }
            StepState& state = m_steps[m_cursor];
            state.fullPath = platform::FullPath(entry.location);
            if (step.checkJob) {
                const std::optional<FileCheck> check = m_checks.await(*step.checkJob, wait);
                if (!check)
                    return !m_launcher.m_stop.load(); // not there yet: the transfers go on meanwhile
                if (reportCheck(*check, state.fullPath, entry)) {
                    if (!done(m_cursor))
                        return false;
                    next();
                    continue;
                }
            } else if (platform::ReadFileFacts(state.fullPath) &&
                       VerifyFile(state.fullPath, entry.checksum, entry.sha256)) {
                // A file with an empty checksum is fetched only when it is missing.
                platform::Print("Files is OK \n");
                if (!done(m_cursor))
                    return false;
                next();
                continue;
            }
            m_queue.insert(m_cursor);
            next();
        }
        return true;
    }

    void next() {
        ++m_cursor;
        m_printed = false;
    }

    // The list reaches `entry`: the room for the full game before its first file, the status as the list goes.
    bool reached(const FileEntry& entry) {
        if (entry.game_data == 1 && !m_gameDataRoomChecked) {
            m_gameDataRoomChecked = true;
            std::vector<FileEntry> gameFiles;
            for (const Step& later : m_plan) {
                if (!later.skipped && !later.refused && m_files[later.entry].game_data == 1)
                    gameFiles.push_back(m_files[later.entry]);
            }
            if (!m_launcher.waitForGameDataRoom(gameFiles))
                return false;
        }
        if (entry.required != 0) {
            m_phase = entry.game_data == 1 ? &status::gameData : &status::requirements;
        } else {
            m_reachedOptional = true;
        }
        unlockPlayWhenReady();
        refreshStatus();
        return true;
    }

    // Every required entry stands before the first optional one: once the list has got there and the last
    // required file is in place, Play may start.
    void unlockPlayWhenReady() {
        if (m_reachedOptional && m_requiredLeft == 0 && !m_launcher.m_canPlay) {
            m_launcher.m_canPlay = true;
            m_phase = &status::additional;
        }
    }

    void refreshStatus() {
        const TextPair* reason = m_failing.empty() ? nullptr : failureText(m_steps[m_failing.back()].lastFailure);
        if (reason)
            m_launcher.setStatus(*reason);
        else if (m_phase)
            m_launcher.setStatus(*m_phase);
    }

    // Retries whose pause is over go back in the queue, in their place in the list.
    void retryDue() {
        const auto now = std::chrono::steady_clock::now();
        for (auto it = m_retrying.begin(); it != m_retrying.end();) {
            if (m_steps[*it].retryAt <= now) {
                m_queue.insert(*it);
                it = m_retrying.erase(it);
            } else {
                ++it;
            }
        }
    }

    [[nodiscard]] std::chrono::milliseconds untilNextRetry() const {
        auto wait = walkSlice;
        const auto now = std::chrono::steady_clock::now();
        for (const std::size_t index : m_retrying) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_steps[index].retryAt - now);
            wait = std::clamp(left, std::chrono::milliseconds(1), wait);
        }
        return wait;
    }

    // Starts queued files in list order while there are connections for them, then gives what is left to the large
    // files on their way.
    bool startDownloads() {
        while (m_downloader.hasRoom()) {
            std::optional<std::size_t> chosen;
            for (const std::size_t index : m_queue) {
                // No optional file takes a connection from a required one, nor bandwidth: Play waits for those.
                if (m_files[m_plan[index].entry].required == 0 && m_requiredLeft > 0)
                    break;
                if (!m_busyTargets.contains(targetKey(m_steps[index].fullPath))) {
                    chosen = index;
                    break;
                }
            }
            if (!chosen)
                break;
            m_queue.erase(*chosen);
            if (!start(*chosen))
                return false;
        }
        while (m_downloader.widen()) {
        }
        return true;
    }

    bool start(std::size_t index) {
        const FileEntry& entry = m_files[m_plan[index].entry];
        StepState& state = m_steps[index];
        if (!state.counted) {
            m_launcher.beginDownload(entry, index);
            state.counted = true;
        }
        const auto [base, path] = SplitUrl(entry.URL);
        const std::optional<DownloadRequest> request =
            PrepareDownload(base, path, state.fullPath, entry.checksum, entry.size, entry.sha256);
        if (!request)
            return failed(index, SyncOutcome{SyncFailure::CannotWrite});
        const Downloader::FileId id = m_downloader.start(*request, [this, index](const TransferProgress& progress) {
            m_launcher.reportTransfer(index, progress.done, progress.total);
        });
        m_running.emplace(id, index);
        m_busyTargets.insert(targetKey(state.fullPath));
        return true;
    }

    bool ended(Downloader::FileId id, const DownloadResult& result) {
        const auto found = m_running.find(id);
        if (found == m_running.end())
            return true;
        const std::size_t index = found->second;
        m_running.erase(found);
        StepState& state = m_steps[index];
        m_busyTargets.erase(targetKey(state.fullPath));
        const FileEntry& entry = m_files[m_plan[index].entry];
        SyncOutcome outcome = DownloadOutcome(result, state.fullPath, entry.checksum, entry.sha256);
        if (m_launcher.m_stop)
            return false;
        // With an empty checksum a completed download still reports a mismatch; the next check accepts the file
        // at once, so there is nothing to wait for.
        if (!outcome && entry.checksum.empty() && VerifyFile(state.fullPath, entry.checksum)) {
            platform::Print("Files is OK \n");
            outcome = {};
        }
        if (outcome) {
            m_launcher.endDownload(index, true);
            return done(index);
        }
        return failed(index, outcome);
    }

    // A file failed this attempt: it pauses before the next one, alone; the other files go on.
    bool failed(std::size_t index, const SyncOutcome& outcome) {
        StepState& state = m_steps[index];
        if (outcome.failure == SyncFailure::DiskFull) {
            // Failed writes would not make room: wait for the player to, then go on from the partial file.
            m_launcher.setStatus(status::diskFull);
            if (!m_launcher.waitForRoom(FolderOf(state.fullPath), outcome.bytesShort, FailureReport::ToPlayer))
                return false;
            refreshStatus();
            m_queue.insert(index);
            return true;
        }
        state.lastFailure = outcome.failure;
        if (++state.failures >= failuresBeforeReason) {
            // From a file's second failure in a row the player is told why; the latest such file speaks.
            std::erase(m_failing, index);
            m_failing.push_back(index);
            refreshStatus();
        }
        // Retries back off: a tight loop would hammer a failing server. Still for ever, until the launcher closes.
        if (!state.backoff)
            state.backoff.emplace(m_launcher.m_retryFirst, m_launcher.m_retryCap);
        state.retryAt = std::chrono::steady_clock::now() + state.backoff->next();
        m_retrying.insert(index);
        return true;
    }

    // The file at step `index` checks out: its copies are made, and Play may unlock.
    bool done(std::size_t index) {
        StepState& state = m_steps[index];
        const Step& step = m_plan[index];
        if (state.failures > 0) {
            state.failures = 0;
            state.backoff.reset();
            // The reason is gone with the failure: the line shows again what the worker is doing.
            std::erase(m_failing, index);
            refreshStatus();
        }
        for (const std::size_t copyIndex : step.copies) {
            if (m_launcher.m_stop)
                return false;
            const FileEntry& copy = m_files[copyIndex];
            if (!m_launcher.locationAllowed(copy.location))
                continue;
            // A copy into a folder the player does not have yet would otherwise fail and the file be missing there
            // for good, since the entry counts as done either way.
            const std::string target = platform::FullPath(copy.location);
            EnsureParentFolder(target);
            if (!CopyFileContents(state.fullPath, target, m_launcher.m_stop))
                platform::Print("Copy failed: %s\n", target.c_str());
        }
        if (m_files[step.entry].required != 0) {
            --m_requiredLeft;
            unlockPlayWhenReady();
            refreshStatus();
        }
        return true;
    }

    Launcher& m_launcher;
    const std::vector<FileEntry>& m_files;
    const std::vector<Step>& m_plan;
    CheckAhead& m_checks;
    std::vector<StepState> m_steps; // one per step of the plan
    Downloader m_downloader;

    std::size_t m_cursor = 0;         // the next step whose check the walk takes
    bool m_printed = false;           // its "Check File" line is out
    std::set<std::size_t> m_queue;    // steps to download, lowest (earliest in the list) first
    std::set<std::size_t> m_retrying; // steps pausing before their next attempt
    std::map<Downloader::FileId, std::size_t> m_running;
    std::set<std::string> m_busyTargets; // targetKey of each running download
    std::vector<std::size_t> m_failing;  // steps failing twice or more in a row, the latest last
    std::size_t m_requiredLeft = 0;      // required steps not in place yet
    bool m_reachedOptional = false;
    bool m_gameDataRoomChecked = false;
    const TextPair* m_phase = nullptr; // what the walk is doing, when no failure has the line
};

void Launcher::fileWorker(std::vector<FileEntry> files) {
    // The music's partial download is listed too: its worker may be appending to it right now, and until it has
    // the server's answer it has no record to show for it. So is a newer launcher's, which the next start goes on
    // with.
    std::vector<FileEntry> listed = files;
    listed.push_back(musicFile());
    std::vector<std::string> inUse;
    if (!m_musicWorkerDone && !listed.back().location.empty())
        inUse.push_back(platform::FullPath(listed.back().location));
    listed.push_back(programFile());
    RemoveStalePartialDownloads(m_gameFolder, listed, inUse);
    std::vector<Step> plan = planSteps(files, fullGameDownload(),
                                       [this](const std::string& location) { return insideGameFolder(location); });

    // Files with an empty checksum are only looked for, never hashed, so they are not checked ahead.
    std::vector<std::string> checkedPaths;
    std::vector<std::size_t> jobEntries;
    for (Step& step : plan) {
        const FileEntry& entry = files[step.entry];
        if (step.skipped || step.refused || entry.checksum.empty())
            continue;
        step.checkJob = jobEntries.size();
        jobEntries.push_back(step.entry);
        checkedPaths.push_back(platform::FullPath(entry.location));
    }
    if (!m_cacheFile.empty()) {
        std::string problem;
        VerificationCache loaded =
            VerificationCache::load(m_cacheFile, m_gameFolder, VerificationCache::Clock::now(), &problem);
        if (!problem.empty())
            platform::Print("Verification cache not used: %s\n", problem.c_str());
        loaded.keepOnly(checkedPaths);
        const std::lock_guard lock(m_verifiedMutex);
        m_verified = std::move(loaded);
    }

    bool finished = false;
    {
        CheckAhead checks(
            jobEntries.size(),
            [&](std::size_t job) {
                const FileEntry& entry = files[jobEntries[job]];
                FileCheck check = checkFile(checkedPaths[job], entry.checksum, entry.sha256);
                // Found early, so that the window can count the files and bytes ahead before they download.
                if (!check.digests.match(entry.checksum, entry.sha256))
                    expectDownload(entry);
                return check;
            },
            m_checkThreads, m_stop);
        FileWalk walk(*this, files, plan, checks);
        finished = walk.run();
    }
    // The checking threads have ended: everything they found is in the cache now.
    saveVerificationCache();
    if (!finished || m_stop)
        return;
    m_canPlay = true;
    m_allDone = true;
    setStatus(status::ready);
}
