// The launcher's one window: artwork, buttons, texts, the custom cursor, dragging and the frame loop.
#pragma once

#include "platform/NativeWindow.hpp"
#include "sync/Language.hpp"
#include "ui/ButtonLayout.hpp"
#include "ui/ClickAction.hpp"
#include "ui/ProgressBar.hpp"
#include "ui/TextDisplay.hpp"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/Graphics/Sprite.hpp>
#include <SFML/Graphics/Texture.hpp>
#include <SFML/Graphics/View.hpp>
#include <SFML/Window/Event.hpp>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class Launcher;

/// What the window asks of the rest of the launcher.
struct SceneActions {
    std::function<void()> play;                         // release over Play: the Play sequence
    std::function<void(const std::string&)> openTarget; // link buttons, with the address of `links`
    LinkAddresses links;
};

/// The mouse as one frame sees it.
struct PointerState {
    sf::Vector2f position; // relative to the window
    bool leftHeld = false; // the left button is down while the window has the focus

    bool operator==(const PointerState& other) const {
        return position == other.position && leftHeld == other.leftHeld;
    }
};

class LauncherScene {
public:
    inline static constexpr const char* windowTitle = "Varnhold Launcher";
    inline static constexpr unsigned framesPerSecond = 30;
    /// An unchanged picture is still redrawn every this many frames, to repair what other windows damaged.
    inline static constexpr unsigned repaintInterval = 8;
    /// The window's size when the background could not be decoded (it fixes the size otherwise).
    inline static constexpr unsigned fallbackWidth = 800;
    inline static constexpr unsigned fallbackHeight = 600;

    /// Loads the artwork set of `language`.
    explicit LauncherScene(Language language);
    ~LauncherScene();
    LauncherScene(const LauncherScene&) = delete;
    LauncherScene& operator=(const LauncherScene&) = delete;

    /// The borderless window, the size of the background times the display's scale, capped at 30 frames per
    /// second, system cursor hidden. Prints "window: <id>" on standard output so that tools driving the launcher
    /// can find it.
    sf::RenderWindow& createWindow();
    /// The same at `displayScale` instead of the display's own; a scale that would not fit the desktop gives way
    /// to the largest that does, and none is below 1. Whatever the scale, the scene is laid out, hit-tested and
    /// dragged in the background's units: the window's view is always the background's size.
    sf::RenderWindow& createWindow(float displayScale);

    void setAnnouncement(const std::string& text);
    void addRealmLine(const std::string& text);
    /// "fa" draws the announcement through the text rasteriser, which shapes Persian script.
    void setLanguageCode(std::string code);

    /// The frame loop; returns when the window has been closed.
    void run(Launcher& launcher, const SceneActions& actions);
    /// Closes the window, which ends the frame loop.
    void close();
    /// Asks the system to minimise the window; the loop goes on and draws nothing while it is out of sight.
    void minimise();

    // Pieces of a frame, for the loop and for tests.
    /// Frame steps 1–2: the worker's status text and can-play flag.
    void refresh(const std::string& statusText, bool canPlay);
    /// The downloads' progress at `now` (a steady clock); true when the bar's picture changed.
    bool showProgress(const DownloadProgress& progress, sf::Time now);
    /// Clears `target` and draws background, buttons, texts and the cursor for `pointer`.
    void drawFrame(sf::RenderTarget& target, const PointerState& pointer);
    /// The mouse now: position relative to the window, and whether the left button is held with the focus.
    [[nodiscard]] PointerState pointer() const;
    /// Frame step 4 for one event, taken from the window's queue in order: focus, press, release, close. A press
    /// and its release act on what lies under their own coordinates, wherever the pointer is by the time the frame
    /// handles them; a button acts only when both were on it.
    void handleEvent(const sf::Event& event, Launcher& launcher, const SceneActions& actions);
    /// The hit regions of the frame last drawn.
    [[nodiscard]] ClickRegions clickRegions() const;

    /// Called after each frame is shown (benchmarks and tests observe the loop with it).
    void setFrameHook(std::function<void()> hook) { m_frameHook = std::move(hook); }
    /// Frames actually drawn and shown by the loop (an unchanged picture is not drawn again at once).
    [[nodiscard]] unsigned long framesDrawn() const noexcept { return m_framesDrawn; }

    [[nodiscard]] sf::RenderWindow* window() noexcept { return m_window.get(); }
    [[nodiscard]] sf::Vector2f backgroundSize() const;
    /// The sprite of image `index`, its texture decoded by now.
    [[nodiscard]] const sf::Sprite& sprite(int index) const;
    [[nodiscard]] bool playAvailable() const noexcept { return m_playAvailable; }
    [[nodiscard]] sf::FloatRect closeArea() const noexcept { return m_closeArea; }
    [[nodiscard]] sf::FloatRect musicArea() const noexcept { return m_musicArea; }
    [[nodiscard]] sf::FloatRect minimiseArea() const noexcept { return m_minimiseArea; }
    /// Screen pixels per layout unit: 1 on an ordinary display.
    [[nodiscard]] float scale() const noexcept { return m_scale; }
    [[nodiscard]] const TextDisplay& texts() const noexcept { return m_texts; }
    [[nodiscard]] const ProgressBar& progressBar() const noexcept { return m_progressBar; }

    /// True when `mouse` is over `sprite` (its position and global size, edges included).
    [[nodiscard]] static bool isHovered(const sf::Sprite& sprite, sf::Vector2f mouse);
    [[nodiscard]] static bool isMouseIn(const sf::FloatRect& rect, sf::Vector2f mouse);

private:
    void placeButtons();
    void drawBackground(sf::RenderTarget& target);
    void drawButtons(sf::RenderTarget& target, sf::Vector2f mouse);
    void drawCursor(sf::RenderTarget& target, const PointerState& pointer);
    [[nodiscard]] bool cursorActive(const PointerState& pointer) const;
    void followDrag();
    /// A window pixel in layout units.
    [[nodiscard]] sf::Vector2f toLayout(sf::Vector2i pixel) const;
    /// Artwork and texts for `scale`: the double-size artwork above 1, smoothed where it is not drawn one to one.
    void useScale(float scale);
    void followScaleChange(float scale);

    void loadImages();
    void loadTexture(int index) const;

    std::unique_ptr<sf::RenderWindow> m_window;
    std::unique_ptr<platform::NativeWindow> m_native; // declared after the window: it goes first
    assets::ImageSet m_imageSet;
    assets::ImageScale m_imageScale = assets::ImageScale::Single;
    bool m_smooth = false; // the artwork is resampled to the screen (a scale it was not painted for)
    float m_scale = 1.f;
    sf::View m_view; // the background's size, whatever the window's
    // Mutable: an image decoded on its first use changes no observable state of the scene, only when it is paid.
    mutable std::array<sf::Texture, assets::imageCount> m_textures;
    mutable std::array<bool, assets::imageCount> m_decodePending{};
    sf::Font m_font;
    mutable std::array<sf::Sprite, assets::imageCount> m_sprites;
    bool m_playAvailable = false;
    sf::FloatRect m_closeArea;
    sf::FloatRect m_musicArea;
    sf::FloatRect m_minimiseArea;
    TextDisplay m_texts;
    ProgressBar m_progressBar;
    unsigned long m_progressRevision = 0; // goes up with every change of the bar's picture
    /// A left press the loop has handled and whose release it has not yet seen.
    struct HeldPress {
        sf::Vector2i grab;  // where in the window it was pressed: the window follows the pointer by this point
        ClickTarget target; // what lay under it
    };
    std::optional<HeldPress> m_press;
    bool m_focused = false; // the keyboard focus as the events handled so far tell it
    std::function<void()> m_frameHook;
    unsigned long m_framesDrawn = 0;
};
