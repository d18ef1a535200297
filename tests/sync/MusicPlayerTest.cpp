// The music player and the Launcher's music controls, heard through OpenAL Soft's wave-file recorder.
#include "sync/MusicPlayer.hpp"
#include "sync/Launcher.hpp"

#include "tests/support/Environment.hpp"
#include "tests/support/LocalServer.hpp"
#include "tests/support/Md5.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/ToneWav.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::CurrentFolderGuard;
using testing_support::LocalServer;
using testing_support::md5Hex;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

constexpr double toneHz = 440.0;
constexpr double trackSeconds = 0.8;
constexpr int trackRate = 44100;
constexpr double analysisWindow = 0.05; // seconds per loudness window
constexpr double silenceRms = 0.02;

// Everything this process plays is written to one wave file. OpenAL Soft reads its configuration when the first
// audio object opens the device, so this runs while the program starts, before any test. The runner may have set the
// wave writer up before the program started, as the Windows build's must: the OpenAL Soft that SFML ships there reads
// a copy of the environment taken as it loaded. Otherwise this process sets it up for itself.
class Recorder {
public:
    Recorder() {
        const std::optional<std::string> conf = testing_support::environment("ALSOFT_CONF");
        if (conf && testing_support::environment("ALSOFT_DRIVERS") == "wave") {
            // The runner's recording outlives the run: one left by an earlier run would look like a restarted one.
            m_wave = waveFileNamedIn(*conf);
            std::error_code ignored;
            fs::remove(m_wave, ignored);
            return;
        }
        if (m_folder.path().empty())
            return;
        m_wave = m_folder.path() / "out.wav";
        const fs::path ownConf = m_folder.path() / "alsoft.conf";
        std::ofstream(ownConf) << "[general]\ndrivers=wave\n[wave]\nfile=" << m_wave.string() << "\n";
        testing_support::setEnvironment("ALSOFT_CONF", ownConf.string());
        // The test runner asks for the null driver; the wave driver plays in real time too, and keeps the sound.
        testing_support::setEnvironment("ALSOFT_DRIVERS", "wave");
    }

    /// Bytes recorded so far: a mark to analyse from.
    [[nodiscard]] std::uintmax_t mark() const {
        std::error_code error;
        const auto size = fs::file_size(m_wave, error);
        return error ? 0 : size;
    }

    struct Sound {
        std::vector<float> samples; // first channel only
        int rate = 0;
    };

    /// What was recorded after `mark`, or nothing when the recording is unreadable or was restarted.
    [[nodiscard]] std::optional<Sound> since(std::uintmax_t from) const {
        const std::string bytes = readFile(m_wave);
        std::size_t pos = 12;
        int format = 0;
        int channels = 0;
        int bits = 0;
        Sound sound;
        std::size_t data = 0;
        while (pos + 8 <= bytes.size() && bytes.compare(0, 4, "RIFF") == 0) {
            const std::string id = bytes.substr(pos, 4);
            const std::uint32_t size = read<std::uint32_t>(bytes, pos + 4);
            if (id == "fmt ") {
                format = read<std::uint16_t>(bytes, pos + 8);
                channels = read<std::uint16_t>(bytes, pos + 10);
                sound.rate = static_cast<int>(read<std::uint32_t>(bytes, pos + 12));
                bits = read<std::uint16_t>(bytes, pos + 22);
                if (format == 0xFFFE) // WAVE_FORMAT_EXTENSIBLE: the real format leads the sub-format GUID
                    format = read<std::uint16_t>(bytes, pos + 32);
            } else if (id == "data") {
                data = pos + 8;
                break;
            }
            pos += 8 + size + (size & 1);
        }
        if (data == 0 || channels == 0 || bytes.size() < from)
            return std::nullopt;
        const std::size_t frame = static_cast<std::size_t>(channels * bits / 8);
        for (std::size_t at = std::max<std::size_t>(data, from); at + frame <= bytes.size(); at += frame) {
            if (format == 3 && bits == 32)
                sound.samples.push_back(read<float>(bytes, at));
            else if (format == 1 && bits == 16)
                sound.samples.push_back(static_cast<float>(read<std::int16_t>(bytes, at)) / 32768.0f);
            else
                return std::nullopt;
        }
        return sound;
    }

private:
    // The "file=" line of the configuration's [wave] section.
    static fs::path waveFileNamedIn(const std::string& conf) {
        std::ifstream in(conf);
        std::string line;
        bool inWave = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.starts_with('['))
                inWave = line == "[wave]";
            else if (inWave && line.starts_with("file="))
                return line.substr(5);
        }
        return {};
    }

    template <typename T> static T read(const std::string& bytes, std::size_t at) {
        T value{};
        if (at + sizeof(T) <= bytes.size())
            std::memcpy(&value, bytes.data() + at, sizeof(T));
        return value;
    }

    TempFolder m_folder;
    fs::path m_wave;
};

const Recorder recorder;

struct Heard {
    double loudSeconds = 0; // total length of the windows that are not silent
    double frequency = 0;   // from the zero crossings of the loud windows
    double lastLoudAt = 0;  // end of the last loud window, from the mark
};

Heard listen(const Recorder::Sound& sound) {
    Heard heard;
    const auto window = static_cast<std::size_t>(analysisWindow * sound.rate);
    std::vector<double> frequencies;
    for (std::size_t start = 0; window > 0 && start + window <= sound.samples.size(); start += window) {
        double energy = 0;
        std::size_t crossings = 0;
        for (std::size_t i = start; i < start + window; ++i) {
            energy += sound.samples[i] * sound.samples[i];
            if (i > 0 && (sound.samples[i - 1] < 0) != (sound.samples[i] < 0))
                ++crossings;
        }
        if (std::sqrt(energy / static_cast<double>(window)) < silenceRms)
            continue;
        heard.loudSeconds += analysisWindow;
        heard.lastLoudAt = static_cast<double>(start + window) / sound.rate;
        frequencies.push_back(static_cast<double>(crossings) / 2.0 / analysisWindow);
    }
    // The median leaves out the windows where the tone starts or ends part of the way through.
    if (!frequencies.empty()) {
        std::nth_element(frequencies.begin(), frequencies.begin() + static_cast<std::ptrdiff_t>(frequencies.size() / 2),
                         frequencies.end());
        heard.frequency = frequencies[frequencies.size() / 2];
    }
    return heard;
}

// A 16-bit PCM WAV of a sine tone, written here so the test needs no tools.
void writeToneWav(const fs::path& path, int rate, int channels) {
    std::ofstream(path, std::ios::binary) << testing_support::toneWav(trackSeconds, rate, channels, toneHz);
}

// The OGG and MP3 tracks are encoded while the tests are built, by the build machine's own encoders: a 440 Hz tone
// of trackSeconds, the OGG at 48 kHz in stereo, the MP3 at 22.05 kHz in stereo. Copies a track into the current folder.
bool copyTrack(const std::string& name) {
    const fs::path tracks = VARNHOLD_TEST_TRACKS;
    std::error_code error;
    return !tracks.empty() && fs::copy_file(tracks / name, name, fs::copy_options::overwrite_existing, error);
}

double seconds(std::int64_t microseconds) {
    return static_cast<double>(microseconds) / 1e6;
}

class MusicPlayerTest : public ::testing::Test {
protected:
    // Plays `path` to its end and checks what came out: the tone, for about the track's length.
    void expectPlaysTone(const fs::path& path, double extraLength) {
        SCOPED_TRACE(path.string());
        MusicPlayer player;
        const auto from = recorder.mark();
        ASSERT_TRUE(player.open(path.string()));
        EXPECT_TRUE(player.loaded());
        EXPECT_NEAR(seconds(player.duration()), trackSeconds + extraLength / 2, 0.02 + extraLength / 2);
        ASSERT_TRUE(player.play());
        std::this_thread::sleep_for(400ms);
        EXPECT_TRUE(player.playing());
        EXPECT_GT(seconds(player.position()), 0.2);
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>((trackSeconds + extraLength) * 1000)));
        EXPECT_FALSE(player.playing()) << "a track stops by itself at its end";

        const auto sound = recorder.since(from);
        ASSERT_TRUE(sound) << "the recording was restarted: the audio device was closed in between";
        const Heard heard = listen(*sound);
        EXPECT_NEAR(heard.loudSeconds, trackSeconds + extraLength / 2, 0.15);
        EXPECT_NEAR(heard.frequency, toneHz, 15.0);
    }

    TempFolder m_folder;
    CurrentFolderGuard m_inFolder{m_folder.path()};
};

TEST_F(MusicPlayerTest, PlaysWav) {
    writeToneWav("tone.wav", trackRate, 1);
    expectPlaysTone("tone.wav", 0.0);
}

TEST_F(MusicPlayerTest, PlaysOgg) {
    if (!copyTrack("tone.ogg"))
        GTEST_SKIP() << "no OGG track: the build had no sox to make it";
    expectPlaysTone("tone.ogg", 0.0);
}

TEST_F(MusicPlayerTest, PlaysMp3) {
    // Another rate, in stereo: the stream must take the file's own rate and channels.
    if (!copyTrack("tone.mp3"))
        GTEST_SKIP() << "no MP3 track: the build had no sox and lame to make it";
    // The decoded length includes the encoder's padding.
    expectPlaysTone("tone.mp3", 0.1);
}

TEST_F(MusicPlayerTest, AFileThatCannotBeOpenedLeavesNothingLoaded) {
    m_folder.write("noise.ogg", std::string(4096, '\x55'));
    m_folder.write("fake.mp3", "ID3 but nothing after it");
    MusicPlayer player;
    for (const char* path : {"noise.ogg", "fake.mp3", "missing.wav", ""}) {
        EXPECT_FALSE(player.open(path)) << path;
        EXPECT_FALSE(player.loaded());
        EXPECT_FALSE(player.play());
        EXPECT_EQ(player.position(), -1);
        EXPECT_EQ(player.duration(), 0);
    }

    LocalServer server;
    ASSERT_TRUE(server.start());
    const std::string noise(4096, '\x55');
    server.server().Get("/noise.ogg", [&noise](const httplib::Request&, httplib::Response& response) {
        response.set_content(noise, "audio/ogg");
    });
    Launcher launcher(m_folder.path().string());
    launcher.startMusicDownload(server.base() + "noise.ogg", "music/noise.ogg", md5Hex(noise));
    ASSERT_TRUE(launcher.waitForMusicWorker(10s));
    EXPECT_EQ(fs::path(launcher.musicPath()).generic_string(), (m_folder.path() / "music/noise.ogg").generic_string());
    EXPECT_FALSE(launcher.musicOn());
    launcher.musicTick();
    EXPECT_FALSE(launcher.musicOn());
}

TEST_F(MusicPlayerTest, OpensTracksInAFolderNamedInPersian) {
    const std::string folder = "\xD8\xA2\xD9\x87\xD9\x86\xDA\xAF"; // "ahang" in Persian letters, in UTF-8
    const fs::path wide(std::u8string(folder.begin(), folder.end()));
    fs::create_directory(wide);
    writeToneWav(wide / "tone.wav", trackRate, 1);
    const fs::path tracks = VARNHOLD_TEST_TRACKS;
    std::vector<std::string> names{"tone.wav"};
    for (const char* name : {"tone.ogg", "tone.mp3"}) {
        std::error_code error;
        if (!tracks.empty() && fs::copy_file(tracks / name, wide / name, error))
            names.emplace_back(name);
    }
    MusicPlayer player;
    for (const std::string& name : names) {
        EXPECT_TRUE(player.open(folder + "/" + name)) << name;
        EXPECT_GT(player.duration(), 0) << name;
    }
}

// Each kind of track the launcher may be given loops: the WAV, the OGG and the MP3.
class MusicLoopTest : public MusicPlayerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MusicLoopTest, TheLauncherLoopsTheTrackAndRestartsItFromTheBeginning) {
    const std::string name = GetParam();
    if (name == "tone.wav")
        writeToneWav(name, trackRate, 1);
    else if (!copyTrack(name))
        GTEST_SKIP() << "no " << name << ": the build had no encoder to make it";
    const std::string track = readFile(name);
    LocalServer server;
    ASSERT_TRUE(server.start());
    server.server().Get("/" + name, [&track](const httplib::Request&, httplib::Response& response) {
        response.set_content(track, "application/octet-stream");
    });

    Launcher launcher(m_folder.path().string());
    launcher.setLanguage(Language::English);
    const auto from = recorder.mark();
    launcher.startMusicDownload(server.base() + name, "music/" + name, md5Hex(track));
    ASSERT_TRUE(launcher.waitForMusicWorker(10s));
    ASSERT_TRUE(launcher.musicOn());
    EXPECT_EQ(launcher.statusText(), "Download - Music") << "the music worker leaves its text in place";

    // The window calls musicTick once per frame; three track lengths of frames.
    const auto loopUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(2400);
    while (std::chrono::steady_clock::now() < loopUntil) {
        launcher.musicTick();
        std::this_thread::sleep_for(33ms);
    }
    EXPECT_TRUE(launcher.musicOn());
    auto sound = recorder.since(from);
    ASSERT_TRUE(sound) << "the recording was restarted: the audio device was closed in between";
    Heard heard = listen(*sound);
    EXPECT_GT(heard.loudSeconds, 2.5 * trackSeconds) << "the track played again after its end";
    EXPECT_NEAR(heard.frequency, toneHz, 15.0);
    EXPECT_GT(heard.lastLoudAt, 2.0);

    // Stopped music stays off, frames or not; restarting plays from the beginning.
    launcher.stopMusic();
    EXPECT_FALSE(launcher.musicOn());
    std::this_thread::sleep_for(100ms);
    const auto silentFrom = recorder.mark();
    for (int frame = 0; frame < 10; ++frame) {
        launcher.musicTick();
        std::this_thread::sleep_for(33ms);
    }
    EXPECT_FALSE(launcher.musicOn());
    sound = recorder.since(silentFrom);
    ASSERT_TRUE(sound);
    EXPECT_EQ(listen(*sound).loudSeconds, 0.0);

    launcher.restartMusic();
    EXPECT_TRUE(launcher.musicOn());
    std::this_thread::sleep_for(500ms);
    launcher.stopMusic();
    launcher.restartMusic();
    ASSERT_TRUE(launcher.musicOn());
    const auto restartedFrom = recorder.mark();
    std::this_thread::sleep_for(1200ms);
    sound = recorder.since(restartedFrom);
    ASSERT_TRUE(sound);
    heard = listen(*sound);
    // A restart from where it stopped would leave only 0.3 s to hear.
    EXPECT_GT(heard.loudSeconds, trackSeconds - 0.15);
}

INSTANTIATE_TEST_SUITE_P(EachFormat, MusicLoopTest, ::testing::Values("tone.wav", "tone.ogg", "tone.mp3"),
                         [](const ::testing::TestParamInfo<const char*>& format) {
                             return std::string(format.param).substr(5);
                         });

// Music the player switched off, or Play stopped, stays off when its download ends later.
TEST_F(MusicPlayerTest, MusicStoppedBeforeItsDownloadEndedStaysOff) {
    const std::string track = testing_support::toneWav(trackSeconds, trackRate, 1, toneHz);
    std::atomic<bool> release{false};
    LocalServer server;
    server.server().Get("/tone.wav", [&](const httplib::Request&, httplib::Response& response) {
        while (!release)
            std::this_thread::sleep_for(5ms);
        response.set_content(track, "audio/wav");
    });
    ASSERT_TRUE(server.start());

    Launcher launcher(m_folder.path().string());
    launcher.startMusicDownload(server.base() + "tone.wav", "music/tone.wav", md5Hex(track));
    launcher.stopMusic();
    release = true;
    ASSERT_TRUE(launcher.waitForMusicWorker(10s));
    EXPECT_FALSE(launcher.musicOn());
    launcher.restartMusic();
    EXPECT_TRUE(launcher.musicOn()) << "the track itself plays";
}

} // namespace
