// Decoding MP3 for SFML: libmpg123 gives 16-bit signed samples at the file's own rate and channel count.
#include "sync/Mp3Stream.hpp"

#include <mpg123.h>

#include <cstdio>
#include <mutex>

namespace {

// Samples decoded per call of onGetData: a quarter of a second of 44.1 kHz stereo.
constexpr std::size_t chunkSamples = 22050;
constexpr std::int64_t microsecondsPerSecond = 1'000'000;
// Format announcements read past before a chunk counts as empty.
constexpr int maxFormatReads = 4;

// Before libmpg123 1.27 the library had to be initialised once per process; later versions ignore it.
bool initialiseLibrary() {
    static std::once_flag once;
    static int result = MPG123_ERR;
    std::call_once(once, [] { result = mpg123_init(); });
    return result == MPG123_OK;
}

} // namespace

void Mp3Stream::HandleDeleter::operator()(mpg123_handle_struct* handle) const {
    mpg123_close(handle);
    mpg123_delete(handle);
}

Mp3Stream::Mp3Stream() : m_samples(chunkSamples) {}

Mp3Stream::~Mp3Stream() {
    stop();
}

bool Mp3Stream::openFromFile(const std::string& path) {
    stop();
    const std::lock_guard lock(m_mutex);
    m_handle.reset();
    if (!initialiseLibrary())
        return false;
    int error = MPG123_OK;
    Handle handle(mpg123_new(nullptr, &error));
    if (!handle)
        return false;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    if (mpg123_open(handle.get(), path.c_str()) != MPG123_OK)
        return false;

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels <= 0)
        return false;
    // Fix the output to what OpenAL takes: 16-bit signed, the file's own rate and channels.
    mpg123_format_none(handle.get());
    if (mpg123_format(handle.get(), rate, channels, MPG123_ENC_SIGNED_16) != MPG123_OK)
        return false;
    // Scanning the whole file gives the exact length instead of an estimate from the first frame.
    if (mpg123_scan(handle.get()) != MPG123_OK)
        return false;
    const off_t length = mpg123_length(handle.get());
    if (length <= 0)
        return false;

    m_rate = rate;
    m_duration = sf::microseconds(static_cast<sf::Int64>(length) * microsecondsPerSecond / rate);
    m_handle = std::move(handle);
    initialize(static_cast<unsigned int>(channels), static_cast<unsigned int>(rate));
    return true;
}

sf::Time Mp3Stream::getDuration() const {
    return m_duration;
}

bool Mp3Stream::onGetData(Chunk& data) {
    const std::lock_guard lock(m_mutex);
    data.samples = m_samples.data();
    data.sampleCount = 0;
    if (!m_handle)
        return false;
    for (int read = 0; read < maxFormatReads; ++read) {
        std::size_t bytes = 0;
        const int result =
            mpg123_read(m_handle.get(), m_samples.data(), m_samples.size() * sizeof(std::int16_t), &bytes);
        data.sampleCount = bytes / sizeof(std::int16_t);
        // The first read may only announce the (already fixed) format; read on until there are samples.
        if (result == MPG123_NEW_FORMAT && bytes == 0)
            continue;
        return result == MPG123_OK || result == MPG123_NEW_FORMAT;
    }
    return false;
}

void Mp3Stream::onSeek(sf::Time timeOffset) {
    const std::lock_guard lock(m_mutex);
    if (!m_handle)
        return;
    const auto sample = static_cast<off_t>(timeOffset.asMicroseconds() * m_rate / microsecondsPerSecond);
    mpg123_seek(m_handle.get(), sample, SEEK_SET);
}
