// The progress in the real scene at a known point of a download: the figures and the bar match the bytes on disk.
// Screenshots of both languages are left in the build tree (screenshots/progress-*.png).
#include "sync/Launcher.hpp"
#include "ui/LauncherScene.hpp"

#include "support/Gate.hpp"
#include "support/LocalServer.hpp"
#include "support/Md5.hpp"
#include "support/PrivateDisplay.hpp"
#include "support/TempFolder.hpp"

#include <SFML/Graphics/RenderTexture.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Gate;

namespace {

constexpr std::size_t fileSize = 100'000;
constexpr const char* names[] = {"a", "b", "c", "d"};

std::uintmax_t bytesOnDisk(const fs::path& folder) {
    std::uintmax_t total = 0;
    for (const fs::directory_entry& file : fs::recursive_directory_iterator(folder))
        if (file.is_regular_file())
            total += file.file_size();
    return total;
}

// Pixels of the bar's middle row, from its left edge, in the fill's gold.
int goldPixels(const sf::Image& image, const sf::FloatRect& bar) {
    const auto y = static_cast<unsigned>(bar.top + bar.height / 2.f);
    int count = 0;
    for (auto x = static_cast<unsigned>(bar.left); x < static_cast<unsigned>(bar.left + bar.width); ++x) {
        const sf::Color c = image.getPixel(x, y);
        if (c.r > 120 && c.b < c.r / 2)
            ++count;
    }
    return count;
}

class ProgressSceneTest : public ::testing::TestWithParam<Language> {
protected:
    static void SetUpTestSuite() {
        if (std::getenv("DISPLAY") == nullptr)
            setenv("DISPLAY", testing_support::startPrivateDisplay().c_str(), 1);
    }
};

TEST_P(ProgressSceneTest, ShowsTheBytesOnDiskAtAKnownPoint) {
    const Language language = GetParam();
    testing_support::TempFolder folder;
    testing_support::CurrentFolderGuard inFolder(folder.path());
    testing_support::LocalServer server;
    Gate third;
    const std::string bytes(fileSize, 'v');
    server.server().Get("/(.)", [&](const httplib::Request& request, httplib::Response& response) {
        if (request.matches[1] == "c")
            third.passWhenOpen();
        response.set_content(bytes, "application/octet-stream");
    });
    ASSERT_TRUE(server.start());
    std::vector<FileEntry> files;
    for (const char* name : names)
        files.push_back(
            {0, 1, std::string(name) + ".bin", testing_support::md5Hex(bytes), server.base() + name, fileSize});

    Launcher launcher(folder.path().string());
    launcher.setLanguage(language);
    // One file at a time, so that the held third file leaves exactly the first two on the disk.
    launcher.setConnections(1);
    launcher.startFileSync(files);
    ASSERT_TRUE(third.waitEntered());

    LauncherScene scene(language);
    sf::RenderTexture frame;
    ASSERT_TRUE(frame.create(800, 600));
    ASSERT_TRUE(scene.showProgress(launcher.downloadProgress(), sf::Time::Zero));
    scene.drawFrame(frame, PointerState{});
    frame.display();
    const std::uintmax_t onDisk = bytesOnDisk(folder.path());
    const sf::Image shot = frame.getTexture().copyToImage();
    third.open();

    const ProgressBar& bar = scene.progressBar();
    EXPECT_EQ(onDisk, 2 * fileSize);
    EXPECT_EQ(bar.line(), language == Language::English ? "File 3 of 4 \u00b7 200.0 KB of 400.0 KB"
                                                        : "File 3 az 4 \u00b7 200.0 KB az 400.0 KB");
    const double drawn = goldPixels(shot, bar.barArea());
    EXPECT_NEAR(drawn, static_cast<double>(onDisk) / (4 * fileSize) * bar.barArea().width, 1.0);

    const fs::path shots = fs::path(VARNHOLD_BINARY_DIR) / "screenshots";
    fs::create_directories(shots);
    EXPECT_TRUE(
        shot.saveToFile((shots / (language == Language::English ? "progress-en.png" : "progress-fa.png")).string()));
    ASSERT_TRUE(launcher.waitUntilAllDone(10s));
    EXPECT_FALSE(launcher.downloadProgress().active) << "gone once everything is in";
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, ProgressSceneTest, ::testing::Values(Language::English, Language::Finglish));

} // namespace
