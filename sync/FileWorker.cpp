// The file worker: walks the sorted file list and brings each file into line with its checksum.
#include "sync/Launcher.hpp"

#include "platform/FileSystem.hpp"
#include "sync/FileSync.hpp"

#include <cstdio>

bool Launcher::syncUntilValid(const std::string& url, const std::string& location, const std::string& checksum,
                              std::string& fullPath, Backoff& backoff) {
    const auto [base, path] = SplitUrl(url);
    while (!SyncFile(base, path, location, checksum, fullPath, m_stop)) {
        if (m_stop)
            return false;
        // With an empty checksum a completed download still reports a mismatch; the next check accepts the file
        // at once, so there is nothing to wait for.
        if (checksum.empty() && VerifyFile(fullPath, checksum))
            continue;
        // Retries back off: a tight loop would hammer a failing server. Still for ever, until the launcher closes.
        if (!backoff.wait(m_stop))
            return false;
    }
    backoff.reset();
    return true;
}

void Launcher::fileWorker(std::vector<FileEntry> files) {
    Backoff backoff(m_retryFirst, m_retryCap);
    std::size_t index = 0;
    while (index < files.size()) {
        if (m_stop)
            return;
        const FileEntry& entry = files[index];
        ++index;
        std::printf("Check File %s\n", entry.URL.c_str());

        // Game data belongs to the full download only, which the player chose at start-up.
        if (entry.game_data == 1 && !fullGameDownload())
            continue;
        setStatus(entry.game_data == 1 ? status::gameData : status::requirements);
        if (entry.required == 0) {
            // Every required entry stands before this one and has checked out: Play may start now.
            m_canPlay = true;
            setStatus(status::additional);
        }
        if (!locationAllowed(entry.location))
            continue;

        std::string fullPath;
        if (!syncUntilValid(entry.URL, entry.location, entry.checksum, fullPath, backoff))
            return;

        // Further places for the same download are copies of the file just checked, not downloads of their own.
        while (index < files.size() && files[index].URL == entry.URL) {
            if (m_stop)
                return;
            const FileEntry& copy = files[index];
            ++index;
            if (!locationAllowed(copy.location))
                continue;
            // A copy into a folder the player does not have yet would otherwise fail and the file be missing there
            // for good, since the entry counts as done either way.
            const std::string target = platform::FullPath(copy.location);
            EnsureParentFolder(target);
            if (!CopyFileContents(fullPath, target, m_stop))
                std::printf("Copy failed: %s\n", target.c_str());
        }
    }
    if (m_stop)
        return;
    m_canPlay = true;
    m_allDone = true;
    setStatus(status::ready);
}
