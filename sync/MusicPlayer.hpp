// Plays the downloaded background track: OGG, FLAC and WAV through SFML, MP3 through libmpg123.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class MusicPlayer {
public:
    MusicPlayer();
    ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    /// Releases what was loaded, then opens the track at `path`; true when it can be played.
    bool open(const std::string& path);
    bool play();
    bool stop();
    /// Playing position in microseconds; -1 when nothing is loaded.
    [[nodiscard]] std::int64_t position() const;
    /// Track length in microseconds (0 when nothing is loaded).
    [[nodiscard]] std::int64_t duration() const;
    [[nodiscard]] bool loaded() const;
    /// True while the track is actually playing (it stops by itself at its end).
    [[nodiscard]] bool playing() const;
    void release();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
