// The file worker: walks the sorted file list and brings each file into line with its checksum. The files are read
// and hashed ahead of it on every core; the worker itself publishes the status, raises Play and downloads in the
// list's order.
#include "sync/Launcher.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileFacts.hpp"
#include "platform/FileSystem.hpp"
#include "sync/FileMd5.hpp"
#include "sync/FileSync.hpp"
#include "sync/ResumeRecord.hpp"

#include <cstdio>
#include <functional>
#include <optional>

namespace {

// One failure can be a hiccup the next attempt mends; from the second in a row the player is told why.
constexpr int failuresBeforeReason = 2;

// A download written between two saves of the verification cache loses at most this much checking to a crash.
constexpr std::chrono::seconds cacheSaveInterval{10};

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
    if (!m_verified.save())
        platform::Print("Could not write the verification cache %s\n", m_verified.file().c_str());
}

void Launcher::fileWorker(std::vector<FileEntry> files) {
    // The music's partial download is listed too: its worker may be appending to it right now. So is a newer
    // launcher's, which the next start goes on with.
    std::vector<FileEntry> listed = files;
    listed.push_back(musicFile());
    listed.push_back(programFile());
    RemoveStalePartialDownloads(m_gameFolder, listed);
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
        Backoff backoff(m_retryFirst, m_retryCap);
        // One downloader for the whole list: its connection to the server stays open from one file to the next.
        Downloader downloader(m_stop);
        downloader.setProgressHook(
            [this](const TransferProgress& progress) { reportTransfer(progress.done, progress.total); });
        auto lastSave = std::chrono::steady_clock::now();
        bool gameDataRoomChecked = false;
        finished = [&] {
            for (const Step& step : plan) {
                if (m_stop)
                    return false;
                const FileEntry& entry = files[step.entry];
                platform::Print("Check File %s\n", entry.URL.c_str());
                if (step.skipped)
                    continue;
                if (entry.game_data == 1 && !gameDataRoomChecked) {
                    gameDataRoomChecked = true;
                    std::vector<FileEntry> gameFiles;
                    for (const Step& later : plan) {
                        if (!later.skipped && !later.refused && files[later.entry].game_data == 1)
                            gameFiles.push_back(files[later.entry]);
                    }
                    if (!waitForGameDataRoom(gameFiles))
                        return false;
                }
                setStatus(entry.game_data == 1 ? status::gameData : status::requirements);
                if (entry.required == 0) {
                    // Every required entry stands before this one and has checked out: Play may start now.
                    m_canPlay = true;
                    setStatus(status::additional);
                }
                if (!locationAllowed(entry.location))
                    continue;

                std::string fullPath = platform::FullPath(entry.location);
                bool valid = false;
                if (step.checkJob) {
                    const std::optional<FileCheck> check = checks.await(*step.checkJob);
                    if (!check)
                        return false;
                    valid = reportCheck(*check, fullPath, entry);
                }
                if (!valid) {
                    // What was checked so far survives a crash during a long download.
                    if (std::chrono::steady_clock::now() - lastSave >= cacheSaveInterval) {
                        saveVerificationCache();
                        lastSave = std::chrono::steady_clock::now();
                    }
                    // A file with an empty checksum is fetched only when it is missing.
                    const bool downloads = step.checkJob || !platform::ReadFileFacts(fullPath);
                    if (downloads)
                        beginDownload(entry);
                    const bool synced = syncUntilValid(entry.URL, entry.location, entry.checksum, fullPath, backoff,
                                                       downloader, FailureReport::ToPlayer, entry.size, entry.sha256);
                    if (downloads)
                        endDownload(synced);
                    if (!synced)
                        return false;
                }

                for (const std::size_t index : step.copies) {
                    if (m_stop)
                        return false;
                    const FileEntry& copy = files[index];
                    if (!locationAllowed(copy.location))
                        continue;
                    // A copy into a folder the player does not have yet would otherwise fail and the file be missing
                    // there for good, since the entry counts as done either way.
                    const std::string target = platform::FullPath(copy.location);
                    EnsureParentFolder(target);
                    if (!CopyFileContents(fullPath, target, m_stop))
                        platform::Print("Copy failed: %s\n", target.c_str());
                }
            }
            return true;
        }();
    }
    // The checking threads have ended: everything they found is in the cache now.
    saveVerificationCache();
    if (!finished || m_stop)
        return;
    m_canPlay = true;
    m_allDone = true;
    setStatus(status::ready);
}
