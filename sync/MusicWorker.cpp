// The music worker and the music controls: download the background track, then play it in a loop.
#include "sync/Launcher.hpp"

#include "platform/Diagnostics.hpp"
#include <cstdio>

namespace {

// A track that stopped by itself sooner than this before its end counts as a failing device, not as its end.
constexpr std::chrono::milliseconds endTolerance{250};

// SplitUrl needs a '.' to find the host; an address without one can never be downloaded.
bool downloadable(const std::string& url) {
    return url.find('.') != std::string::npos;
}

// Marks the music worker as ended on every way out of it.
struct DoneOnExit {
    std::atomic<bool>& done;
    ~DoneOnExit() { done = true; }
};

} // namespace

void Launcher::musicWorker(std::string url, std::string location, std::string checksum) {
    const DoneOnExit markDone{m_musicWorkerDone};
    // A server without "music" gives empty texts: retrying them for ever would keep a thread busy for nothing.
    // The music simply stays off and the launcher goes on.
    if (!downloadable(url)) {
        platform::Print("Music address cannot be downloaded: %s\n", url.c_str());
        return;
    }
    if (!locationAllowed(location))
        return;
    setStatus(status::music);

    Backoff backoff(m_retryFirst, m_retryCap);
    std::string fullPath;
    Downloader downloader(m_stop);
    // Its status goes up once, here: a track that fails, or arrives after "Ready to Play", must not take the line
    // back from the file worker. Why it fails is in the output.
    if (!syncUntilValid(url, location, checksum, fullPath, backoff, downloader, FailureReport::OutputOnly))
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_musicPath = fullPath;
    }
    // The player's choice stands: music switched off, or stopped by Play, before the track arrived stays off.
    const std::lock_guard lock(m_musicMutex);
    if (m_musicWanted)
        restartMusicLocked();
}

std::string Launcher::musicPath() const {
    const std::lock_guard lock(m_mutex);
    return m_musicPath;
}

void Launcher::restartMusic() {
    const std::lock_guard lock(m_musicMutex);
    m_musicWanted = true;
    restartMusicLocked();
}

void Launcher::restartMusicLocked() {
    m_music.release();
    m_musicOn = false;
    // Once the launcher is closing nothing starts playing again.
    if (m_stop)
        return;
    const std::string path = musicPath();
    if (path.empty() || !m_music.open(path))
        return;
    if (m_music.play()) {
        m_musicOn = true;
        m_musicStartedAt = std::chrono::steady_clock::now();
        platform::Print("Music: playing %s\n", path.c_str());
    }
}

void Launcher::stopMusic() {
    const std::lock_guard lock(m_musicMutex);
    m_musicWanted = false;
    const bool wasOn = m_musicOn.exchange(false);
    if (m_music.loaded() && m_music.stop() && wasOn) {
        platform::Print("Music: stopped\n");
    }
}

void Launcher::musicTick() {
    if (!m_musicOn)
        return;
    const std::lock_guard lock(m_musicMutex);
    if (!m_musicOn)
        return;
    const std::int64_t duration = m_music.duration();
    if (m_music.position() >= duration) {
        restartMusicLocked();
        return;
    }
    // The stream ends by itself at the end of the track. Without a working audio device it also stops at once;
    // reopening it every frame then would only burn time, so that case waits for the track's length.
    if (!m_music.playing()) {
        const auto played =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_musicStartedAt);
        if (played.count() + std::chrono::microseconds(endTolerance).count() >= duration)
            restartMusicLocked();
    }
}
