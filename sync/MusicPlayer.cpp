// The background track player: sf::Music for OGG, FLAC and WAV, Mp3Stream for MP3.
#include "sync/MusicPlayer.hpp"

#include "platform/InputFile.hpp"
#include "sync/Mp3Stream.hpp"

#include <SFML/Audio/Music.hpp>
#include <SFML/Audio/Sound.hpp>
#include <SFML/System/InputStream.hpp>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

// SFML closes the audio device whenever no audio object is alive and reopens it for the next one, which cuts the
// sound and restarts any recording of it. One silent sound kept for the whole run holds the device open.
void keepAudioDeviceOpen() {
    static const sf::Sound keeper;
    (void)keeper;
}

// The track read through the platform's files: SFML opens a file by a name in the ANSI code page on Windows, so a
// game folder or a user name in another script would give no music. (libmpg123 takes UTF-8 names there itself.)
// Reads go through a buffer: SFML's WAV reader asks for each sample on its own, two bytes at a time.
class TrackFile : public sf::InputStream {
public:
    bool open(const std::string& path) {
        int error = 0;
        m_file = platform::InputFile::open(path, error);
        m_size = m_file && m_file->isRegular() ? m_file->size() : std::nullopt;
        m_position = 0;
        m_buffered.clear();
        return m_size.has_value();
    }

    sf::Int64 read(void* data, sf::Int64 size) override {
        auto* bytes = static_cast<char*>(data);
        sf::Int64 done = 0;
        while (done < size) {
            if (m_position < m_bufferStart || m_position >= m_bufferStart + static_cast<sf::Int64>(m_buffered.size())) {
                if (!fill())
                    return -1;
                if (m_buffered.empty())
                    break; // the end of the file
            }
            const auto from = static_cast<std::size_t>(m_position - m_bufferStart);
            const std::size_t count = std::min(m_buffered.size() - from, static_cast<std::size_t>(size - done));
            std::copy_n(m_buffered.data() + from, count, bytes + done);
            done += static_cast<sf::Int64>(count);
            m_position += static_cast<sf::Int64>(count);
        }
        return done;
    }

    sf::Int64 seek(sf::Int64 position) override {
        if (position < 0)
            return -1;
        m_position = position; // the next read fills the buffer from here when it is elsewhere
        return position;
    }

    sf::Int64 tell() override { return m_position; }
    sf::Int64 getSize() override { return static_cast<sf::Int64>(*m_size); }

private:
    static constexpr std::size_t bufferSize = 64 * 1024;

    // Reads the block at the current position into the buffer; empty at the end of the file.
    bool fill() {
        m_buffered.resize(bufferSize);
        m_bufferStart = m_position;
        if (!m_file->seek(static_cast<std::uint64_t>(m_position))) {
            m_buffered.clear();
            return false;
        }
        const long long got = m_file->read(m_buffered.data(), m_buffered.size());
        m_buffered.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return got >= 0;
    }

    std::optional<platform::InputFile> m_file;
    std::optional<std::uint64_t> m_size; // set once the file is open
    std::vector<char> m_buffered;        // the bytes from m_bufferStart on
    sf::Int64 m_bufferStart = 0;
    sf::Int64 m_position = 0;
};

// MPEG audio starts with an ID3v2 tag or a frame sync (eleven set bits). SFML cannot read it and would print
// "format not supported" at every loop of the track, so such files go to libmpg123 first.
bool looksLikeMp3(const std::string& path) {
    int error = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, error);
    std::array<char, 3> head{};
    if (!file || file->read(head.data(), head.size()) != static_cast<long long>(head.size()))
        return false;
    if (head[0] == 'I' && head[1] == 'D' && head[2] == '3')
        return true;
    const auto first = static_cast<unsigned char>(head[0]);
    const auto second = static_cast<unsigned char>(head[1]);
    return first == 0xFF && (second & 0xE0) == 0xE0;
}

} // namespace

struct MusicPlayer::Impl {
    std::unique_ptr<TrackFile> file; // what `music` reads from: declared first, so it goes last
    std::unique_ptr<sf::Music> music;
    std::unique_ptr<Mp3Stream> mp3;
    sf::SoundStream* stream = nullptr; // whichever of the two is loaded
    std::int64_t duration = 0;

    bool openMusic(const std::string& path) {
        auto source = std::make_unique<TrackFile>();
        auto candidate = std::make_unique<sf::Music>();
        if (!source->open(path) || !candidate->openFromStream(*source))
            return false;
        duration = candidate->getDuration().asMicroseconds();
        file = std::move(source);
        music = std::move(candidate);
        stream = music.get();
        return true;
    }

    bool openMp3(const std::string& path) {
        auto candidate = std::make_unique<Mp3Stream>();
        if (!candidate->openFromFile(path))
            return false;
        duration = candidate->getDuration().asMicroseconds();
        mp3 = std::move(candidate);
        stream = mp3.get();
        return true;
    }
};

MusicPlayer::MusicPlayer() : m_impl(std::make_unique<Impl>()) {}

MusicPlayer::~MusicPlayer() {
    release();
}

bool MusicPlayer::open(const std::string& path) {
    release();
    keepAudioDeviceOpen();
    if (looksLikeMp3(path))
        return m_impl->openMp3(path) || m_impl->openMusic(path);
    return m_impl->openMusic(path) || m_impl->openMp3(path);
}

bool MusicPlayer::play() {
    if (!m_impl->stream)
        return false;
    m_impl->stream->play();
    return true;
}

bool MusicPlayer::stop() {
    if (!m_impl->stream)
        return false;
    m_impl->stream->stop();
    return true;
}

std::int64_t MusicPlayer::position() const {
    if (!m_impl->stream)
        return -1;
    return m_impl->stream->getPlayingOffset().asMicroseconds();
}

std::int64_t MusicPlayer::duration() const {
    return m_impl->duration;
}

bool MusicPlayer::loaded() const {
    return m_impl->stream != nullptr;
}

bool MusicPlayer::playing() const {
    return m_impl->stream && m_impl->stream->getStatus() == sf::SoundSource::Playing;
}

void MusicPlayer::release() {
    if (m_impl->stream)
        m_impl->stream->stop();
    m_impl->stream = nullptr;
    m_impl->music.reset();
    m_impl->file.reset();
    m_impl->mp3.reset();
    m_impl->duration = 0;
}
