// An SFML sound stream that decodes MP3 files with libmpg123, which SFML's own decoders do not read.
#pragma once

#include <SFML/Audio/SoundStream.hpp>
#include <SFML/System/Time.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct mpg123_handle_struct;

class Mp3Stream : public sf::SoundStream {
public:
    Mp3Stream();
    /// Stops the streaming thread before the decoder it reads from goes away.
    ~Mp3Stream() override;
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    /// Opens and scans the file (for an exact length); true when it decodes as MPEG audio.
    bool openFromFile(const std::string& path);
    /// The decoded length, encoder padding included.
    [[nodiscard]] sf::Time getDuration() const;

protected:
    bool onGetData(Chunk& data) override;
    void onSeek(sf::Time timeOffset) override;

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct* handle) const;
    };
    using Handle = std::unique_ptr<mpg123_handle_struct, HandleDeleter>;

    std::mutex m_mutex; // guards m_handle and m_samples: SFML calls onGetData and onSeek on its streaming thread
    Handle m_handle;
    std::vector<std::int16_t> m_samples;
    long m_rate = 0;
    sf::Time m_duration;
};
