// The launcher's shared state: construction, the status line, starting and stopping the workers.
#include "sync/Launcher.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileSystem.hpp"
#include "platform/ThreadPriority.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

namespace {

// How often the waits for tests and tools look at the flags they wait for.
constexpr std::chrono::milliseconds waitPollInterval{5};

std::string chooseGameFolder(const std::string& gameFolder) {
    return gameFolder.empty() ? platform::CurrentFolder() : platform::FullPath(gameFolder);
}

// Polls `done` until it holds or `timeout` has passed.
template <typename Done> bool waitFor(Done done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(waitPollInterval);
    }
    return true;
}

} // namespace

Launcher::Launcher(std::string gameFolder) : m_gameFolder(chooseGameFolder(gameFolder)) {
    m_musicWorkerDone = true; // no music worker yet, so none to wait for
    setStatus(status::loading);
}

Launcher::~Launcher() {
    stopWorkers();
}

void Launcher::setRetryDelays(std::chrono::milliseconds first, std::chrono::milliseconds cap) noexcept {
    m_retryFirst = first;
    m_retryCap = cap;
}

void Launcher::setVerificationCache(std::string cacheFile, bool fullCheck) {
    m_cacheFile = std::move(cacheFile);
    m_fullCheck = fullCheck;
}

void Launcher::startMusicDownload(std::string url, std::string location, std::string checksum) {
    // The worker is launched once; a second call while one exists would leave a thread nobody joins.
    if (m_musicThread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_musicFile.location = location;
        m_musicFile.checksum = checksum;
        m_musicFile.URL = url;
    }
    m_musicWorkerDone = false;
    try {
        m_musicThread =
            std::thread(&Launcher::musicWorker, this, std::move(url), std::move(location), std::move(checksum));
    } catch (const std::exception& error) {
        m_musicWorkerDone = true;
        platform::Print("Could not start the music worker: %s\n", error.what());
    }
}

void Launcher::startFileSync(std::vector<FileEntry> files) {
    if (m_fileThread.joinable())
        return;
    // Required entries first, so Play unlocks at the first optional one. The partition is stable: the list order
    // within each group is kept, and entries sharing one URL stay next to each other for the copy step.
    std::stable_partition(files.begin(), files.end(), [](const FileEntry& entry) { return entry.required != 0; });
    m_allDone = false;
    try {
        // Below the window, which must keep its frames and clicks while this worker hashes on every core. The music
        // worker stays at the window's priority: the audio threads it starts inherit it, and it has little to do.
        m_fileThread = std::thread([this, files = std::move(files)]() mutable {
            platform::LowerThreadPriority();
            fileWorker(std::move(files));
        });
    } catch (const std::exception& error) {
        platform::Print("Could not start the file worker: %s\n", error.what());
    }
}

std::string Launcher::statusText() const {
    const std::lock_guard lock(m_mutex);
    return m_statusText;
}

void Launcher::setStatusText(std::string text) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_statusText == text)
            return;
        m_statusText = text;
    }
    // The status line as a diagnostic too: someone watching the output sees what the window shows.
    platform::Print("Status: %s\n", text.c_str());
}

void Launcher::setStatus(const TextPair& text) {
    setStatusText(std::string(text.in(language())));
}

StatusLine Launcher::statusLine() const {
    StatusLine line;
    line.statusText = statusText();
    line.canPlay = m_canPlay.load();
    line.musicOn = m_musicOn.load();
    line.allDone = m_allDone.load();
    line.progress = downloadProgress();
    return line;
}

DownloadProgress Launcher::downloadProgress() const {
    const std::lock_guard lock(m_progressMutex);
    return m_downloads.progress();
}

void Launcher::expectDownload(const FileEntry& entry) {
    const std::lock_guard lock(m_progressMutex);
    m_downloads.expect(entry.size);
}

void Launcher::beginDownload(const FileEntry& entry, std::size_t transfer) {
    const std::lock_guard lock(m_progressMutex);
    m_downloads.begin(entry.size, transfer);
}

void Launcher::reportTransfer(std::size_t transfer, std::uint64_t done, std::uint64_t total) {
    const std::lock_guard lock(m_progressMutex);
    m_downloads.update(done, total, transfer);
}

void Launcher::endDownload(std::size_t transfer, bool complete) {
    const std::lock_guard lock(m_progressMutex);
    m_downloads.end(complete, transfer);
}

FileEntry Launcher::musicFile() const {
    const std::lock_guard lock(m_mutex);
    return m_musicFile;
}

const TextPair* failureText(SyncFailure failure) noexcept {
    switch (failure) {
    case SyncFailure::NotFound:
        return &status::notFound;
    case SyncFailure::Unreachable:
        return &status::unreachable;
    case SyncFailure::ChecksumMismatch:
        return &status::checksumMismatch;
    case SyncFailure::DiskFull:
        return &status::diskFull;
    case SyncFailure::CannotWrite:
        return &status::cannotWrite;
    case SyncFailure::None:
    case SyncFailure::Stopped:
        break;
    }
    return nullptr;
}

void Launcher::stopWorkers() {
    m_stop = true;
    m_programStop = true;
    stopMusic();
    if (m_musicThread.joinable())
        m_musicThread.join();
    if (m_fileThread.joinable())
        m_fileThread.join();
    if (m_programThread.joinable())
        m_programThread.join();
    // The music worker may have started the track between the first stop and its end.
    stopMusic();
}

bool Launcher::waitUntilAllDone(std::chrono::milliseconds timeout) const {
    return waitFor([this] { return m_allDone.load(); }, timeout);
}

bool Launcher::waitForMusicWorker(std::chrono::milliseconds timeout) const {
    return waitFor([this] { return m_musicWorkerDone.load(); }, timeout);
}

bool Launcher::insideGameFolder(const std::string& location) const {
    // A server list must not reach outside the game folder ("../../.bashrc", "/etc/x"); an empty location has no
    // file of its own and would name the game folder itself. A share or a device is refused by its text before
    // anything asks the file system about it: Windows would send the player's credentials to the host.
    if (location.empty() || platform::IsNetworkOrDevicePath(location))
        return false;
    const std::string full = platform::FullPath(location);
    return !full.empty() && platform::IsInsideFolder(full, m_gameFolder);
}

bool Launcher::pathAllowed(std::string_view key, const std::string& path) const {
    if (path.empty())
        return false;
    if (insideGameFolder(path))
        return true;
    platform::Print("Refused \"%.*s\" outside the game folder: %s\n", static_cast<int>(key.size()), key.data(),
                    path.c_str());
    return false;
}

bool Launcher::locationAllowed(const std::string& location) const {
    if (insideGameFolder(location))
        return true;
    platform::Print("Refused location outside the game folder: %s\n", location.c_str());
    return false;
}
