// The download of the launcher's own newer program: beside the running one, resumable like a game file, and taken
// only when its size and SHA-256 are the ones the signed document lists.
#include "sync/Launcher.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileFacts.hpp"
#include "platform/FileRemoval.hpp"
#include "platform/RunningProgram.hpp"
#include "sync/FileMd5.hpp"

#include <exception>
#include <limits>

namespace {

// A program that does not come in after a few tries is left for the next start, which resumes it: the player is
// not kept from the game by an update that cannot be had right now.
constexpr int maxProgramAttempts = 4;
// The program's download in the tally, apart from the file worker's, which count its list's steps from 0.
constexpr std::size_t programTransfer = std::numeric_limits<std::size_t>::max();

// Marks the state on every way out of the worker; Running until then.
struct ProgramDownloadEnd {
    std::atomic<ProgramDownload>& state;
    ProgramDownload outcome = ProgramDownload::Failed;
    ~ProgramDownloadEnd() { state = outcome; }
};

} // namespace

bool ProgramFileMatches(const std::string& path, const ProgramRelease& release) {
    const std::optional<platform::FileFacts> facts = platform::ReadFileFacts(path);
    if (!facts)
        return false;
    if (!release.size || facts->size != *release.size) {
        platform::Print("Launcher update: %s has %llu bytes, the server lists %llu\n", path.c_str(),
                        static_cast<unsigned long long>(facts->size),
                        static_cast<unsigned long long>(release.size.value_or(0)));
        return false;
    }
    const FileHash hash = hashFile(path, {}, true);
    if (hash.failure != HashFailure::None || hash.sha256 != release.sha256) {
        platform::Print("Launcher update: SHA-256 of %s is %s, the server lists %s\n", path.c_str(),
                        hash.failure == HashFailure::None ? hash.sha256.c_str() : hash.describe(path).c_str(),
                        release.sha256.c_str());
        return false;
    }
    return true;
}

void Launcher::startProgramDownload(ProgramRelease release, std::string target) {
    if (m_programThread.joinable())
        return;
    // Once the launcher is closing nothing new starts; the flags of a download stopped before are this one's to set.
    if (m_stop) {
        m_programDownload = ProgramDownload::Stopped;
        return;
    }
    m_programStop = false;
    {
        // As a list entry, so that the file worker keeps its partial file for the next start. No MD5 is listed
        // for a program: its SHA-256 is checked once the file is whole.
        const std::lock_guard lock(m_mutex);
        m_programFile.location = target;
        m_programFile.URL = release.URL;
        m_programFile.size = release.size;
    }
    m_programDownload = ProgramDownload::Running;
    try {
        m_programThread = std::thread(&Launcher::programWorker, this, std::move(release), std::move(target));
    } catch (const std::exception& error) {
        m_programDownload = ProgramDownload::Failed;
        platform::Print("Could not start the launcher update: %s\n", error.what());
    }
}

FileEntry Launcher::programFile() const {
    const std::lock_guard lock(m_mutex);
    return m_programFile;
}

void Launcher::stopProgramDownload() {
    m_programStop = true;
    if (m_programThread.joinable())
        m_programThread.join();
}

void Launcher::programWorker(ProgramRelease release, std::string target) {
    ProgramDownloadEnd end{m_programDownload};
    setStatus(status::updating);
    // A whole file from an earlier start that was cut off before it ran is taken as it is.
    if (ProgramFileMatches(target, release)) {
        end.outcome = ProgramDownload::Ready;
        return;
    }
    platform::RemoveFileOrLink(target);
    if (platform::ReadFileFacts(target)) {
        platform::Print("Launcher update: cannot remove %s\n", target.c_str());
        return;
    }
    const FileEntry entry = programFile();
    expectDownload(entry);
    beginDownload(entry, programTransfer);

    // One stream, as the update window shows it: the program is a few megabytes, fetched once.
    DownloadOptions options;
    options.pieces = false;
    Downloader downloader(m_programStop, options);
    downloader.setProgressHook(
        [this](const TransferProgress& progress) { reportTransfer(programTransfer, progress.done, progress.total); });
    Backoff backoff(m_retryFirst, m_retryCap);
    DownloadResult result;
    for (int attempt = 1; attempt <= maxProgramAttempts; ++attempt) {
        // The listed size caps the body: a server that sends more is cut off instead of filling the disk.
        result = downloader.fetch({.url = release.URL,
                                   .target = target,
                                   .resumable = true,
                                   .address = release.URL,
                                   .checksum = {},
                                   .size = release.size});
        if (result || m_programStop)
            break;
        platform::Print("Download failed: %s\n", result.toString().c_str());
        if (attempt == maxProgramAttempts || !backoff.wait(m_programStop))
            break;
    }
    endDownload(programTransfer, static_cast<bool>(result));
    if (!result) {
        end.outcome = m_programStop ? ProgramDownload::Stopped : ProgramDownload::Failed;
        return;
    }
    // A whole file that is not the listed one is never run, nor kept.
    if (!ProgramFileMatches(target, release)) {
        platform::RemoveFileOrLink(target);
        return;
    }
    end.outcome = ProgramDownload::Ready;
}
