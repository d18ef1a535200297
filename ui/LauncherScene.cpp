// The scene: artwork decoded from memory, the borderless window, the frame loop, dragging and the custom cursor.
#include "ui/LauncherScene.hpp"

#include "platform/CloseRequests.hpp"
#include "platform/Diagnostics.hpp"
#include "sync/Launcher.hpp"
#include "ui/WindowNumber.hpp"

#include <SFML/Window/Event.hpp>
#include <SFML/Window/Mouse.hpp>

#include <SFML/System/Clock.hpp>
#include <SFML/System/Sleep.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

constexpr unsigned bitsPerPixel = 32;
constexpr float hotSpotFromRight = 45.f; // the close and music symbols of the background art
constexpr float closeSpotTop = 15.f;
constexpr float musicSpotTop = 56.f;
constexpr float hotSpotSize = 30.f;

// Images whose hover turns the cursor to its active form: Play (also while unavailable) and every button.
constexpr std::array cursorActivatingImages{ui::playNormal,   ui::registerNormal, ui::discordNormal,
                                            ui::donateNormal, ui::recruitNormal,  ui::websiteNormal,
                                            ui::guideNormal,  ui::unstuckNormal,  ui::voteNormal};

assets::ImageSet imageSet(Language language) {
    return language == Language::Finglish ? assets::ImageSet::Finglish : assets::ImageSet::English;
}

// Images an idle window may never show: each waits for the first frame that needs it. The software renderer keeps
// every texture in the process's memory, so the hover forms would otherwise cost a third of a megabyte for a
// pointer that may never come near them; of the two Play images a window often only ever needs one.
constexpr bool decodedOnFirstUse(int image) {
    return image == ui::cursorActive || image == ui::playNormal || image == ui::playHovered ||
           image == ui::playUnavailable || image == ui::discordHovered ||
           std::any_of(ui::sideColumn.begin(), ui::sideColumn.end(),
                       [image](const ui::ButtonImages& button) { return button.hovered == image; });
}

// The size a PNG states in its header, without decoding it; nullopt for anything else.
std::optional<sf::Vector2i> pngSize(std::span<const unsigned char> bytes) {
    constexpr std::array<unsigned char, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    constexpr std::array<unsigned char, 4> header{'I', 'H', 'D', 'R'};
    if (bytes.size() < 24 || !std::equal(signature.begin(), signature.end(), bytes.begin()) ||
        !std::equal(header.begin(), header.end(), bytes.begin() + 12))
        return std::nullopt;
    const auto bigEndian = [&](std::size_t at) {
        return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
               (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
    };
    const std::uint32_t width = bigEndian(16);
    const std::uint32_t height = bigEndian(20);
    // The format allows up to 2^31 - 1; a texture never comes near that, and anything larger is damaged.
    constexpr std::uint32_t largest = 1u << 16;
    if (width == 0 || height == 0 || width > largest || height > largest)
        return std::nullopt;
    return sf::Vector2i(static_cast<int>(width), static_cast<int>(height));
}

} // namespace

LauncherScene::LauncherScene(Language language)
    : m_imageSet(imageSet(language)), m_texts(m_font, language), m_progressBar(m_font, language) {
    for (int index = 0; index < assets::imageCount; ++index) {
        const auto at = static_cast<std::size_t>(index);
        const std::optional<sf::Vector2i> size =
            decodedOnFirstUse(index) ? pngSize(assets::image(index, m_imageSet)) : std::nullopt;
        if (!size) {
            loadTexture(index);
            m_sprites[at].setTexture(m_textures[at], false);
            continue;
        }
        // The layout and the hit regions need the size at once; the pixels only when the image is drawn.
        m_decodePending[at] = true;
        m_sprites[at].setTexture(m_textures[at], false);
        m_sprites[at].setTextureRect({0, 0, size->x, size->y});
    }

    // The font reads its bytes in place for as long as it lives; they are part of the program.
    const std::span<const unsigned char> font = assets::font();
    if (!font.empty())
        (void)m_font.loadFromMemory(font.data(), font.size());

    m_texts.setBackgroundSize(backgroundSize());
    placeButtons();
}

LauncherScene::~LauncherScene() = default;

void LauncherScene::loadTexture(int index) const {
    // A failed decode leaves an empty texture whose sprite draws nothing; the scene goes on without it.
    const std::span<const unsigned char> bytes = assets::image(index, m_imageSet);
    if (!bytes.empty())
        (void)m_textures[static_cast<std::size_t>(index)].loadFromMemory(bytes.data(), bytes.size());
}

const sf::Sprite& LauncherScene::sprite(int index) const {
    const auto at = static_cast<std::size_t>(index);
    if (m_decodePending.at(at)) {
        m_decodePending[at] = false;
        loadTexture(index);
        // A texture that failed to decode must not draw as a blank rectangle of the header's size.
        if (m_textures[at].getSize() == sf::Vector2u())
            m_sprites[at].setTextureRect({});
    }
    return m_sprites[at];
}

sf::Vector2f LauncherScene::backgroundSize() const {
    const sf::FloatRect bounds = m_sprites[ui::background].getGlobalBounds();
    // An X window cannot be 0 × 0: without its background the window keeps the size the art is made for.
    if (static_cast<unsigned>(bounds.width) == 0 || static_cast<unsigned>(bounds.height) == 0)
        return {static_cast<float>(fallbackWidth), static_cast<float>(fallbackHeight)};
    return {bounds.width, bounds.height};
}

sf::RenderWindow& LauncherScene::createWindow() {
    const sf::Vector2f size = backgroundSize();
    m_window = std::make_unique<sf::RenderWindow>(
        sf::VideoMode(static_cast<unsigned>(size.x), static_cast<unsigned>(size.y), bitsPerPixel), windowTitle,
        sf::Style::None, sf::ContextSettings());
    m_window->setFramerateLimit(framesPerSecond);
    m_window->setMouseCursorVisible(false);

    const sf::Vector2f windowSize(m_window->getSize());
    m_closeArea = {windowSize.x - hotSpotFromRight, closeSpotTop, hotSpotSize, hotSpotSize};
    m_musicArea = {windowSize.x - hotSpotFromRight, musicSpotTop, hotSpotSize, hotSpotSize};

    platform::Print("window: %llu\n", windowNumber(m_window->getSystemHandle()));
    return *m_window;
}

void LauncherScene::setAnnouncement(const std::string& text) {
    m_texts.setAnnouncement(text);
}

void LauncherScene::addRealmLine(const std::string& text) {
    m_texts.addRealmLine(text);
}

void LauncherScene::setLanguageCode(std::string code) {
    m_texts.setLanguageCode(std::move(code));
}

void LauncherScene::close() {
    if (m_window)
        m_window->close();
}

void LauncherScene::refresh(const std::string& statusText, bool canPlay) {
    m_texts.setStatus(statusText);
    m_playAvailable = canPlay;
}

bool LauncherScene::showProgress(const DownloadProgress& progress, sf::Time now) {
    if (!m_progressBar.update(progress, now))
        return false;
    ++m_progressRevision;
    return true;
}

PointerState LauncherScene::pointer() const {
    PointerState state;
    if (!m_window)
        return state;
    state.position = sf::Vector2f(sf::Mouse::getPosition(*m_window));
    state.leftHeld = m_window->hasFocus() && sf::Mouse::isButtonPressed(sf::Mouse::Left);
    return state;
}

bool LauncherScene::isHovered(const sf::Sprite& sprite, sf::Vector2f mouse) {
    const sf::FloatRect bounds = sprite.getGlobalBounds();
    const sf::Vector2f at = sprite.getPosition();
    return ui::containsInclusive({at.x, at.y, bounds.width, bounds.height}, mouse);
}

bool LauncherScene::isMouseIn(const sf::FloatRect& rect, sf::Vector2f mouse) {
    return ui::containsInclusive(rect, mouse);
}

ClickRegions LauncherScene::clickRegions() const {
    ClickRegions regions;
    regions.closeArea = m_closeArea;
    regions.musicArea = m_musicArea;
    for (std::size_t index = 0; index < m_sprites.size(); ++index) {
        const sf::FloatRect bounds = m_sprites[index].getGlobalBounds();
        const sf::Vector2f at = m_sprites[index].getPosition();
        regions.images[index] = {at.x, at.y, bounds.width, bounds.height};
    }
    return regions;
}

void LauncherScene::placeButtons() {
    ui::ImageSizes sizes{};
    for (std::size_t index = 0; index < m_sprites.size(); ++index) {
        const sf::FloatRect bounds = m_sprites[index].getGlobalBounds();
        sizes[index] = {bounds.width, bounds.height};
    }
    const ui::ImagePositions positions = ui::layoutButtons(sizes, backgroundSize());
    for (int index = ui::registerNormal; index <= ui::playUnavailable; ++index)
        m_sprites[static_cast<std::size_t>(index)].setPosition(positions[static_cast<std::size_t>(index)]);
    // Just above Play, inside the button's width: the gap between the panel and Play holds nothing else.
    const sf::Vector2f playAt = m_sprites[ui::playNormal].getPosition();
    const sf::FloatRect playBounds = m_sprites[ui::playNormal].getGlobalBounds();
    m_progressBar.place({playAt.x, playAt.y, playBounds.width, playBounds.height});
}

void LauncherScene::drawFrame(sf::RenderTarget& target, const PointerState& pointer) {
    target.clear(sf::Color::Black);
    drawBackground(target);
    drawButtons(target, pointer.position);
    m_texts.draw(target);
    m_progressBar.draw(target);
    drawCursor(target, pointer);
}

void LauncherScene::drawBackground(sf::RenderTarget& target) {
    target.draw(m_sprites[ui::background]);
}

void LauncherScene::drawButtons(sf::RenderTarget& target, sf::Vector2f mouse) {
    placeButtons();
    const auto drawButton = [&](int normal, int hovered) {
        const bool over = isHovered(m_sprites[static_cast<std::size_t>(normal)], mouse);
        target.draw(sprite(over ? hovered : normal));
    };
    for (const ui::ButtonImages& button : ui::sideColumn)
        drawButton(button.normal, button.hovered);
    if (m_playAvailable)
        drawButton(ui::playNormal, ui::playHovered);
    else
        target.draw(sprite(ui::playUnavailable));
    drawButton(ui::discordNormal, ui::discordHovered);
}

bool LauncherScene::cursorActive(const PointerState& pointer) const {
    if (pointer.leftHeld || isMouseIn(m_closeArea, pointer.position) || isMouseIn(m_musicArea, pointer.position))
        return true;
    for (const int image : cursorActivatingImages)
        if (isHovered(m_sprites[static_cast<std::size_t>(image)], pointer.position))
            return true;
    return false;
}

void LauncherScene::drawCursor(sf::RenderTarget& target, const PointerState& pointer) {
    // The image's top-left corner is the hot spot.
    m_sprites[ui::cursorNormal].setPosition(pointer.position);
    m_sprites[ui::cursorActive].setPosition(pointer.position);
    target.draw(sprite(cursorActive(pointer) ? ui::cursorActive : ui::cursorNormal));
}

void LauncherScene::handleEvent(const sf::Event& event, Launcher& launcher, const SceneActions& actions) {
    if (event.type == sf::Event::Closed)
        m_window->close();
    // Everything else only while the window has the focus; a closed window has none.
    if (!m_window->isOpen() || !m_window->hasFocus())
        return;
    if (event.type == sf::Event::MouseButtonPressed && event.mouseButton.button == sf::Mouse::Left)
        m_dragOffset = m_window->getPosition() - sf::Mouse::getPosition();
    else if (event.type == sf::Event::MouseButtonReleased && event.mouseButton.button == sf::Mouse::Left)
        onClick(*this, launcher, actions);
}

void LauncherScene::followDrag() {
    // A press anywhere, on a button too, drags the window; a press and release in place leaves it where it is.
    if (!m_window->isOpen() || !m_window->hasFocus() || !sf::Mouse::isButtonPressed(sf::Mouse::Left))
        return;
    const sf::Vector2i target = sf::Mouse::getPosition() + m_dragOffset;
    if (target != m_window->getPosition())
        m_window->setPosition(target);
}

void LauncherScene::run(Launcher& launcher, const SceneActions& actions) {
    if (!m_window || !m_window->isOpen())
        return;
    const sf::View defaultView = m_window->getDefaultView();
    m_dragOffset = {0, 0};

    // Everything a frame's picture depends on; while it stays the same the last picture is still on screen.
    struct PictureInputs {
        unsigned long texts = 0;
        unsigned long progress = 0;
        bool playAvailable = false;
        PointerState pointer;
        bool operator==(const PictureInputs& other) const {
            return texts == other.texts && progress == other.progress && playAvailable == other.playAvailable &&
                   pointer == other.pointer;
        }
    };
    std::optional<PictureInputs> shown;
    unsigned framesSinceDrawn = 0;
    const sf::Time framePeriod = sf::seconds(1.f / static_cast<float>(framesPerSecond));
    sf::Clock frameClock;
    const sf::Clock runClock;

    while (m_window->isOpen()) {
        frameClock.restart();
        const StatusLine status = launcher.statusLine();
        refresh(status.statusText, status.canPlay);
        (void)showProgress(status.progress, runClock.getElapsedTime());
        const PointerState now = pointer();
        const PictureInputs inputs{m_texts.revision(), m_progressRevision, m_playAvailable, now};
        // Drawing the full window costs a software renderer several milliseconds, thirty times a second; an
        // unchanged picture is left on screen and only refreshed now and then.
        const bool draw = !shown || *shown != inputs || ++framesSinceDrawn >= repaintInterval;
        if (draw) {
            m_window->setView(defaultView);
            drawFrame(*m_window, now);
            shown = inputs;
            framesSinceDrawn = 0;
        }

        sf::Event event;
        while (m_window->isOpen() && m_window->pollEvent(event))
            handleEvent(event, launcher, actions);
        // The system asking the launcher to end (a logout, a shutdown) closes it as the close button does.
        if (platform::CloseRequested())
            m_window->close();
        followDrag();

        if (draw && m_window->isOpen()) {
            m_window->display();
            ++m_framesDrawn;
        }
        // The window's own limit only paces the frames it shows; this paces the others as well.
        sf::sleep(framePeriod - frameClock.getElapsedTime());
        if (m_frameHook)
            m_frameHook();
        launcher.musicTick();
    }
}
