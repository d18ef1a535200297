// The scene in a private X server: window and layout, what each frame draws, the click action, and real X input.
#include "ui/LauncherScene.hpp"

#include "support/PrivateDisplay.hpp"
#include "sync/Launcher.hpp"
#include "ui/StatusBox.hpp"

#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Window/Window.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <string>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// The software GL driver keeps a few allocations to the end of the process, and it is unloaded before the leak
// check runs, which leaves nothing to name them by. Kept loaded, it can be named and excused.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:swrast_dri.so\n";
}

namespace {

using namespace std::chrono_literals;

[[maybe_unused]] const void* const softwareDriver =
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);

constexpr int framesPerStep = 4;

bool displayAvailable() {
    static const bool available = [] {
        if (const std::string display = testing_support::startPrivateDisplay(); !display.empty()) {
            setenv("DISPLAY", display.c_str(), 1);
            return true;
        }
        return std::getenv("DISPLAY") != nullptr; // no Xvfb here: fall back to the session's display
    }();
    return available;
}

#define REQUIRE_DISPLAY()                                                                                              \
    if (!displayAvailable())                                                                                           \
    GTEST_SKIP() << "no X server"

int run(const std::string& command) {
    return std::system(command.c_str());
}

sf::Image render(LauncherScene& scene, const PointerState& pointer) {
    sf::RenderTexture target;
    const sf::Vector2f size = scene.backgroundSize();
    EXPECT_TRUE(target.create(static_cast<unsigned>(size.x), static_cast<unsigned>(size.y)));
    scene.drawFrame(target, pointer);
    target.display();
    return target.getTexture().copyToImage();
}

// The background with the given sprites drawn over it, as they stand in the scene.
sf::Image reference(const LauncherScene& scene, std::initializer_list<int> images) {
    sf::RenderTexture target;
    const sf::Vector2f size = scene.backgroundSize();
    EXPECT_TRUE(target.create(static_cast<unsigned>(size.x), static_cast<unsigned>(size.y)));
    target.clear(sf::Color::Black);
    target.draw(scene.sprite(ui::background));
    for (const int image : images)
        target.draw(scene.sprite(image));
    target.display();
    return target.getTexture().copyToImage();
}

// Pixels of `area` that differ between the two images by more than a rounding step.
unsigned differingPixels(const sf::Image& a, const sf::Image& b, const sf::FloatRect& area) {
    unsigned count = 0;
    const auto channelDiffers = [](sf::Uint8 x, sf::Uint8 y) { return std::abs(int(x) - int(y)) > 2; };
    for (auto y = static_cast<unsigned>(area.top); y < static_cast<unsigned>(area.top + area.height); ++y)
        for (auto x = static_cast<unsigned>(area.left); x < static_cast<unsigned>(area.left + area.width); ++x) {
            const sf::Color p = a.getPixel(x, y);
            const sf::Color q = b.getPixel(x, y);
            if (channelDiffers(p.r, q.r) || channelDiffers(p.g, q.g) || channelDiffers(p.b, q.b))
                ++count;
        }
    return count;
}

sf::Vector2f centre(const sf::Sprite& sprite) {
    const sf::FloatRect bounds = sprite.getGlobalBounds();
    return {bounds.left + bounds.width / 2, bounds.top + bounds.height / 2};
}

const PointerState away{{-100.f, -100.f}, false};

LinkAddresses linkAddresses() {
    const std::string site = "https://example.test/";
    return {site + "website", site + "register", site + "recruit", site + "unstuck",
            site + "vote",    site + "guide",    site + "donate",  "https://discord.example.test/"};
}

// Hover images are decoded only when first drawn, yet the layout and the hit regions need their sizes before that.
TEST(LauncherScene, EveryImageHasItsDecodedSizeBeforeItIsDrawn) {
    REQUIRE_DISPLAY();
    for (const auto& [language, set] : {std::pair{Language::English, assets::ImageSet::English},
                                        std::pair{Language::Finglish, assets::ImageSet::Finglish}}) {
        const LauncherScene scene(language);
        const ClickRegions regions = scene.clickRegions();
        for (int index = 0; index < assets::imageCount; ++index) {
            const std::span<const unsigned char> bytes = assets::image(index, set);
            sf::Texture decoded;
            ASSERT_TRUE(decoded.loadFromMemory(bytes.data(), bytes.size())) << "image " << index;
            const sf::FloatRect region = regions.images[static_cast<std::size_t>(index)];
            EXPECT_EQ(sf::Vector2f(region.width, region.height), sf::Vector2f(decoded.getSize())) << "image " << index;
        }
    }
}

TEST(LauncherScene, WindowAndLayoutFromTheArtwork) {
    REQUIRE_DISPLAY();
    for (const Language language : {Language::English, Language::Finglish}) {
        LauncherScene scene(language);
        EXPECT_EQ(scene.backgroundSize(), sf::Vector2f(800.f, 600.f));
        const float columnY[] = {10.f, 55.f, 100.f, 145.f, 190.f, 235.f, 280.f};
        for (std::size_t row = 0; row < ui::sideColumn.size(); ++row) {
            EXPECT_EQ(scene.sprite(ui::sideColumn[row].normal).getPosition(), sf::Vector2f(576.f, columnY[row]));
            EXPECT_EQ(scene.sprite(ui::sideColumn[row].hovered).getPosition(), sf::Vector2f(576.f, columnY[row]));
        }
        EXPECT_EQ(scene.sprite(ui::playNormal).getPosition(), sf::Vector2f(236.f, 480.f));
        EXPECT_EQ(scene.sprite(ui::playUnavailable).getPosition(), sf::Vector2f(236.f, 480.f));
        EXPECT_EQ(scene.sprite(ui::discordNormal).getPosition(), sf::Vector2f(0.f, 257.f));

        sf::RenderWindow& window = scene.createWindow();
        ASSERT_TRUE(window.isOpen());
        EXPECT_EQ(window.getSize(), sf::Vector2u(800, 600));
        EXPECT_EQ(scene.closeArea(), sf::FloatRect(755.f, 15.f, 30.f, 30.f));
        EXPECT_EQ(scene.musicArea(), sf::FloatRect(755.f, 56.f, 30.f, 30.f));
        EXPECT_EQ(scene.minimiseArea(), sf::FloatRect(755.f, 97.f, 30.f, 30.f));
        const std::string title =
            "xdotool getwindowname " + std::to_string(window.getSystemHandle()) + " | grep -qx 'Varnhold Launcher'";
        EXPECT_EQ(run(title), 0);
        scene.close();
        EXPECT_FALSE(window.isOpen());
    }
}

TEST(LauncherScene, EveryStatusFitsItsPaintedBox) {
    REQUIRE_DISPLAY();
    // What the workers and Play say, and why a file keeps failing.
    const TextPair statuses[] = {status::loading,          status::music,      status::requirements,
                                 status::gameData,         status::additional, status::ready,
                                 status::preparing,        status::notFound,   status::unreachable,
                                 status::checksumMismatch, status::diskFull,   status::cannotWrite};
    constexpr float minimumPadding = 4.f; // between the ink and the rim's centre line
    const sf::FloatRect box(static_cast<float>(ui::statusBox::left), static_cast<float>(ui::statusBox::top),
                            static_cast<float>(ui::statusBox::width), static_cast<float>(ui::statusBox::height));
    for (const Language language : {Language::English, Language::Finglish}) {
        LauncherScene scene(language);
        for (const TextPair& text : statuses) {
            scene.refresh(std::string(text.in(language)), false);
            const sf::Text& label = scene.texts().statusLabel();
            EXPECT_EQ(label.getPosition(), sf::Vector2f(650.f, 570.f)) << "the status line stays where it is laid out";
            const sf::FloatRect ink = label.getGlobalBounds();
            EXPECT_GE(ink.left - box.left, minimumPadding) << text.in(language);
            EXPECT_GE(ink.top - box.top, minimumPadding) << text.in(language);
            EXPECT_GE(box.left + box.width - (ink.left + ink.width), minimumPadding)
                << text.in(language) << " ends at x = " << ink.left + ink.width;
            EXPECT_GE(box.top + box.height - (ink.top + ink.height), minimumPadding) << text.in(language);
        }
    }
}

TEST(LauncherScene, PlayImageFollowsCanPlayAndHover) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::English);
    const sf::FloatRect play = scene.sprite(ui::playNormal).getGlobalBounds();
    const sf::Vector2f overPlay = centre(scene.sprite(ui::playNormal));

    scene.refresh("Download - Requirements", false);
    EXPECT_FALSE(scene.playAvailable());
    const sf::Image unavailable = render(scene, away);
    EXPECT_EQ(differingPixels(unavailable, reference(scene, {ui::playUnavailable}), play), 0u);
    ASSERT_GT(differingPixels(unavailable, reference(scene, {ui::playNormal}), play), 1000u)
        << "the artwork must tell the two Play images apart";

    scene.refresh("Ready to Play", true);
    EXPECT_EQ(differingPixels(render(scene, away), reference(scene, {ui::playNormal}), play), 0u);

    // Hovered: the hovered image, and the cursor switches to its active form over it.
    const PointerState hovering{overPlay, false};
    const sf::Image hovered = render(scene, hovering);
    const sf::FloatRect cursorArea = scene.sprite(ui::cursorActive).getGlobalBounds();
    EXPECT_EQ(differingPixels(hovered, reference(scene, {ui::playHovered, ui::cursorActive}), play), 0u);
    EXPECT_GT(differingPixels(hovered, reference(scene, {ui::playHovered, ui::cursorNormal}), cursorArea), 0u);

    // Unavailable but hovered: still the unavailable image, yet the cursor turns active.
    scene.refresh("Download - Requirements", false);
    const sf::Image waiting = render(scene, hovering);
    EXPECT_EQ(differingPixels(waiting, reference(scene, {ui::playUnavailable, ui::cursorActive}), play), 0u);

    // Away from everything clickable the cursor is the normal one; holding the button makes it active.
    const PointerState idle{{300.f, 420.f}, false};
    const sf::FloatRect idleArea = {300.f, 420.f, 32.f, 29.f};
    const sf::Image normal = render(scene, idle);
    EXPECT_EQ(differingPixels(normal, reference(scene, {ui::playUnavailable, ui::cursorNormal}), idleArea), 0u);
    const sf::Image held = render(scene, {idle.position, true});
    EXPECT_EQ(differingPixels(held, reference(scene, {ui::playUnavailable, ui::cursorActive}), idleArea), 0u);
}

TEST(LauncherScene, SideButtonsSwitchToTheirHoveredImage) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::Finglish);
    scene.refresh("", true);
    for (const ui::ButtonImages& button : ui::sideColumn) {
        const sf::Sprite& normal = scene.sprite(button.normal);
        // Hovering one button changes only that button.
        const sf::Image frame = render(scene, {centre(normal), false});
        const sf::Image expected = reference(scene, {button.hovered, ui::cursorActive});
        EXPECT_EQ(differingPixels(frame, expected, normal.getGlobalBounds()), 0u) << button.key;
    }
    const sf::Sprite& discord = scene.sprite(ui::discordNormal);
    const sf::Image frame = render(scene, {centre(discord), false});
    EXPECT_EQ(
        differingPixels(frame, reference(scene, {ui::discordHovered, ui::cursorActive}), discord.getGlobalBounds()),
        0u);
}

TEST(LauncherScene, PersianAnnouncementIsDrawnOnlyAsTheShapedImage) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::Finglish);
    const std::string announcement = R"(\u0633\u0644\u0627\u0645 \u062f\u0646\u06cc\u0627\n\u062e\u0648\u0634)";
    scene.setAnnouncement(announcement);
    scene.refresh("Amade Bazi", true);
    const sf::Image plain = render(scene, away);
    EXPECT_EQ(scene.texts().announcementImage().getTexture(), nullptr) << "no image without the code \"fa\"";

    scene.setLanguageCode("fa");
    const sf::Image shaped = render(scene, away);
    const sf::Texture* texture = scene.texts().announcementImage().getTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_GT(texture->getSize().x, 0u);
    EXPECT_EQ(scene.texts().announcementImage().getPosition(), sf::Vector2f(20.f, 60.f));

    // The shaped image is all that stands there: the frame equals the background with only that image on it.
    const sf::FloatRect area = scene.texts().announcementImage().getGlobalBounds();
    sf::RenderTexture target;
    ASSERT_TRUE(target.create(800, 600));
    target.clear(sf::Color::Black);
    target.draw(scene.sprite(ui::background));
    target.draw(scene.texts().announcementImage());
    target.display();
    EXPECT_EQ(differingPixels(shaped, target.getTexture().copyToImage(), area), 0u);
    EXPECT_GT(differingPixels(shaped, plain, area), 0u);
}

TEST(LauncherScene, LongPersianAnnouncementIsCutAtItsPanel) {
    REQUIRE_DISPLAY();
    const std::string greeting = R"(\u0633\u0644\u0627\u0645 \u062f\u0646\u06cc\u0627 )";
    // One line too wide for the panel, then more lines than it has room for.
    std::string announcement;
    for (int i = 0; i < 9; ++i)
        announcement += greeting;
    for (int i = 0; i < 10; ++i)
        announcement += R"(\n)" + greeting + greeting + greeting;
    const auto frame = [](const std::string& text) {
        LauncherScene scene(Language::Finglish);
        scene.setAnnouncement(text);
        scene.setLanguageCode("fa");
        scene.refresh("Amade Bazi", true);
        return render(scene, away);
    };
    const sf::Image shown = frame(announcement);
    const sf::Image none = frame("");

    const float left = TextDisplay::announcementLeft;
    const float top = TextDisplay::announcementTop;
    const float right = TextDisplay::announcementRight;
    const float bottom = TextDisplay::announcementBottom;
    EXPECT_LE(bottom, TextDisplay::realmLineHeight * TextDisplay::realmFirstRow) << "the panel ends above the realms";
    EXPECT_GT(differingPixels(shown, none, {left, top, right - left, bottom - top}), 500u);
    EXPECT_EQ(differingPixels(shown, none, {left, bottom, right - left, 600.f - bottom}), 0u) << "below the panel";
    EXPECT_EQ(differingPixels(shown, none, {right, 0.f, 800.f - right, bottom}), 0u) << "right of the panel";
}

struct Recorder {
    std::vector<std::string> opened;
    int plays = 0;
    SceneActions actions() {
        return {[this] { ++plays; }, [this](const std::string& target) { opened.push_back(target); }, linkAddresses()};
    }
};

TEST(LauncherScene, ClickActionAtEachElement) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::English);
    scene.createWindow();
    Launcher launcher;
    Recorder recorder;
    SceneActions actions = recorder.actions();

    for (const ui::ButtonImages& button : ui::sideColumn) {
        onClick(scene, centre(scene.sprite(button.normal)), launcher, actions);
        ASSERT_FALSE(recorder.opened.empty());
        EXPECT_EQ(recorder.opened.back(), "https://example.test/" + std::string(button.key));
    }
    onClick(scene, centre(scene.sprite(ui::discordNormal)), launcher, actions);
    EXPECT_EQ(recorder.opened.back(), "https://discord.example.test/");
    EXPECT_EQ(recorder.opened.size(), 8u);

    // Play goes to the Play sequence whether or not the game may start yet: it asks the player to wait itself.
    ASSERT_FALSE(launcher.canPlay());
    onClick(scene, centre(scene.sprite(ui::playNormal)), launcher, actions);
    EXPECT_EQ(recorder.plays, 1);

    // Nothing clickable, and the music spot with no track: no link, no Play, music stays off.
    onClick(scene, {400.f, 300.f}, launcher, actions);
    onClick(scene, {770.f, 70.f}, launcher, actions);
    EXPECT_FALSE(launcher.musicOn());
    EXPECT_EQ(recorder.opened.size(), 8u);
    EXPECT_EQ(recorder.plays, 1);

    // A missing link is the empty text and is handed on anyway.
    actions.links.vote.clear();
    onClick(scene, centre(scene.sprite(ui::voteNormal)), launcher, actions);
    EXPECT_EQ(recorder.opened.back(), "");

    onClick(scene, {770.f, 30.f}, launcher, actions);
    EXPECT_FALSE(scene.window()->isOpen());
}

sf::Event focusEvent(bool gained) {
    sf::Event event{};
    event.type = gained ? sf::Event::GainedFocus : sf::Event::LostFocus;
    return event;
}

sf::Event mouseEvent(sf::Event::EventType type, sf::Vector2f at, sf::Mouse::Button button = sf::Mouse::Left) {
    sf::Event event{};
    event.type = type;
    if (type == sf::Event::MouseMoved) {
        event.mouseMove = {static_cast<int>(at.x), static_cast<int>(at.y)};
    } else {
        event.mouseButton = {button, static_cast<int>(at.x), static_cast<int>(at.y)};
    }
    return event;
}

// Queued events as a frame finds them, with no real pointer: each press and release is judged by its own place.
TEST(LauncherScene, ClicksAreJudgedByTheirOwnEvents) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::English);
    scene.createWindow();
    Launcher launcher;
    Recorder recorder;
    const SceneActions actions = recorder.actions();
    const auto feed = [&](std::initializer_list<sf::Event> events) {
        for (const sf::Event& event : events)
            scene.handleEvent(event, launcher, actions);
    };
    const auto press = [](sf::Vector2f at) { return mouseEvent(sf::Event::MouseButtonPressed, at); };
    const auto release = [](sf::Vector2f at) { return mouseEvent(sf::Event::MouseButtonReleased, at); };
    const auto move = [](sf::Vector2f at) { return mouseEvent(sf::Event::MouseMoved, at); };
    const sf::Vector2f website = centre(scene.sprite(ui::websiteNormal));
    const sf::Vector2f donate = centre(scene.sprite(ui::donateNormal));
    const sf::Vector2f discord = centre(scene.sprite(ui::discordNormal));
    const sf::Vector2f play = centre(scene.sprite(ui::playNormal));
    const sf::Vector2f closeSpot{770.f, 30.f};
    const sf::Vector2f empty{400.f, 300.f};

    feed({focusEvent(true)});
    // Pressed on one button, released on another: neither acts.
    feed({move(website), press(website), move(donate), release(donate)});
    feed({press(play), release(empty), press(empty), release(play)});
    EXPECT_TRUE(recorder.opened.empty());
    EXPECT_EQ(recorder.plays, 0);
    // Press and release in one frame, on the same button: it acts.
    feed({press(discord), release(discord), press(play), move(empty), move(play), release(play)});
    EXPECT_EQ(recorder.opened, std::vector<std::string>{"https://discord.example.test/"});
    EXPECT_EQ(recorder.plays, 1);
    // A release with no handled press before it: one with no press at all, one whose press came without the
    // focus, one whose press lost the focus before it; and the right button. None acts.
    feed({release(website)});
    feed({focusEvent(false), press(website), focusEvent(true), release(website)});
    feed({press(website), focusEvent(false), focusEvent(true), release(website)});
    feed({mouseEvent(sf::Event::MouseButtonPressed, website, sf::Mouse::Right),
          mouseEvent(sf::Event::MouseButtonReleased, website, sf::Mouse::Right)});
    EXPECT_EQ(recorder.opened.size(), 1u);
    // The close spot keeps the same rule.
    feed({press(empty), release(closeSpot), press(closeSpot), release(empty)});
    EXPECT_TRUE(scene.window()->isOpen());
    feed({press(closeSpot), release(closeSpot)});
    EXPECT_FALSE(scene.window()->isOpen());
}

// On a scaled display the window grows, the artwork is the double-size set drawn pixel for pixel, texts are
// rasterised at the screen's size, and clicks at the screen's pixels land on the layout's buttons.
TEST(LauncherScene, ScaledWindowDrawsTheDoubleArtworkAndTakesClicksInLayoutUnits) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::English);
    sf::RenderWindow& window = scene.createWindow(2.f);
    ASSERT_EQ(window.getSize(), sf::Vector2u(1600, 1200));
    EXPECT_EQ(scene.backgroundSize(), sf::Vector2f(800.f, 600.f));
    EXPECT_EQ(scene.sprite(ui::playNormal).getGlobalBounds(), sf::FloatRect(236.f, 480.f, 328.f, 110.f));
    scene.refresh("Ready to Play", true);
    EXPECT_EQ(scene.texts().statusLabel().getCharacterSize(), 2 * TextDisplay::statusCharacterSize);
    EXPECT_NEAR(scene.texts().statusLabel().getGlobalBounds().height,
                LauncherScene(Language::English).texts().statusLabel().getGlobalBounds().height, 2.f);

    // The frame at the window's size against the 2x images, background and Play, as decoded from the program.
    sf::RenderTexture target;
    ASSERT_TRUE(target.create(1600, 1200));
    scene.drawFrame(target, away);
    target.display();
    const sf::Image frame = target.getTexture().copyToImage();
    sf::RenderTexture expected;
    ASSERT_TRUE(expected.create(1600, 1200));
    expected.clear(sf::Color::Black);
    for (const auto& [image, at] :
         {std::pair{ui::background, sf::Vector2f()}, std::pair{ui::playNormal, sf::Vector2f(472.f, 960.f)}}) {
        const std::span<const unsigned char> bytes =
            assets::image(image, assets::ImageSet::English, assets::ImageScale::Double);
        sf::Texture texture;
        ASSERT_TRUE(texture.loadFromMemory(bytes.data(), bytes.size()));
        sf::Sprite sprite(texture);
        sprite.setPosition(at);
        expected.draw(sprite);
    }
    expected.display();
    EXPECT_EQ(differingPixels(frame, expected.getTexture().copyToImage(), {472.f, 960.f, 656.f, 220.f}), 0u);
    EXPECT_EQ(differingPixels(frame, expected.getTexture().copyToImage(), {0.f, 1000.f, 400.f, 200.f}), 0u);

    Launcher launcher;
    Recorder recorder;
    const SceneActions actions = recorder.actions();
    const sf::Vector2f website = centre(scene.sprite(ui::websiteNormal)) * 2.f;
    for (const sf::Event& event : {focusEvent(true), mouseEvent(sf::Event::MouseButtonPressed, website),
                                   mouseEvent(sf::Event::MouseButtonReleased, website)})
        scene.handleEvent(event, launcher, actions);
    EXPECT_EQ(recorder.opened, std::vector<std::string>{"https://example.test/website"});

    // 150 %: the 2x artwork resampled; a scale that would not fit the screen (1600 × 1200 here) gives way.
    LauncherScene oneAndAHalf(Language::English);
    EXPECT_EQ(oneAndAHalf.createWindow(1.5f).getSize(), sf::Vector2u(1200, 900));
    EXPECT_TRUE(oneAndAHalf.sprite(ui::background).getTexture()->isSmooth());
    LauncherScene tooLarge(Language::English);
    EXPECT_EQ(tooLarge.createWindow(3.f).getSize(), sf::Vector2u(1600, 1200));
}

TEST(LauncherScene, RunReturnsAtOnceWithoutAWindow) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::English);
    Launcher launcher;
    Recorder recorder;
    bool framed = false;
    scene.setFrameHook([&] { framed = true; });
    scene.run(launcher, recorder.actions());
    EXPECT_FALSE(framed);
}

TEST(LauncherScene, ChangesShowInTheNextFrameAndAnUnchangedPictureIsNotRedrawnAtOnce) {
    REQUIRE_DISPLAY();
    LauncherScene scene(Language::English);
    sf::RenderWindow& window = scene.createWindow();
    window.setPosition({0, 0});
    Launcher launcher;
    launcher.setStatusText("Download - Requirements");
    Recorder recorder;
    std::vector<std::string> statusShown;
    std::vector<unsigned long> drawn;
    const unsigned frames = LauncherScene::repaintInterval * 2 + 4;
    scene.setFrameHook([&] {
        statusShown.push_back(scene.texts().statusLabel().getString().toAnsiString());
        drawn.push_back(scene.framesDrawn());
        if (statusShown.size() == 3)
            launcher.setStatusText("Ready to Play"); // as a worker would, between two frames
        if (statusShown.size() == frames)
            scene.close();
    });
    const auto started = std::chrono::steady_clock::now();
    scene.run(launcher, recorder.actions());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    ASSERT_EQ(statusShown.size(), frames);
    EXPECT_EQ(statusShown[2], "Download - Requirements");
    EXPECT_EQ(statusShown[3], "Ready to Play");
    EXPECT_EQ(drawn[0], 1u);
    EXPECT_EQ(drawn[3], drawn[2] + 1) << "the new status is drawn at once";
    // With nothing changing, the picture is redrawn only every repaintInterval frames.
    EXPECT_LE(drawn.back(), drawn[3] + (frames - 4) / LauncherScene::repaintInterval + 1);
    EXPECT_GE(drawn.back(), drawn[3] + 1);
    // The loop keeps its pace whether it draws or not.
    EXPECT_GT(seconds, (frames - 1) / 30.0 * 0.9);
}

// A minimised window is unmapped: the loop keeps going and the status keeps changing, but nothing is drawn until
// the window is back.
TEST(LauncherScene, NothingIsDrawnWhileTheWindowIsOutOfSight) {
    REQUIRE_DISPLAY();
    if (run("command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "xdotool is not installed";
    LauncherScene scene(Language::English);
    const std::string id = std::to_string(scene.createWindow().getSystemHandle());
    Launcher launcher;
    Recorder recorder;
    constexpr unsigned hiddenFrom = 3;
    constexpr unsigned hiddenUntil = hiddenFrom + 2 * LauncherScene::repaintInterval;
    unsigned frame = 0;
    unsigned long drawnWhenHidden = 0;
    unsigned long drawnWhileHidden = 0;
    scene.setFrameHook([&] {
        ++frame;
        if (frame == hiddenFrom - 1) {
            EXPECT_EQ(run("xdotool windowunmap --sync " + id), 0);
        }
        if (frame == hiddenFrom)
            drawnWhenHidden = scene.framesDrawn();
        if (frame >= hiddenFrom && frame < hiddenUntil)
            launcher.setStatusText("File " + std::to_string(frame)); // a change every frame would be drawn
        if (frame == hiddenUntil) {
            drawnWhileHidden = scene.framesDrawn() - drawnWhenHidden;
            EXPECT_EQ(run("xdotool windowmap --sync " + id), 0);
        }
        if (frame == hiddenUntil + 3)
            scene.close();
    });
    scene.run(launcher, recorder.actions());
    EXPECT_EQ(frame, hiddenUntil + 3);
    EXPECT_EQ(drawnWhileHidden, 0u);
    EXPECT_GT(scene.framesDrawn(), drawnWhenHidden) << "drawn again once the window is back";
}

// Real X input through xdotool: press, short wait, release; dragging; the focus rule; closing.
TEST(LauncherScene, RealMouseInput) {
    REQUIRE_DISPLAY();
    if (run("command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "xdotool is not installed";

    sf::Window elsewhere(sf::VideoMode(60, 60), "elsewhere", sf::Style::None);
    elsewhere.setPosition({1100, 900});
    LauncherScene scene(Language::English);
    sf::RenderWindow& window = scene.createWindow();
    window.setPosition({100, 100});
    scene.setAnnouncement("Welcome");
    const std::string ours = std::to_string(window.getSystemHandle());
    const std::string theirs = std::to_string(elsewhere.getSystemHandle());

    Launcher launcher;
    Recorder recorder;
    std::atomic<int> frames{0};
    std::atomic<bool> scriptDone{false};
    std::atomic<bool> closed{false};
    sf::Vector2i lastPosition;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    scene.setFrameHook([&] {
        ++frames;
        if (window.isOpen())
            lastPosition = window.getPosition();
        else
            closed = true;
        if (std::chrono::steady_clock::now() > deadline)
            scene.close(); // the script got stuck: end the loop rather than hang
    });

    const auto screen = [](sf::Vector2i windowAt, sf::Vector2f inWindow) {
        return std::to_string(windowAt.x + static_cast<int>(inWindow.x)) + " " +
               std::to_string(windowAt.y + static_cast<int>(inWindow.y));
    };
    const sf::Vector2f website = centre(scene.sprite(ui::websiteNormal));
    const sf::Vector2f register_ = centre(scene.sprite(ui::registerNormal));
    const sf::Vector2f guide = centre(scene.sprite(ui::guideNormal));
    std::vector<std::string> failures;
    std::thread script([&] {
        while (frames < framesPerStep && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        // Each step waits for the loop to run a few frames, so that it has handled what the step sent.
        const auto xdo = [&](const std::string& args) {
            if (run("timeout 10 xdotool " + args) != 0)
                failures.push_back(args);
            const int seen = frames;
            while (frames < seen + framesPerStep && !closed && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(5ms);
        };
        const auto press = [&](const std::string& at) { xdo("mousemove " + at + " mousedown 1"); };
        const auto release = [&] { xdo("mouseup 1"); };
        xdo("windowfocus --sync " + ours);
        // A press and release over a button opens its link and leaves the window where it was.
        press(screen({100, 100}, website));
        release();
        // A key does nothing.
        xdo("key Return");
        // Dragging from an empty spot moves the window with the mouse.
        press(screen({100, 100}, {300.f, 330.f}));
        xdo("mousemove " + screen({140, 125}, {300.f, 330.f}));
        release();
        // Without the focus the window ignores clicks.
        xdo("windowfocus --sync " + theirs);
        press(screen({140, 125}, guide));
        release();
        // With the focus back, a drag that starts and ends on a button still clicks it.
        xdo("windowfocus --sync " + ours);
        press(screen({140, 125}, register_));
        xdo("mousemove " + screen({150, 125}, register_));
        release();
        press(screen({150, 125}, {770.f, 30.f}));
        release();
        scriptDone = true;
    });
    scene.run(launcher, recorder.actions());
    script.join();

    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_TRUE(scriptDone);
    EXPECT_FALSE(window.isOpen()) << "the close spot ends the loop";
    EXPECT_LT(std::chrono::steady_clock::now(), deadline);
    const std::vector<std::string> expected{"https://example.test/website", "https://example.test/register"};
    EXPECT_EQ(recorder.opened, expected);
    EXPECT_EQ(recorder.plays, 0);
    EXPECT_EQ(lastPosition, sf::Vector2i(150, 125));
}

} // namespace
