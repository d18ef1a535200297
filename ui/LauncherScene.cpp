// The scene: artwork decoded from memory, the borderless window, the frame loop, dragging and the custom cursor.
#include "ui/LauncherScene.hpp"

#include "platform/CloseRequests.hpp"
#include "platform/Diagnostics.hpp"
#include "sync/Launcher.hpp"
#include "ui/WindowNumber.hpp"

#include <SFML/Window/Mouse.hpp>

#include <SFML/System/Clock.hpp>
#include <SFML/System/Sleep.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

constexpr unsigned bitsPerPixel = 32;
constexpr float hotSpotFromRight = 45.f; // the close and music symbols of the background art
constexpr float closeSpotTop = 15.f;
constexpr float musicSpotTop = 56.f;
constexpr float minimiseSpotTop = 97.f; // under the music spot, in the strip of round spots right of the column
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
    loadImages();

    // The font reads its bytes in place for as long as it lives; they are part of the program.
    const std::span<const unsigned char> font = assets::font();
    if (!font.empty())
        (void)m_font.loadFromMemory(font.data(), font.size());

    const sf::Vector2f size = backgroundSize();
    m_view = sf::View(sf::FloatRect(0.f, 0.f, size.x, size.y));
    m_texts.setBackgroundSize(size);
    placeButtons();
}

LauncherScene::~LauncherScene() = default;

void LauncherScene::loadImages() {
    const float pixelsPerUnit = assets::pixelsPerUnit(m_imageScale);
    for (int index = 0; index < assets::imageCount; ++index) {
        const auto at = static_cast<std::size_t>(index);
        m_textures[at] = sf::Texture(); // the pixels of another size go
        m_textures[at].setSmooth(m_smooth);
        m_sprites[at].setScale(1.f / pixelsPerUnit, 1.f / pixelsPerUnit);
        const std::optional<sf::Vector2i> size =
            decodedOnFirstUse(index) ? pngSize(assets::image(index, m_imageSet, m_imageScale)) : std::nullopt;
        m_decodePending[at] = size.has_value();
        if (!size) {
            loadTexture(index);
            m_sprites[at].setTexture(m_textures[at], true);
            continue;
        }
        // The layout and the hit regions need the size at once; the pixels only when the image is drawn.
        m_sprites[at].setTexture(m_textures[at], false);
        m_sprites[at].setTextureRect({0, 0, size->x, size->y});
    }
}

void LauncherScene::loadTexture(int index) const {
    // A failed decode leaves an empty texture whose sprite draws nothing; the scene goes on without it.
    const std::span<const unsigned char> bytes = assets::image(index, m_imageSet, m_imageScale);
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
    return createWindow(platform::DisplayScale());
}

sf::RenderWindow& LauncherScene::createWindow(float displayScale) {
    const sf::Vector2f size = backgroundSize();
    // A window taller than the screen would hide Play below its edge: on a small screen the scale gives way.
    const sf::VideoMode desktop = sf::VideoMode::getDesktopMode();
    const float fits =
        std::min(static_cast<float>(desktop.width) / size.x, static_cast<float>(desktop.height) / size.y);
    useScale(std::max(1.f, std::min(displayScale, fits)));
    const auto pixels = [this](float units) { return static_cast<unsigned>(std::lround(units * m_scale)); };
    m_window = std::make_unique<sf::RenderWindow>(sf::VideoMode(pixels(size.x), pixels(size.y), bitsPerPixel),
                                                  windowTitle, sf::Style::None, sf::ContextSettings());
    m_window->setFramerateLimit(framesPerSecond);
    m_window->setMouseCursorVisible(false);
    // All of it on the desktop: SFML placed a window as tall as the screen 200 pixels down on this X server, with
    // Play below the screen's edge.
    const sf::Vector2i placed = m_window->getPosition();
    const sf::Vector2i room(static_cast<int>(desktop.width) - static_cast<int>(m_window->getSize().x),
                            static_cast<int>(desktop.height) - static_cast<int>(m_window->getSize().y));
    const sf::Vector2i onDesktop(std::clamp(placed.x, 0, std::max(0, room.x)),
                                 std::clamp(placed.y, 0, std::max(0, room.y)));
    if (onDesktop != placed)
        m_window->setPosition(onDesktop);
    m_native = std::make_unique<platform::NativeWindow>(
        static_cast<std::uintptr_t>(windowNumber(m_window->getSystemHandle())));

    m_closeArea = {size.x - hotSpotFromRight, closeSpotTop, hotSpotSize, hotSpotSize};
    m_musicArea = {size.x - hotSpotFromRight, musicSpotTop, hotSpotSize, hotSpotSize};
    m_minimiseArea = {size.x - hotSpotFromRight, minimiseSpotTop, hotSpotSize, hotSpotSize};

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

void LauncherScene::minimise() {
    if (m_native)
        m_native->minimise();
}

void LauncherScene::useScale(float scale) {
    const assets::ImageScale images = scale > 1.f ? assets::ImageScale::Double : assets::ImageScale::Single;
    const bool smooth = scale != assets::pixelsPerUnit(images);
    m_scale = scale;
    if (images != m_imageScale || smooth != m_smooth) {
        m_imageScale = images;
        m_smooth = smooth;
        loadImages();
    }
    m_texts.setScale(scale);
    m_progressBar.setScale(scale);
    placeButtons();
}

void LauncherScene::followScaleChange(float scale) {
    const float before = m_scale;
    useScale(scale);
    // The system has already resized the window; the grip of a drag under way moves with the pixels under it.
    if (m_press)
        m_press->grab = sf::Vector2i(sf::Vector2f(m_press->grab) * (scale / before));
}

sf::Vector2f LauncherScene::toLayout(sf::Vector2i pixel) const {
    return m_window ? m_window->mapPixelToCoords(pixel, m_view) : sf::Vector2f(pixel);
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
    state.position = toLayout(sf::Mouse::getPosition(*m_window));
    state.leftHeld = m_focused && sf::Mouse::isButtonPressed(sf::Mouse::Left);
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
    regions.minimiseArea = m_minimiseArea;
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
    target.setView(m_view);
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
    if (pointer.leftHeld || isMouseIn(m_closeArea, pointer.position) || isMouseIn(m_musicArea, pointer.position) ||
        isMouseIn(m_minimiseArea, pointer.position))
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
    if (!m_window || !m_window->isOpen())
        return;
    switch (event.type) {
    case sf::Event::Closed:
        m_window->close();
        return;
    // The focus is followed in the queue's order too: a press queued behind a focus change is judged by it.
    case sf::Event::GainedFocus:
        m_focused = true;
        return;
    case sf::Event::LostFocus:
        m_focused = false;
        m_press.reset(); // the window stops following the pointer, and the release that may follow does nothing
        return;
    case sf::Event::MouseButtonPressed:
        if (event.mouseButton.button != sf::Mouse::Left || !m_focused)
            return;
        {
            const sf::Vector2i at(event.mouseButton.x, event.mouseButton.y);
            m_press = HeldPress{at, hitTest(clickRegions(), toLayout(at))};
        }
        return;
    case sf::Event::MouseButtonReleased: {
        if (event.mouseButton.button != sf::Mouse::Left || !m_press)
            return;
        const ClickTarget pressed = m_press->target;
        m_press.reset();
        // The usual button rule: pressing on one element and releasing on another does nothing. A drag that
        // starts and ends on the same button clicks it, since the window has carried the button along.
        if (hitTest(clickRegions(), toLayout({event.mouseButton.x, event.mouseButton.y})) == pressed)
            performClick(pressed, *this, launcher, actions);
        return;
    }
    default:
        return; // keys, other buttons, wheel: nothing
    }
}

void LauncherScene::followDrag() {
    // A press anywhere, on a button too, drags the window, but only one this loop has handled, and only while the
    // button is still down: the live pointer gives the window's place, the press's own point the grip. A release
    // still in the queue ends the drag when it is handled; until then the window stays where it is.
    if (!m_press || !m_window->isOpen() || !sf::Mouse::isButtonPressed(sf::Mouse::Left))
        return;
    const sf::Vector2i target = sf::Mouse::getPosition() - m_press->grab;
    if (target != m_window->getPosition())
        m_window->setPosition(target);
}

void LauncherScene::run(Launcher& launcher, const SceneActions& actions) {
    if (!m_window || !m_window->isOpen())
        return;
    m_press.reset();
    m_focused = m_window->hasFocus(); // from here on the focus events say it

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
    bool redrawNeeded = false; // what is on screen may be stale whatever the inputs say
    unsigned framesSinceDrawn = 0;
    const sf::Time framePeriod = sf::seconds(1.f / static_cast<float>(framesPerSecond));
    sf::Clock frameClock;
    const sf::Clock runClock;

    while (m_window->isOpen()) {
        frameClock.restart();
        const StatusLine status = launcher.statusLine();
        refresh(status.statusText, status.canPlay);
        (void)showProgress(status.progress, runClock.getElapsedTime());
        if (const std::optional<float> scale = m_native->takeScaleChange()) {
            followScaleChange(*scale);
            redrawNeeded = true;
        }
        // Minimised, the window shows nothing: the loop only keeps its events, its pace and the music going, and
        // draws afresh once the window is back.
        const bool hidden = m_native->hidden();
        redrawNeeded |= hidden;
        const PointerState now = pointer();
        const PictureInputs inputs{m_texts.revision(), m_progressRevision, m_playAvailable, now};
        // Drawing the full window costs a software renderer several milliseconds, thirty times a second; an
        // unchanged picture is left on screen and only refreshed now and then.
        const bool draw =
            !hidden && (redrawNeeded || !shown || *shown != inputs || ++framesSinceDrawn >= repaintInterval);
        if (draw) {
            drawFrame(*m_window, now);
            shown = inputs;
            redrawNeeded = false;
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
