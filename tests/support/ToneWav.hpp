// A sine tone as the bytes of a 16-bit PCM wave file: a track the music player can open, made in the test.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

namespace testing_support {

inline std::string toneWav(double seconds, int rate, int channels, double hz) {
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    const auto dataBytes = static_cast<std::uint32_t>(frames * static_cast<std::uint32_t>(channels) * 2);
    std::string bytes;
    auto put = [&bytes](auto value) { bytes.append(reinterpret_cast<const char*>(&value), sizeof(value)); };
    bytes += "RIFF";
    put(std::uint32_t{36 + dataBytes});
    bytes += "WAVEfmt ";
    put(std::uint32_t{16});
    put(std::uint16_t{1});
    put(static_cast<std::uint16_t>(channels));
    put(static_cast<std::uint32_t>(rate));
    put(static_cast<std::uint32_t>(rate * channels * 2));
    put(static_cast<std::uint16_t>(channels * 2));
    put(std::uint16_t{16});
    bytes += "data";
    put(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double value = 0.5 * std::sin(2.0 * std::numbers::pi * hz * i / rate);
        for (int c = 0; c < channels; ++c)
            put(static_cast<std::int16_t>(value * 32767));
    }
    return bytes;
}

} // namespace testing_support
